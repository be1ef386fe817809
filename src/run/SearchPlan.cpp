#include "SearchPlan.h"

#include "engine/CodePage.h"
#include "engine/LineCount.h"
#include "engine/TextFormat.h"
#include "engine/UnicodeCase.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace run {

namespace {

// A worker's block lists, let go with their memory once their rows are written: the next files'
// pieces take them rather than grow lists of their own from nothing, allocation by allocation.
// Lists that grew large for one file are let go.
class SpareBlocks {
public:
    void give(engine::BlockList &blocks)
    {
        if (m_lists.size() < kMost && blocks.heldBytes() <= kMostBytes) {
            blocks.clear();
            m_lists.push_back(std::move(blocks));
        }
        blocks = engine::BlockList();
    }
    void lend(std::vector<engine::BlockList> &pieces)
    {
        for (size_t p = 0; p < pieces.size() && !m_lists.empty(); ++p) {
            pieces[p] = std::move(m_lists.back());
            m_lists.pop_back();
        }
    }

private:
    static constexpr size_t kMost = 64;
    static constexpr size_t kMostBytes = size_t(64) << 10;
    std::vector<engine::BlockList> m_lists;
};

thread_local SpareBlocks t_spareBlocks;

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
    utf8 = engine::Needle::forUtf8(text, matchCase);
}

void FileBlocks::noteText()
{
    pieceCount = text.count();
    encoding = text.encoding();
    wide = text.wide();
}

void FileBlocks::numberLines()
{
    // Pieces after the last one with blocks need no counting.
    size_t last = wide ? widePieces.size() : bytePieces.size();
    const auto empty = [&](size_t p) {
        return wide ? widePieces[p].empty() : bytePieces[p].empty();
    };
    while (last > 0 && empty(last - 1))
        --last;
    numberThrough(last);
}

void FileBlocks::numberPiece(size_t p)
{
    if (!(wide ? widePieces[p].empty() : bytePieces[p].empty()))
        numberThrough(p + 1);
}

void FileBlocks::restartNumbering()
{
    m_numbered = 0;
}

void FileBlocks::numberThrough(size_t end)
{
    if (!numbering)
        return;
    if (m_numbered == 0)
        m_nextLine = firstLine;
    const engine::LineEnds ends = text.lineEnds();
    const auto number = [&](auto &pieces, const auto &pieceAt) {
        for (; m_numbered < end; ++m_numbered) {
            const size_t p = m_numbered;
            const auto piece = pieceAt(p);
            engine::LineNumbering numbering(piece, ends, m_nextLine);
            pieces[p].numberLines(numbering, piece.data());
            if (p + 1 < pieces.size()) {
                const auto next = pieceAt(p + 1);
                m_nextLine = numbering.next(!next.empty() && next.front() == '\n');
            }
        }
    };
    if (wide)
        number(widePieces, [&](size_t p) { return text.pieceUnits(p); });
    else
        number(bytePieces, [&](size_t p) { return text.pieceBytes(p); });
}

uint64_t FileBlocks::lineAfter() const
{
    // Pieces end after a line end, or hold none, so no CR LF is cut between two of them.
    if (!numbering)
        return firstLine;
    const engine::LineEnds ends = text.lineEnds();
    uint64_t line = firstLine;
    for (size_t p = 0; p < text.count(); ++p)
        line += wide ? engine::countLineEnds(text.pieceUnits(p), ends)
                     : engine::countLineEnds(text.pieceBytes(p), ends);
    return line;
}

namespace {

// Returns true when every character of the UTF-8 bytes is ASCII or from U+00A0 to U+00FF:
// C2 A0..C2 BF and C3 80..C3 BF, the characters Windows-1252 holds as the same number. The
// bytes before the first high byte, at firstHigh, are ASCII.
bool narrowable(std::string_view utf8, size_t firstHigh)
{
    for (size_t i = firstHigh; i != std::string_view::npos;) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (!((lead == 0xC2 && next >= 0xA0 && next <= 0xBF) ||
              (lead == 0xC3 && next >= 0x80 && next <= 0xBF)))
            return false;
        const size_t after = i + 2;
        const size_t high = engine::firstHighByte(utf8.substr(after));
        i = high == std::string_view::npos ? high : after + high;
    }
    return true;
}

