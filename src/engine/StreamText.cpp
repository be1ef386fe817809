#include "StreamText.h"

#include "FileBuffer.h"
#include "Steps.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace engine {

namespace {

// Reads so much at a time that a stop is seen within milliseconds.
constexpr size_t kMostRead = size_t(1) << 20;

Encoding markedEncoding(std::string_view bytes)
{
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return Encoding::Utf16LE;
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return Encoding::Utf16BE;
    return Encoding::Windows1252;
}

// Returns where the lines of a text end, as lineEndsOf() says, or nothing while it holds no LF
// to tell: its lines read the same either way.
std::optional<LineEnds> lineEndsIn(std::string_view bytes, std::optional<Encoding> encoding)
{
    if (encoding != Encoding::Utf16LE && encoding != Encoding::Utf16BE) {
        if (bytes.find('\n') == std::string_view::npos)
            return std::nullopt;
        return lineEndsOf(bytes);
    }
    const bool bigEndian = encoding == Encoding::Utf16BE;
    const auto unit = [&](size_t i) {
        const auto high = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const auto low = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        return char16_t(high << 8 | low);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        if (unit(i) == u'\n')
            return i >= 2 && unit(i - 2) == u'\r' ? LineEnds::CrLf : LineEnds::Lf;
    }
    return std::nullopt;
}

} // namespace

StreamText::StreamText(Source source, const std::atomic<bool> *stop, size_t partSize)
    : m_source(std::move(source)), m_stop(stop), m_partSize(std::max<size_t>(partSize, 16))
{
}

size_t StreamText::fill(char *data, size_t size)
{
    size_t have = 0;
    while (have < size && !m_ended) {
        if (m_stop && m_stop->load(std::memory_order_relaxed)) {
            m_ended = true;
            break;
        }
        size_t got = 0;
        try {
            got = m_source(data + have, std::min(size - have, kMostRead));
        } catch (const Failure &failure) {
            m_failure = failure.what();
        }
        if (got == 0)
            m_ended = true;
        have += got;
    }
    return have;
}

size_t StreamText::cutAfterLastLineEnd(std::string_view bytes) const
{
    const bool crLf = m_lineEnds == LineEnds::CrLf;
    if (m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE) {
        const bool bigEndian = m_encoding == Encoding::Utf16BE;
        const std::string_view lf(bigEndian ? "\0\n" : "\n\0", 2);
        const std::string_view cr(bigEndian ? "\0\r" : "\r\0", 2);
        for (size_t i = bytes.size() & ~size_t(1); i >= 2; i -= 2) {
            if (bytes.substr(i - 2, 2) == lf && (!crLf || (i >= 4 && bytes.substr(i - 4, 2) == cr)))
                return i;
        }
        return bytes.size() & ~size_t(1);
    }
    for (size_t at = bytes.size(); at > 0 && (at = bytes.rfind('\n', at - 1)) != bytes.npos;) {
        if (!crLf || (at > 0 && bytes[at - 1] == '\r'))
            return at + 1;
    }
    // A part without any line end is cut before a UTF-8 character that may not fit, and never
    // between a CR and what follows it.
    size_t cut = bytes.size();
    for (int back = 0; back < 3 && cut > 1 && (bytes[cut - 1] & 0xC0) == 0x80; ++back)
        --cut;
    if (cut > 1 && (static_cast<unsigned char>(bytes[cut - 1]) >= 0xC0 || bytes[cut - 1] == '\r'))
        --cut;
    return cut;
}

void StreamText::decide(const FileText &part)
{
    // Text of ASCII alone is the same in every encoding this recognises; the first part that
    // holds more settles it.
    if (part.encoding() != Encoding::Windows1252 ||
        firstHighByte(part.bytes()) != std::string_view::npos)
        m_encoding = part.encoding();
}

std::optional<FileText> StreamText::next()
{
    if (m_started && m_ended && m_carry.empty()) {
        if (m_failure)
            throw Failure(*std::exchange(m_failure, std::nullopt));
        return std::nullopt;
    }
    FileBuffer data = takeBuffer(m_partSize);
    size_t size = m_carry.size();
    std::memcpy(data.get(), m_carry.data(), size);
    m_carry.clear();
    size += fill(data.get() + size, m_partSize - size);
    const bool first = !m_started;
    m_started = true;
    if (first && m_ended) {
        FileText whole(std::move(data), size);
        whole.recognise(true);
        return whole;
    }
    const std::string_view bytes(data.get(), size);
    if (first && markedEncoding(bytes) != Encoding::Windows1252)
        m_encoding = markedEncoding(bytes);
    if (!m_lineEndsDecided) {
        const std::optional<LineEnds> lineEnds = lineEndsIn(bytes, m_encoding);
        m_lineEnds = lineEnds.value_or(LineEnds::CrLf);
        m_lineEndsDecided = lineEnds.has_value();
    }
    const size_t cut = m_ended ? size : cutAfterLastLineEnd(bytes);
    m_carry.assign(bytes.substr(cut));
    FileText part(std::move(data), cut);
    part.keepLineEnds(m_lineEnds);
    if (first || !m_encoding)
        part.recognise(false);
    else
        part.takeAs(*m_encoding);
    if (!m_encoding)
        decide(part);
    return part;
}

} // namespace engine
