#pragma once

#include "cli/CommandLine.h"
#include "run/RunSink.h"

#include <QString>
#include <QStringEncoder>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/uio.h>
#include <vector>

namespace cli {

// Writes a run's rows to a file descriptor (standard output) as UTF-8, each ended as asked,
// in blocks of a mebibyte; to a terminal, also at the end of each file. Once the reader has
// gone (a closed pipe), a write has failed or Ctrl+C was pressed, every later row is dropped.
class OutputSink : public run::RunSink {
public:
    // Writes to fd; onNextFile runs with its path as the run turns to each file, onClosed once
    // when the output can take no more.
    OutputSink(int fd, RowEnd end, std::function<void(const QString &)> onNextFile,
               std::function<void()> onClosed);

    void fileBegun(qsizetype file, const QString &path) override;
    void progress(int value, const QString &caption) override;
    void addRow(const QString &prefix, QStringView text, run::RowSource source) override;
    void addRowWindows1252(const QString &prefix, std::string_view bytes,
                           run::RowSource source) override;
    void adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes bytes,
                              std::span<const std::string_view> rows, qsizetype file,
                              std::span<const uint64_t> lines,
                              const platform::PackedMember *member) override;
    std::optional<run::TextRows> textRows() const override;
    void adoptText(engine::OwnedBytes text, size_t size, size_t rows) override;

    // Puts the number of each row's line in its file and a colon before the row from now on.
    void setLineNumbers(bool on) { m_lineNumbers = on; }
    // Writes what is buffered; returns false when the output was closed or a write failed.
    bool finish();
    // Returns how many rows the run handed on.
    uint64_t rows() const { return m_rows; }
    // Returns whether the reader went away (EPIPE).
    bool readerGone() const { return m_readerGone; }
    // Returns the error number of a failed write other than a closed pipe, or 0.
    int writeError() const { return m_writeError; }

private:
    void beginRow(const QString &prefix, uint64_t line);
    char *lineNumberAt(char *to, uint64_t line) const;
    void endRow();
    char *room(size_t bytes);
    void appendBytes(std::string_view bytes);
    void appendWindows1252(std::string_view bytes);
    void appendText(QStringView text);
    // Whether the block and the texts adopted since the last write make a write's worth.
    bool full() const;
    // Ends the run of the block's bytes since the last part: a text adopted goes after it.
    void closeBlockPart();
    void flush();
    void write(std::vector<iovec> &parts);

    int m_fd;
    std::string m_end;
    std::function<void(const QString &)> m_onNextFile;
    std::function<void()> m_onClosed;
    bool m_toTerminal = false;
    bool m_lineNumbers = false;
    bool m_readerGone = false;
    int m_writeError = 0;
    uint64_t m_rows = 0;
    // The block being filled: rows are written into it directly, so no byte is copied twice.
    std::unique_ptr<char[]> m_block;
    size_t m_used = 0;
    // What the next write takes, in order: runs of the block and texts adopted as they are,
    // kept until they are written.
    std::vector<iovec> m_parts;
    size_t m_partStart = 0;
    std::vector<engine::OwnedBytes> m_adopted;
    size_t m_adoptedBytes = 0;
    QStringEncoder m_encoder;
    // The last prefix met and its UTF-8 bytes: the rows of one file share it.
    QString m_prefix;
    std::string m_prefixBytes;
};

} // namespace cli