// The row bytes of a file from which the workers write its rows as text.
constexpr size_t kTextOnWorkers = size_t(4) << 10;
// The most bytes a row's line number and its colon take.
constexpr size_t kLineNumberBytes = 21;

// A row's prefix and end are copied a whole number of these at a time: a call to copy a few
// bytes costs more than the copy.
constexpr size_t kCopyUnit = 32;

// Bytes to copy kCopyUnit at a time, padded so that whole units can be read.
class PaddedBytes {
public:
    explicit PaddedBytes(std::string_view bytes) : m_size(bytes.size())
    {
        m_bytes.assign(bytes);
        m_bytes.resize((m_size + kCopyUnit - 1) / kCopyUnit * kCopyUnit + kCopyUnit, '\0');
    }
    size_t size() const { return m_size; }
    // Writes the bytes at out, and up to kCopyUnit - 1 bytes after them; returns their end.
    char *copyTo(char *out) const
    {
        for (size_t at = 0; at < m_size; at += kCopyUnit)
            std::memcpy(out + at, m_bytes.data() + at, kCopyUnit);
        return out + m_size;
    }

private:
    std::string m_bytes;
    size_t m_size;
};

// Writes the rows of a piece's lines, size bytes in all, as UTF-8 text, each as the text says,
// into rows; the lines are Windows-1252 bytes (one byte a character) or UTF-8 as it stands.
template <typename Rows>
void writeText(const engine::BlockList &blocks, size_t size, bool oneByteEach, const RowText &text,
               const std::string &prefixBytes, Rows &rows)
{
    const std::vector<std::string_view> &lines = blocks.lines();
    const std::vector<uint64_t> &numbers = blocks.lineNumbers();
    const PaddedBytes prefix(prefixBytes);
    const PaddedBytes end(text.rows.end);
    const size_t perRow =
        (text.rows.lineNumbers ? kLineNumberBytes : 0) + prefix.size() + end.size();
    // What a copy writes beyond the last row's end.
    const size_t most = lines.size() * perRow + (oneByteEach ? 3 : 1) * size + kCopyUnit;
    rows.bytes.reset(static_cast<char *>(std::malloc(most)));
    if (!rows.bytes)
        throw std::bad_alloc();
    char *out = rows.bytes.get();
    for (size_t i = 0; i < lines.size(); ++i) {
        const uint64_t line = i < numbers.size() ? numbers[i] : 0;
        if (text.rows.lineNumbers && line != 0) {
            out = std::to_chars(out, out + kLineNumberBytes, line).ptr;
            *out++ = ':';
        }
        out = prefix.copyTo(out);
        if (oneByteEach) {
            out = engine::writeUtf8(lines[i], out);
        } else {
            std::memcpy(out, lines[i].data(), lines[i].size());
            out += lines[i].size();
        }
        out = end.copyTo(out);
    }
    rows.asText = true;
    rows.textSize = size_t(out - rows.bytes.get());
    rows.textRows = lines.size();
    // The room beyond the text goes back at once: rows waiting for the writer would otherwise
    // lie apart by it, and the next file's rows touch pages for the first time, which costs
    // more than writing them.
    if (auto *kept = static_cast<char *>(std::realloc(rows.bytes.get(), rows.textSize + 1))) {
        (void)rows.bytes.release();
        rows.bytes.reset(kept);
    }
}

} // namespace

bool FileBlocks::keepOnlyRows(const RowText *rowText, const QString &path)
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
        size_t rowBytes = 0;
        for (const auto &blocks : bytePieces)
            rowBytes += blocks.textSize();
        const bool asText =
            rowText && rowBytes >= kTextOnWorkers &&
            (encoding == engine::Encoding::Windows1252 || encoding == engine::Encoding::Utf8);
        const std::string prefix = asText ? rowText->prefix(path) : std::string();
        for (size_t p = 0; p < bytePieces.size(); ++p) {
            const size_t size = bytePieces[p].textSize();
            PieceRows &rows = m_pieceRows[p];
            // A file's many Windows-1252 lines, or UTF-8 lines as they are (the pieces are
            // well-formed), become the sink's text here, while they are in this processor's
            // cache; a few cost the running thread less than they cost here.
            if (asText) {
                if (size > 0) {
                    writeText(bytePieces[p], size, encoding == engine::Encoding::Windows1252,
                              *rowText, prefix, rows);
                    m_rowSize += rows.textSize;
                }
                t_spareBlocks.give(bytePieces[p]);
                continue;
            }
            if (size == 0)
                continue;
            rows.bytes.reset(static_cast<char *>(std::malloc(size)));
            if (!rows.bytes)
                throw std::bad_alloc();
            bytePieces[p].moveLinesTo(rows.bytes.get());
            const std::string_view copied(rows.bytes.get(), size);
            if (encoding == engine::Encoding::Windows1252) {
                rows.oneByteEach = true;
            } else {
                const size_t firstHigh = engine::firstHighByte(copied);
                rows.oneByteEach = firstHigh == std::string_view::npos;
                rows.narrowable = !rows.oneByteEach && narrowable(copied, firstHigh);
            }
            m_rowSize += size;
        }
    }
    const bool intact = text.intact();
    text = engine::FileText();
    textKept = false;
    return intact;
}

