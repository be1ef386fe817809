#include "OutputSink.h"

#include "cli/Interruption.h"
#include "engine/CodePage.h"
#include "engine/TextFormat.h"
#include "results/Utf8Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
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

// The UTF-8 bytes of each Windows-1252 byte's character, up to three of them.
struct Utf8Of {
    std::array<char, 3> bytes{};
    unsigned char size = 0;
};

const std::array<Utf8Of, 256> &windows1252Utf8()
{
    static const std::array<Utf8Of, 256> table = [] {
        std::array<Utf8Of, 256> all{};
        for (int b = 0; b < 256; ++b) {
            const char16_t c = engine::toUnicode(static_cast<unsigned char>(b));
            Utf8Of &entry = all[size_t(b)];
            if (c < 0x80) {
                entry.bytes[0] = char(c);
                entry.size = 1;
            } else if (c < 0x800) {
                entry.bytes = {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F)), 0};
                entry.size = 2;
            } else {
                entry.bytes = {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)),
                               char(0x80 | (c & 0x3F))};
                entry.size = 3;
            }
        }
        return all;
    }();
    return table;
}

// Writes the UTF-8 of Windows-1252 bytes to out, which has room for three bytes each; returns
// the end. Rows are short and mostly ASCII: eight bytes are tested at once and copied whole.
char *windows1252ToUtf8(std::string_view bytes, char *out)
{
    const std::array<Utf8Of, 256> &table = windows1252Utf8();
    const char *from = bytes.data();
    const char *const end = from + bytes.size();
    while (from < end) {
        if (end - from >= 8) {
            uint64_t word = 0;
            std::memcpy(&word, from, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                std::memcpy(out, from, 8);
                out += 8;
                from += 8;
                continue;
            }
        }
        const Utf8Of &utf8 = table[static_cast<unsigned char>(*from++)];
        std::memcpy(out, utf8.bytes.data(), 3);
        out += utf8.size;
    }
    return out;
}

} // namespace

OutputSink::OutputSink(int fd, RowEnd end, std::function<void()> onNextFile,
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
        m_used = size_t(windows1252ToUtf8(bytes.substr(0, slice), room(3 * slice)) - m_block.get());
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

void OutputSink::progress(int, const QString &)
{
    // A person watching a terminal sees each file's rows once the file is done.
    if (m_toTerminal)
        flush();
    if (m_onNextFile)
        m_onNextFile();
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
    if (m_used >= kBlock)
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
    // The rows lie end to end: one scan over them all finds the bytes that take more than one
    // byte of UTF-8, and the ASCII between them is copied as it stands.
    if (rows.empty())
        return;
    const char *const last = rows.back().data() + rows.back().size();
    const auto nextHigh = [last](const char *from) {
        const size_t at = engine::firstHighByte(std::string_view(from, size_t(last - from)));
        return at == std::string_view::npos ? last : from + at;
    };
    const std::array<Utf8Of, 256> &table = windows1252Utf8();
    const char *expected = rows.front().data();
    const char *high = nextHigh(expected);
    const auto lineOf = [lines](size_t r) { return r < lines.size() ? lines[r] : 0; };
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string_view row = rows[r];
        // Rows laid out otherwise, or too long for one slice, take the general way.
        if (row.data() != expected || row.size() > kSlice) {
            for (; r < rows.size(); ++r)
                addRowWindows1252(prefix, rows[r], {file, lineOf(r)});
            return;
        }
        expected = row.data() + row.size();
        beginRow(prefix, lineOf(r));
        char *to = room(3 * row.size() + m_end.size());
        const char *from = row.data();
        while (high < expected) {
            std::memcpy(to, from, size_t(high - from));
            to += high - from;
            const Utf8Of &utf8 = table[static_cast<unsigned char>(*high)];
            std::memcpy(to, utf8.bytes.data(), 3);
            to += utf8.size;
            from = high + 1;
            high = nextHigh(from);
        }
        std::memcpy(to, from, size_t(expected - from));
        to += expected - from;
        std::memcpy(to, m_end.data(), m_end.size());
        m_used = size_t(to + m_end.size() - m_block.get());
        if (m_used >= kBlock)
            flush();
    }
}

void OutputSink::flush()
{
    const char *data = m_block.get();
    size_t left = m_used;
    while (left > 0 && !m_readerGone && m_writeError == 0) {
        // Ctrl+C ends the writing at once, even into a pipe nobody empties.
        if (Interruption::interrupted())
            break;
        const ssize_t written = ::write(m_fd, data, left);
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
        data += written;
        left -= size_t(written);
    }
    m_used = 0;
}

bool OutputSink::finish()
{
    flush();
    return !m_readerGone && m_writeError == 0;
}

} // namespace cli
