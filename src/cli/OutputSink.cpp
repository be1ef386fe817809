#include "OutputSink.h"

#include "cli/Interruption.h"
#include "engine/CodePage.h"
#include "results/Utf8Text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

namespace cli {

namespace {

// Rows go out in blocks this large: a few system calls for a run of a million rows.
constexpr size_t kBlock = size_t(1) << 20;
// Long rows are turned into UTF-8 a slice at a time, so a line of gigabytes needs no more
// than a block; the block has room for one slice beyond its size.
constexpr size_t kSlice = size_t(1) << 16;
constexpr size_t kRoom = kBlock + 3 * kSlice + 64;
// The most digits a line number takes.
constexpr size_t kLineNumber = 20;
// The most parts one write takes: the block's runs and the texts adopted between them.
constexpr size_t kParts = std::min<size_t>(IOV_MAX, 256);

} // namespace

OutputSink::OutputSink(int fd, RowEnd end, std::function<void(const QString &)> onNextFile,
                       std::function<void()> onClosed)
    : m_fd(fd), m_end(end == RowEnd::Nul    ? std::string(1, '\0')
                      : end == RowEnd::CrLf ? std::string("\r\n")
                                            : std::string("\n")),
      m_onNextFile(std::move(onNextFile)), m_onClosed(std::move(onClosed)),
      m_toTerminal(::isatty(fd) == 1), m_block(new char[kRoom]),
      // Stateless: a lone surrogate is written as U+FFFD, as the exports write it.
      m_encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless)
{
}

bool OutputSink::full() const
{
    // A text adopted adds two parts (the block's run before it and itself) before this is
    // asked, and the write itself may close one more run of the block.
    return m_used + m_adoptedBytes >= kBlock || m_parts.size() + 2 > kParts;
}

char *OutputSink::room(size_t bytes)
{
    if (m_used + bytes > kRoom)
        flush();
    return m_block.get() + m_used;
}

void OutputSink::appendBytes(std::string_view bytes)
{
    while (!bytes.empty()) {
        const size_t slice = std::min(bytes.size(), kSlice);
        std::memcpy(room(slice), bytes.data(), slice);
        m_used += slice;
        bytes.remove_prefix(slice);
    }
}

void OutputSink::appendWindows1252(std::string_view bytes)
{
    while (!bytes.empty()) {
        const size_t slice = std::min(bytes.size(), kSlice);
        m_used = size_t(engine::writeUtf8(bytes.substr(0, slice), room(3 * slice)) - m_block.get());
        bytes.remove_prefix(slice);
    }
}

void OutputSink::appendText(QStringView text)
{
    while (!text.isEmpty()) {
        qsizetype slice = std::min(text.size(), qsizetype(kSlice));
        // A surrogate pair stays in one slice.
        if (slice < text.size() && text[slice - 1].isHighSurrogate())
            --slice;
        char *end = m_encoder.appendToBuffer(room(3 * size_t(slice)), text.first(slice));
        m_used = size_t(end - m_block.get());
        text = text.sliced(slice);
    }
}

void OutputSink::fileBegun(qsizetype, const QString &path)
{
    if (m_onNextFile)
        m_onNextFile(path);
}

void OutputSink::progress(int, const QString &)
{
    // A person watching a terminal sees each file's rows once the file is done.
    if (m_toTerminal)
        flush();
}

char *OutputSink::lineNumberAt(char *to, uint64_t line) const
{
    // A row that stands for no line of a file has no number to show.
    if (!m_lineNumbers || line == 0)
        return to;
    to = std::to_chars(to, to + kLineNumber, line).ptr;
    *to++ = ':';
    return to;
}

void OutputSink::beginRow(const QString &prefix, uint64_t line)
{
    ++m_rows;
    char *to = room(kLineNumber + 1);
    m_used = size_t(lineNumberAt(to, line) - m_block.get());
    if (prefix.isEmpty())
        return;
    if (prefix.constData() != m_prefix.constData() || prefix.size() != m_prefix.size()) {
        m_prefix = prefix;
        m_prefixBytes.clear();
        results::appendUtf8(prefix, m_prefixBytes);
    }
    appendBytes(m_prefixBytes);
}

void OutputSink::endRow()
{
    appendBytes(m_end);
    if (full())
        flush();
}

void OutputSink::addRow(const QString &prefix, QStringView text, run::RowSource source)
{
    beginRow(prefix, source.line);
    appendText(text);
    endRow();
}

void OutputSink::addRowWindows1252(const QString &prefix, std::string_view bytes,
                                   run::RowSource source)
{
    beginRow(prefix, source.line);
    appendWindows1252(bytes);
    endRow();
}

void OutputSink::adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes,
                                      std::span<const std::string_view> rows, qsizetype file,
                                      std::span<const uint64_t> lines,
                                      const platform::PackedMember *)
{
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string_view row = rows[r];
        const uint64_t line = r < lines.size() ? lines[r] : 0;
        // A row too long for one slice takes the general way.
        if (row.size() > kSlice) {
            addRowWindows1252(prefix, row, {file, line});
            continue;
        }
        beginRow(prefix, line);
        char *to = engine::writeUtf8(row, room(3 * row.size() + m_end.size()));
        std::memcpy(to, m_end.data(), m_end.size());
        m_used = size_t(to + m_end.size() - m_block.get());
        if (full())
            flush();
    }
}

std::optional<run::TextRows> OutputSink::textRows() const
{
    return run::TextRows{m_end, m_lineNumbers, [](const QString &prefix) {
                             std::string bytes;
                             results::appendUtf8(prefix, bytes);
                             return bytes;
                         }};
}

void OutputSink::adoptText(engine::OwnedBytes text, size_t size, size_t rows)
{
    m_rows += rows;
    if (size == 0)
        return;
    // The text goes out as it is, between what the block held before it and what follows.
    closeBlockPart();
    m_parts.push_back({text.get(), size});
    m_adoptedBytes += size;
    m_adopted.push_back(std::move(text));
    if (full())
        flush();
}

void OutputSink::closeBlockPart()
{
    if (m_used > m_partStart)
        m_parts.push_back({m_block.get() + m_partStart, m_used - m_partStart});
    m_partStart = m_used;
}

void OutputSink::flush()
{
    closeBlockPart();
    write(m_parts);
    m_parts.clear();
    m_adopted.clear();
    m_adoptedBytes = 0;
    m_used = 0;
    m_partStart = 0;
}

void OutputSink::write(std::vector<iovec> &parts)
{
    iovec *next = parts.data();
    iovec *const end = next + parts.size();
    while (next != end && !m_readerGone && m_writeError == 0) {
        // Ctrl+C ends the writing at once, even into a pipe nobody empties.
        if (Interruption::interrupted())
            break;
        const ssize_t written = ::writev(m_fd, next, int(end - next));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            if (error == EPIPE)
                m_readerGone = true;
            else
                m_writeError = error;
            if (m_onClosed)
                m_onClosed();
            break;
        }
        // A short write leaves the rest of a part, and the parts after it, for the next call.
        // No part is empty, so the parts written are passed as the count runs out.
        for (size_t left = size_t(written); left > 0;) {
            const size_t taken = std::min(left, next->iov_len);
            next->iov_base = static_cast<char *>(next->iov_base) + taken;
            next->iov_len -= taken;
            left -= taken;
            if (next->iov_len == 0)
                ++next;
        }
    }
}

bool OutputSink::finish()
{
    flush();
    return !m_readerGone && m_writeError == 0;
}

} // namespace cli
