#include "OutputSink.h"

#include "cli/Interruption.h"
#include "engine/CodePage.h"
#include "engine/TextFormat.h"
#include "results/Utf8Text.h"

#include <array>
#include <cerrno>
#include <unistd.h>

namespace cli {

namespace {

// Rows go out in blocks this large: a few system calls for a run of a million rows.
constexpr size_t kBlock = size_t(1) << 20;

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

} // namespace

OutputSink::OutputSink(int fd, RowEnd end, std::function<void()> onNextFile,
                       std::function<void()> onClosed)
    : m_fd(fd), m_end(end == RowEnd::Nul    ? std::string(1, '\0')
                      : end == RowEnd::CrLf ? std::string("\r\n")
                                            : std::string("\n")),
      m_onNextFile(std::move(onNextFile)), m_onClosed(std::move(onClosed)),
      m_toTerminal(::isatty(fd) == 1)
{
    m_out.reserve(kBlock + 4096);
}

void OutputSink::appendWindows1252AsUtf8(std::string_view bytes, std::string &out)
{
    // Most lines are ASCII, or mostly so: runs of it are copied whole.
    const std::array<Utf8Of, 256> &table = windows1252Utf8();
    while (!bytes.empty()) {
        const size_t ascii = std::min(engine::firstHighByte(bytes), bytes.size());
        out.append(bytes.data(), ascii);
        bytes.remove_prefix(ascii);
        while (!bytes.empty() && static_cast<unsigned char>(bytes.front()) >= 0x80) {
            const Utf8Of &utf8 = table[static_cast<unsigned char>(bytes.front())];
            out.append(utf8.bytes.data(), utf8.size);
            bytes.remove_prefix(1);
        }
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

void OutputSink::beginRow(const QString &prefix, uint64_t line)
{
    ++m_rows;
    if (m_lineNumbers && line > 0) {
        m_out += std::to_string(line);
        m_out += ':';
    }
    if (prefix.isEmpty())
        return;
    if (prefix.constData() != m_prefix.constData() || prefix.size() != m_prefix.size()) {
        m_prefix = prefix;
        m_prefixBytes.clear();
        results::appendUtf8(prefix, m_prefixBytes);
    }
    m_out += m_prefixBytes;
}

void OutputSink::endRow()
{
    m_out += m_end;
    if (m_out.size() >= kBlock)
        flush();
}

void OutputSink::addRow(const QString &prefix, QStringView text)
{
    beginRow(prefix, 0);
    results::appendUtf8(text, m_out);
    endRow();
}

void OutputSink::addRowWindows1252(const QString &prefix, std::string_view bytes)
{
    beginRow(prefix, 0);
    appendWindows1252AsUtf8(bytes, m_out);
    endRow();
}

void OutputSink::adoptRowsWindows1252(const QString &prefix, engine::OwnedBytes,
                                      std::span<const std::string_view> rows)
{
    for (const std::string_view row : rows)
        addRowWindows1252(prefix, row);
}

void OutputSink::flush()
{
    const char *data = m_out.data();
    size_t left = m_out.size();
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
    m_out.clear();
}

bool OutputSink::finish()
{
    flush();
    return !m_readerGone && m_writeError == 0;
}

} // namespace cli
