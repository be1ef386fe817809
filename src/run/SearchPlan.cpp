#include "SearchPlan.h"

#include "engine/CodePage.h"
#include "engine/TextFormat.h"
#include "engine/UnicodeCase.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace run {

namespace {

// Returns the UTF-8 bytes of a text, or nothing when it holds a lone surrogate.
std::optional<std::string> utf8Of(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | (c >> 6));
            bytes += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += char(0xE0 | (c >> 12));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xF0 | (c >> 18));
            bytes += char(0x80 | ((c >> 12) & 0x3F));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

// Returns true when a lowered search text can be found in UTF-8 bytes by folding ASCII
// letters only: it is ASCII, and no character outside ASCII lowers to one of its letters.
bool asciiFoldingServes(std::u16string_view lowered)
{
    for (const char16_t c : lowered) {
        if (c >= 0x80 || engine::hasNonAsciiUpperCase(c))
            return false;
    }
    return true;
}

// Searches one piece of a file's text into out (bytes) or wideOut (UTF-16, also for a UTF-8
// piece the plan's bytes cannot serve); returns true when the plan's pattern gave up on some
// line of it.
bool searchPiece(const SearchPlan &plan, const engine::FileText &text, size_t piece,
                 engine::BlockList &out, engine::WideBlockList &wideOut,
                 const std::atomic<bool> *stop)
{
    out.clear();
    wideOut.clear();
    if (!plan.mode)
        return false;
    if (plan.regex) {
        if (text.wide())
            return engine::extract(*plan.mode, text.pieceUnits(piece), plan.pattern, plan.x, plan.y,
                                   wideOut, text.lineEnds(), stop);
        if (text.encoding() == engine::Encoding::Utf8 && !plan.pattern.utf8) {
            // As below: the pattern takes characters, so this piece is decoded alone.
            thread_local std::u16string decoded;
            decoded = engine::decodeUtf8(text.pieceBytes(piece));
            return engine::extract(*plan.mode, std::u16string_view(decoded), plan.pattern, plan.x,
                                   plan.y, wideOut, text.lineEnds(), stop);
        }
        return engine::extract(*plan.mode, text.pieceBytes(piece), plan.pattern, plan.x, plan.y,
                               out, text.lineEnds(), text.encoding(), stop);
    }
    if (text.wide()) {
        engine::extract(*plan.mode, text.pieceUnits(piece), plan.wide, plan.x, plan.y, wideOut,
                        text.lineEnds());
        return false;
    }
    if (text.encoding() == engine::Encoding::Utf8 && !plan.utf8) {
        // The search text needs the decoded characters: decode this piece alone. Its lines
        // stay valid until the next such search on this thread.
        thread_local std::u16string decoded;
        decoded = engine::decodeUtf8(text.pieceBytes(piece));
        engine::extract(*plan.mode, std::u16string_view(decoded), plan.wide, plan.x, plan.y,
                        wideOut, text.lineEnds());
        return false;
    }
    const engine::Needle &needle =
        text.encoding() == engine::Encoding::Utf8 ? *plan.utf8 : plan.windows1252;
    engine::extract(*plan.mode, text.pieceBytes(piece), needle, plan.x, plan.y, out,
                    text.lineEnds());
    return false;
}

} // namespace

SearchPlan::SearchPlan(std::optional<engine::Mode> mode_, std::u16string_view text, bool matchCase_,
                       int x_, int y_, bool regex_)
    : mode(mode_), matchCase(matchCase_), x(x_), y(y_),
      wide(engine::WideNeedle::fromText(text, matchCase_)), regex(regex_)
{
    if (regex) {
        engine::Pattern::Error error;
        pattern = engine::PatternSearch::of(engine::Pattern::compile(text, matchCase, error));
        if (!pattern.pattern)
            patternError = error;
        return;
    }
    std::u16string sought(text);
    if (!matchCase)
        engine::lowerUnitsInto(text, sought.data());
    const std::optional<std::string> bytes = engine::encode(sought);
    windows1252 = bytes ? engine::Needle::fromBytes(*bytes, matchCase) : engine::Needle::never();
    if (matchCase || asciiFoldingServes(sought)) {
        if (const auto utf8Bytes = utf8Of(sought))
            utf8 = engine::Needle::fromUtf8(*utf8Bytes, matchCase);
    }
}

void FileBlocks::noteText()
{
    pieceCount = text.count();
    encoding = text.encoding();
    wide = text.wide();
}

