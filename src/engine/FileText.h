#pragma once

#include "FileBuffer.h"
#include "MappedFile.h"
#include "TextFormat.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace engine {

// The text of one file, cut into pieces of at most 65,536 characters. Recognised text is cut
// at line ends where it can be (see bytePieceStarts()); text taken as Windows-1252 with CR LF
// lines is cut every 65,536 bytes. Windows-1252 and well-formed UTF-8 text stays as the file's
// bytes; UTF-16 and repaired UTF-8 text is held as UTF-16 units ("wide"). There is always at
// least one piece: an empty or unreadable file gives one empty piece. Pieces are views into
// the object's own buffers, which moving keeps in place.
class FileText {
public:
    // Builds one empty Windows-1252 piece.
    FileText() = default;
    // Takes the bytes of a whole file as Windows-1252 text with CR LF lines.
    FileText(FileBuffer data, size_t size);
    // Takes the bytes of a whole mapped file as Windows-1252 text with CR LF lines.
    explicit FileText(std::unique_ptr<MappedFile> mapped);
    // Copies bytes, for tests and callers that have the text already.
    explicit FileText(std::string_view bytes);

    // Recognises the file's encoding and line ends from its bytes and cuts it at line ends: a
    // byte-order mark, else UTF-8 when it holds a byte of 0x80 or above and its well-formed
    // characters of several bytes outnumber its ill-formed subsequences (repaired when there
    // are any), else Windows-1252. With settleLater, bytes that are not well-formed UTF-8 are
    // taken as Windows-1252 until settle() has counted them.
    void recognise(bool settleLater = false);
    // Makes the text's lines end as lineEnds say rather than as its own bytes would: a later
    // part of a stream keeps the line ends its first part was recognised with.
    void keepLineEnds(LineEnds lineEnds);
    // Takes the bytes as text in the encoding a stream's first part was recognised in: no
    // byte-order mark is looked for, and UTF-8 that is not well-formed is repaired.
    void takeAs(Encoding encoding);
    // Returns true while the text is taken as Windows-1252 before its bytes were counted.
    bool unsettled() const { return m_unsettled; }
    // Looks through an unsettled text's pieces up to piece i for a place where a UTF-8
    // character of several bytes may start, unless one was found; a piece just searched is
    // read from cache.
    void checkPiecesThrough(size_t i);
    // Looks through the pieces not yet looked at, and turns the text into repaired UTF-8 where
    // that is what its bytes are; returns true when it did.
    bool settle();
    // Turns UTF-8 bytes into UTF-16 units, for searches the bytes cannot serve.
    void widen();

    // Returns false when the file was mapped and lost part of its bytes to being cut shorter
    // meanwhile: they read as zeros, and the file wants reading again.
    bool intact() const { return !m_mapped || !m_mapped->damaged(); }
    // Returns true when the bytes are the file's own pages, mapped, rather than a copy.
    bool mapped() const { return m_mapped != nullptr; }

    // Returns the encoding the text was read in.
    Encoding encoding() const { return m_encoding; }
    // Returns where the text's lines end.
    LineEnds lineEnds() const { return m_lineEnds; }
    // Returns true when the pieces are UTF-16 units rather than bytes.
    bool wide() const { return m_wide; }

    // Returns the number of pieces (at least 1).
    size_t count() const { return std::max<size_t>(m_starts.size(), 1); }
    // Returns byte piece i, for i below count(); empty past the end or for wide text.
    std::string_view pieceBytes(size_t i) const;
    // Returns wide piece i, for i below count(); empty past the end or for byte text.
    std::u16string_view pieceUnits(size_t i) const;
    // Returns every UTF-16 unit held, the pieces laid end to end (empty for byte text).
    std::u16string_view units() const { return {m_units.get(), m_unitCount}; }
    // Returns how much memory the text takes.
    size_t heldBytes() const { return bytes().size() + units().size() * sizeof(char16_t); }
    // Returns every byte held, the pieces laid end to end (empty for wide text).
    std::string_view bytes() const { return {start() + m_offset, m_size - m_offset}; }

private:
    void cutBytePieces();
    template <typename Text> LineEnds lineEndsFor(Text text) const
    {
        return m_lineEndsKept ? m_lineEnds : lineEndsOf(text);
    }
    const char *start() const { return m_mapped ? m_mapped->data() : m_data.get(); }
    void takeUtf16(std::string_view text);
    void dropBytes();

    FileBuffer m_data;
    std::unique_ptr<MappedFile> m_mapped; // instead of m_data
    size_t m_size = 0;
    size_t m_offset = 0;                 // a UTF-8 byte-order mark is not text
    std::unique_ptr<char16_t[]> m_units; // left uninitialised: decoding fills it
    size_t m_unitCount = 0;
    std::vector<size_t> m_starts; // empty for the one empty piece of an empty text
    size_t m_checkedPieces = 0;   // of an unsettled text, looked at for UTF-8
    bool m_mayHoldUtf8 = false;   // some piece looked at holds a place where UTF-8 may start
    Encoding m_encoding = Encoding::Windows1252;
    LineEnds m_lineEnds = LineEnds::CrLf;
    bool m_wide = false;
    bool m_unsettled = false;
    bool m_lineEndsKept = false;
};

} // namespace engine
