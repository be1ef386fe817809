#pragma once

#include <QString>
#include <span>

namespace platform {
class Clipboard;
class ListModel;
class Yield;
} // namespace platform

namespace results {

// The rows from first to last, both included.
struct RowRange {
    int first;
    int last;
};

// Puts a list on the clipboard as aligned plain text: no header, widths from the rows alone,
// each line without its trailing tab and blanks and ended by CR LF.
class ClipboardCopier {
public:
    // What a copy came to.
    enum class Outcome {
        Copied,    // the text is on the clipboard
        EmptyList, // the list has no rows; the clipboard was not touched
        Refused,   // the clipboard still refused the text after every retry
    };

    // How often a refused clear or set is tried in all.
    static constexpr int kAttempts = 1000;

    // Returns the clipboard text of a list: one line per checked row.
    static QString clipboardText(const platform::ListModel &list, platform::Yield &yield);
    // Returns the clipboard text of some rows of a list, the ranges in the order given.
    static QString clipboardText(const platform::ListModel &list, std::span<const RowRange> rows,
                                 platform::Yield &yield);
    // Builds the text of a list and puts it on the clipboard. Throws engine::Failure when a
    // row vanishes while the text is built, before the clipboard is touched.
    static Outcome copyToClipboard(const platform::ListModel &list, platform::Clipboard &clipboard,
                                   platform::Yield &yield);
    // Puts text on the clipboard, trying again while it refuses; returns whether it took.
    static bool setTextWithRetry(platform::Clipboard &clipboard, const QString &text);
};

} // namespace results