void FileBlocks::numberLines()
{
    const engine::LineEnds ends = text.lineEnds();
    const auto number = [&](auto &pieces, const auto &pieceAt) {
        // Pieces after the last one with blocks need no counting.
        size_t last = pieces.size();
        while (last > 0 && pieces[last - 1].empty())
            --last;
        uint64_t first = 1;
        for (size_t p = 0; p < last; ++p) {
            const auto piece = pieceAt(p);
            engine::LineNumbering numbering(piece, ends, first);
            pieces[p].numberLines(numbering, piece.data());
            if (p + 1 < last) {
                const auto next = pieceAt(p + 1);
                first = numbering.next(!next.empty() && next.front() == '\n');
            }
        }
    };
    if (wide)
        number(widePieces, [&](size_t p) { return text.pieceUnits(p); });
    else
        number(bytePieces, [&](size_t p) { return text.pieceBytes(p); });
}

bool FileBlocks::keepOnlyRows()
{
    if (!textKept)
        return true;
    numberLines();
    if (wide) {
        size_t size = 0;
        for (const auto &blocks : widePieces)
            size += blocks.textSize();
        if (size > 0) {
            m_rowUnits.reset(new char16_t[size]);
            char16_t *out = m_rowUnits.get();
            for (auto &blocks : widePieces)
                out = blocks.moveLinesTo(out);
        }
        m_rowSize = size * sizeof(char16_t);
    } else {
        // Each piece's lines get memory of their own, which the results list can take over.
        m_pieceRows.resize(bytePieces.size());
        for (size_t p = 0; p < bytePieces.size(); ++p) {
            const size_t size = bytePieces[p].textSize();
            if (size == 0)
                continue;
            PieceRows &rows = m_pieceRows[p];
            rows.bytes.reset(static_cast<char *>(std::malloc(size)));
            if (!rows.bytes)
                throw std::bad_alloc();
            bytePieces[p].moveLinesTo(rows.bytes.get());
            rows.oneByteEach = encoding == engine::Encoding::Windows1252 ||
                               engine::firstHighByte(std::string_view(rows.bytes.get(), size)) ==
                                   std::string_view::npos;
            m_rowSize += size;
        }
    }
    const bool intact = text.intact();
    text = engine::FileText();
    textKept = false;
    return intact;
}

bool FileBlocks::rowsOneByteEach(size_t p) const
{
    return p < m_pieceRows.size() && m_pieceRows[p].bytes && m_pieceRows[p].oneByteEach;
}

engine::OwnedBytes FileBlocks::takeRows(size_t p)
{
    return p < m_pieceRows.size() ? std::move(m_pieceRows[p].bytes) : engine::OwnedBytes();
}

size_t FileBlocks::heldBytes() const
{
    size_t held = text.heldBytes() + m_rowSize;
    for (const auto &blocks : bytePieces)
        held += blocks.heldBytes();
    for (const auto &blocks : widePieces)
        held += blocks.heldBytes();
    return held;
}

namespace {

// Searches every piece; returns true when the text is unsettled and some piece may hold UTF-8.
bool searchPieces(const SearchPlan &plan, FileBlocks &file, const std::atomic<bool> *stop)
{
    // UTF-8 bytes serve a pattern only through its required text; else the whole-piece scan
    // wants UTF-16.
    const bool bytesServe = plan.regex ? plan.pattern.utf8.has_value() : plan.utf8.has_value();
    if (!file.text.wide() && file.text.encoding() == engine::Encoding::Utf8 && !bytesServe)
        file.text.widen();
    file.noteText();
    const size_t count = file.pieceCount;
    if (file.text.wide())
        file.widePieces.resize(count);
    else
        file.bytePieces.resize(count);
    engine::BlockList unusedBytes;
    engine::WideBlockList unusedWide;
    bool mayHoldUtf8 = false;
    for (size_t p = 0; p < count; ++p) {
        if (stop && stop->load(std::memory_order_relaxed))
            return true;
        if (searchPiece(plan, file.text, p, file.text.wide() ? unusedBytes : file.bytePieces[p],
                        file.text.wide() ? file.widePieces[p] : unusedWide, stop))
            file.patternGaveUp = true;
        // Counted right after its search, the piece is still in the processor's cache.
        if (file.text.unsettled() && !mayHoldUtf8)
            mayHoldUtf8 = file.text.pieceMayHoldUtf8(p);
    }
    return mayHoldUtf8;
}

} // namespace

void searchFile(const SearchPlan &plan, FileBlocks &file, const std::atomic<bool> *stop)
{
    // Text that is not well-formed UTF-8 is searched as Windows-1252 first; only when its
    // bytes turn out to be mostly UTF-8 is it searched again as such.
    const bool mayHoldUtf8 = searchPieces(plan, file, stop);
    if (!file.text.settle(mayHoldUtf8))
        return;
    file.bytePieces.clear();
    file.patternGaveUp = false;
    if (!stop || !stop->load(std::memory_order_relaxed))
        searchPieces(plan, file, stop);
    else
        file.noteText();
}

} // namespace run
