#pragma once

#include "engine/BlockList.h"
#include "engine/CodePage.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <span>
#include <string_view>

namespace run {

// The display option buttons: which one is selected.
enum class DisplayOption {
    None,        // no option button selected: no rows are added
    LineOnly,    // lineOnlyOption "Show line only in results"
    FileAndLine, // fileAndLineOption "Show filename and line in results"
    FileOnly,    // fileOnlyOption "Show filename only in results"
};

// What an extraction run reads from and writes to the main window. Every read happens at
// the moment the run needs the value, so a change made during a run takes effect at once.
class RunView {
public:
    virtual ~RunView() = default;

    // Returns the caption of the Start/Stop button.
    virtual QString startButtonCaption() const = 0;
    // Sets the caption of the Start/Stop button.
    virtual void setStartButtonCaption(const QString &caption) = 0;

    // Returns the number of entries of the input file list.
    virtual int fileCount() const = 0;
    // Returns the text of entry i (from 0) of the input file list.
    virtual QString fileAt(int i) const = 0;
    // Returns the texts of every entry, for the workers that read ahead.
    virtual QStringList filePaths() const
    {
        QStringList paths;
        for (int i = 0; i < fileCount(); ++i)
            paths.append(fileAt(i));
        return paths;
    }

    // Returns the whole search text.
    virtual QString searchText() const = 0;
    // Returns the text of the mode list.
    virtual QString modeText() const = 0;
    // Returns the value of "Match Case": 0 unchecked.
    virtual int matchCaseValue() const = 0;
    // Returns the value of "Put results all on one line in ": 1 checked.
    virtual int oneLineValue() const = 0;
    // Returns the value of "Read every file as Windows-1252 with CR LF line ends": 1 checked.
    virtual int readAsWindows1252Value() const { return 0; }
    // Returns the value of "Regular expression": 1 checked.
    virtual int regexValue() const { return 0; }
    // Returns the selected display option.
    virtual DisplayOption displayOption() const = 0;

    // Sets the progress bar's value (0 to 100) and the caption drawn on it.
    virtual void setProgress(int value, const QString &text) = 0;
    // Sets the window's mouse pointer: 0 arrow, 11 busy, 99 the custom pointer.
    virtual void setMousePointer(int value) = 0;

    // Returns whether the lines-above-and-below dialog was closed with its Close button.
    virtual bool linesDialogClosedWithClose() const = 0;
    // Shows the lines-above-and-below dialog modally and returns when it has closed.
    virtual void showLinesDialog() = 0;

    // Appends one row to the results list; it may show at the next event pump.
    virtual void appendResult(QString row) = 0;
    // Appends the row prefix + text; rows of one file share their prefix, which lets the
    // list keep it once.
    virtual void appendResult(const QString &prefix, QStringView text)
    {
        QString row;
        row.reserve(prefix.size() + text.size());
        row.append(prefix).append(text);
        appendResult(std::move(row));
    }
    // Appends the row prefix + the characters of Windows-1252 bytes.
    virtual void appendResultWindows1252(const QString &prefix, std::string_view bytes)
    {
        QString text(qsizetype(bytes.size()), Qt::Uninitialized);
        engine::decodeInto(bytes, reinterpret_cast<char16_t *>(text.data()));
        appendResult(prefix, text);
    }
    // Appends rows of prefix + the characters of Windows-1252 bytes, which lie end to end in
    // memory the list may keep instead of copying them.
    // The memory (held here until the rows are copied) is freed once the call returns.
    virtual void adoptResultsWindows1252(const QString &prefix, engine::OwnedBytes,
                                         std::span<const std::string_view> rows)
    {
        for (const std::string_view row : rows)
            appendResultWindows1252(prefix, row);
    }
};

} // namespace run
