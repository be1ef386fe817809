#include "FileText.h"

#include <cstring>
#include <utility>

namespace engine {

FileText::FileText(FileBuffer data, size_t size) : m_data(std::move(data)), m_size(size)
{
    cutBytePieces();
}

FileText::FileText(std::unique_ptr<MappedFile> mapped)
    : m_mapped(std::move(mapped)), m_size(m_mapped->size())
{
    cutBytePieces();
}

FileText::FileText(std::string_view bytes) : m_data(takeBuffer(bytes.size())), m_size(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(m_data.get(), bytes.data(), bytes.size());
    cutBytePieces();
}

void FileText::cutBytePieces()
{
    m_starts.clear();
    const size_t size = m_size - m_offset;
    for (size_t at = 0; at == 0 || at < size; at += kPieceSize)
        m_starts.push_back(at);
}

void FileText::recognise(bool settleLater)
{
    const std::string_view all(start(), m_size);
    const auto startsWith = [&](std::string_view mark) {
        return all.substr(0, mark.size()) == mark;
    };
    if (startsWith("\xEF\xBB\xBF")) {
        m_offset = 3;
        m_encoding = Encoding::Utf8;
        m_lineEnds = lineEndsFor(bytes());
        if (!utf8PieceStarts(bytes(), m_lineEnds, m_starts))
            widen();
        return;
    }
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
        m_encoding = all[0] == '\xFE' ? Encoding::Utf16BE : Encoding::Utf16LE;
        takeUtf16(all.substr(2));
        m_lineEnds = lineEndsFor(units());
        m_starts = widePieceStarts(units(), m_lineEnds);
        return;
    }
    m_lineEnds = lineEndsFor(all);
    if (firstHighByte(all) != std::string_view::npos) {
        std::vector<size_t> starts;
        if (utf8PieceStarts(all, m_lineEnds, starts)) {
            m_encoding = Encoding::Utf8;
            m_starts = std::move(starts);
            return;
        }
        m_starts = bytePieceStarts(all, m_lineEnds);
        m_unsettled = true;
        if (!settleLater)
            settle();
        return;
    }
    m_starts = bytePieceStarts(all, m_lineEnds);
}

void FileText::checkPiecesThrough(size_t i)
{
    for (;
         m_unsettled && !m_mayHoldUtf8 && m_checkedPieces <= i && m_checkedPieces < m_starts.size();
         ++m_checkedPieces) {
        const size_t p = m_checkedPieces;
        const size_t end = p + 1 < m_starts.size() ? m_starts[p + 1] : bytes().size();
        m_mayHoldUtf8 = anyUtf8Start(bytes(), m_starts[p], end);
    }
}

bool FileText::settle()
{
    if (!m_unsettled)
        return false;
    checkPiecesThrough(m_starts.size());
    m_unsettled = false;
    // A few stray bytes in UTF-8 text are repaired rather than taken for another encoding;
    // without a place where a character of several bytes may start, it holds none.
    if (!m_mayHoldUtf8 || !mostlyUtf8(bytes()))
        return false;
    m_encoding = Encoding::Utf8;
    widen();
    return true;
}

void FileText::widen()
{
    if (m_wide)
        return;
    m_units.reset(new char16_t[bytes().size() + 1]);
    m_unitCount = decodeUtf8Into(bytes(), m_units.get());
    dropBytes();
    m_wide = true;
    m_lineEnds = lineEndsFor(units());
    m_starts = widePieceStarts(units(), m_lineEnds);
}

void FileText::keepLineEnds(LineEnds lineEnds)
{
    m_lineEnds = lineEnds;
    m_lineEndsKept = true;
}

void FileText::takeAs(Encoding encoding)
{
    m_encoding = encoding;
    m_unsettled = false;
    if (encoding == Encoding::Windows1252) {
        m_starts = bytePieceStarts(bytes(), m_lineEnds);
    } else if (encoding == Encoding::Utf8) {
        if (!utf8PieceStarts(bytes(), m_lineEnds, m_starts))
            widen();
    } else {
        takeUtf16(bytes());
        m_starts = widePieceStarts(units(), m_lineEnds);
    }
}

void FileText::takeUtf16(std::string_view text)
{
    m_units.reset(new char16_t[text.size() / 2 + 1]);
    m_unitCount = decodeUtf16Into(text, m_encoding == Encoding::Utf16BE, m_units.get());
    dropBytes();
    m_wide = true;
}

void FileText::dropBytes()
{
    // Whether the bytes were whole is still wanted once they are decoded.
    if (m_mapped && !m_mapped->damaged())
        m_mapped.reset();
    m_data.reset();
    m_size = m_offset = 0;
}

std::string_view FileText::pieceBytes(size_t i) const
{
    if (m_wide || i >= m_starts.size())
        return {};
    const std::string_view all = bytes();
    const size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : all.size();
    return all.substr(m_starts[i], end - m_starts[i]);
}

std::u16string_view FileText::pieceUnits(size_t i) const
{
    if (!m_wide || i >= m_starts.size())
        return {};
    const size_t end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_unitCount;
    return units().substr(m_starts[i], end - m_starts[i]);
}

} // namespace engine