void FileBlocks::spareBlocks()
{
    for (engine::BlockList &blocks : bytePieces)
        t_spareBlocks.give(blocks);
    bytePieces.clear();
}

bool FileBlocks::rowsAsText(size_t p) const
{
    return p < m_pieceRows.size() && m_pieceRows[p].bytes && m_pieceRows[p].asText;
}

size_t FileBlocks::textSize(size_t p) const
{
    return rowsAsText(p) ? m_pieceRows[p].textSize : 0;
}

size_t FileBlocks::textRowCount(size_t p) const
{
    return rowsAsText(p) ? m_pieceRows[p].textRows : 0;
}

bool FileBlocks::rowsOneByteEach(size_t p) const
{
    return p < m_pieceRows.size() && m_pieceRows[p].bytes && m_pieceRows[p].oneByteEach;
}

bool FileBlocks::rowsNarrowable(size_t p) const
{
    return p < m_pieceRows.size() && m_pieceRows[p].bytes && m_pieceRows[p].narrowable;
}

std::vector<std::string_view> FileBlocks::narrowRows(size_t p)
{
    // The lines lie end to end in the copy, and each narrows to no more bytes than it has, so
    // the narrowed bytes never overtake the ones still to be read.
    std::vector<std::string_view> narrowed;
    const auto &lines = bytePieces[p].lines();
    narrowed.reserve(lines.size());
    char *out = m_pieceRows[p].bytes.get();
    for (const std::string_view line : lines) {
        char *const start = out;
        for (size_t i = 0; i < line.size(); ++i) {
            const auto b = static_cast<unsigned char>(line[i]);
            if (b < 0x80) {
                *out++ = line[i];
            } else {
                *out++ = char(((b & 0x03) << 6) | (static_cast<unsigned char>(line[i + 1]) & 0x3F));
                ++i;
            }
        }
        narrowed.emplace_back(start, size_t(out - start));
    }
    m_pieceRows[p].narrowable = false;
    m_pieceRows[p].oneByteEach = true;
    return narrowed;
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

// Searches every piece.
void searchPieces(const SearchPlan &plan, FileBlocks &file, const std::atomic<bool> *stop)
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
    t_spareBlocks.lend(file.bytePieces);
    engine::BlockList unusedBytes;
    engine::WideBlockList unusedWide;
    for (size_t p = 0; p < count; ++p) {
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        if (searchPiece(plan, file.text, p, file.text.wide() ? unusedBytes : file.bytePieces[p],
                        file.text.wide() ? file.widePieces[p] : unusedWide, stop))
            file.patternGaveUp = true;
        // Numbered right after its search too, while the piece is in the processor's cache:
        // numbering the whole file afterwards would read it from memory once more.
        file.numberPiece(p);
        // Looked at right after its search, the piece is still in the processor's cache.
        file.text.checkPiecesThrough(p);
    }
}

} // namespace

void searchFile(const SearchPlan &plan, FileBlocks &file, const std::atomic<bool> *stop)
{
    file.numbering = plan.numberLines;
    // Text that is not well-formed UTF-8 is searched as Windows-1252 first; only when its
    // bytes turn out to be mostly UTF-8 is it searched again as such.
    searchPieces(plan, file, stop);
    if (!file.text.settle())
        return;
    file.spareBlocks();
    file.restartNumbering();
    file.patternGaveUp = false;
    if (!stop || !stop->load(std::memory_order_relaxed))
        searchPieces(plan, file, stop);
    else
        file.noteText();
}

} // namespace run
