#pragma once

#include "engine/BlockList.h"
#include "engine/CodePage.h"
#include "platform/RowOrigin.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace run {

// Where a row came from: its file, as a position in the run's files (see RunSink::fileBegun()),
// and the number of the row's first line in that file, counted from 1. A row of the text a
// compressed file or an archive holds also names the member, whose text the line counts.
struct RowSource {
    qsizetype file = 0;
    uint64_t line = 0;
    const platform::PackedMember *member = nullptr; // null for a row of the file's own bytes
};

// Returns the member a row names, or one that is not set for a row of the file's own bytes.
inline const platform::PackedMember &memberOrNone(const platform::PackedMember *member)
{
    static const platform::PackedMember none;
    return member ? *member : none;
}

// How a sink takes rows as UTF-8 text, ready to write, which the workers make: the bytes that
// end each row, whether each row starts with its line's number and a colon (before its
// prefix; a row of line 0 has none), and how a prefix is written, which any thread may call.
struct TextRows {
    std::string end;
    bool lineNumbers = false;
    std::string (*prefixBytes)(const QString &prefix) = nullptr;
};

// How a run ended.
enum class RunEnd {
    Finished,   // every file was searched
    Stopped,    // stopped by a request, or by rows that could not be held
    Superseded, // a newer run took over, or the run was abandoned: nothing more is to be shown
};

// Where a run's results go: the rows in list order, how far the run is, and how it ended.
// Failures go to the run's error reporter. Every call comes on the thread that runs the run.
// A sink that cannot hold a row throws std::bad_alloc; the run then stops and reports it.
class RunSink {
public:
    virtual ~RunSink() = default;

    // Notes that the run turns to the next file: its position as a value from 0 to 100, and
    // the caption "Processing: " with the file's name.
    virtual void progress(int value, const QString &caption) = 0;
    // Notes, before its progress, that the run turns to the file at position file: one of the
    // request's paths, or past them a file of a folder among them (see
    // ExtractionRun::setFolderFiles()), which come in order.
    virtual void fileBegun(qsizetype /*file*/, const QString & /*path*/) {}
    // Adds the row prefix + text; rows of one file share their prefix.
    virtual void addRow(const QString &prefix, QStringView text, RowSource source) = 0;
    // Adds the row prefix + the characters of Windows-1252 bytes.
    virtual void addRowWindows1252(const QString &prefix, std::string_view bytes, RowSource source)
    {
        QString text(qsizetype(bytes.size()), Qt::Uninitialized);
        engine::decodeInto(bytes, reinterpret_cast<char16_t *>(text.data()));
        addRow(prefix, text, source);
    }
    // Adds rows of prefix + the characters of Windows-1252 bytes, which lie end to end in
    // memory the sink may keep instead of copying them; it is freed once the call returns. The
    // rows come from the request's file at position file (and its member, when not null),
    // from the lines numbered in lines (one a row).
    virtual void adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes,
                                      std::span<const std::string_view> rows, qsizetype file,
                                      std::span<const uint64_t> lines,
                                      const platform::PackedMember *member)
    {
        for (size_t i = 0; i < rows.size(); ++i)
            addRowWindows1252(prefix, rows[i], {file, i < lines.size() ? lines[i] : 0, member});
    }
    // Returns how the sink takes rows as text, when it does: a run may then hand it whole
    // pieces of rows written so with adoptText().
    virtual std::optional<TextRows> textRows() const { return std::nullopt; }
    // Adds rows (a count of them) that are size bytes of text as textRows() describes, each
    // with its prefix; called only when textRows() is set. The sink may keep the memory.
    virtual void adoptText(engine::OwnedBytes, size_t, size_t) {}
    // Notes how the run ended; called once, last.
    virtual void ended(RunEnd) {}
};

} // namespace run
