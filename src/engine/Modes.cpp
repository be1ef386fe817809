#include "Modes.h"

#include "CodePage.h"

#include <array>
#include <cstring>

namespace engine {

namespace {

// A line of the piece as the half-open byte range [begin, end), its line end excluded.
struct Span {
    size_t begin = 0;
    size_t end = 0;
};

const char *findByte(const char *from, char byte, size_t length)
{
    return static_cast<const char *>(std::memchr(from, byte, length));
}

const char *findByteBackwards(const char *from, char byte, size_t length)
{
#if defined(__GLIBC__)
    return static_cast<const char *>(memrchr(from, byte, length));
#else
    for (size_t i = length; i > 0; --i) {
        if (from[i - 1] == byte)
            return from + i - 1;
    }
    return nullptr;
#endif
}

const char *findText(const char *from, size_t length, std::string_view text)
{
#if defined(__GLIBC__)
    return static_cast<const char *>(memmem(from, length, text.data(), text.size()));
#else
    const std::string_view hay(from, length);
    const size_t at = hay.find(text);
    return at == std::string_view::npos ? nullptr : from + at;
#endif
}

// Returns the position of the first CR LF at or after p, or the piece's size.
size_t lineEnd(std::string_view s, size_t p)
{
    const char *d = s.data();
    const size_t n = s.size();
    while (p < n) {
        const char *cr = findByte(d + p, '\r', n - p);
        if (!cr)
            return n;
        const size_t c = static_cast<size_t>(cr - d);
        if (c + 1 < n && d[c + 1] == '\n')
            return c;
        p = c + 1;
    }
    return n;
}

// Returns the start of the line holding position p. floor must be a line start at or before p;
// the search never looks below it, which keeps repeated look-ups linear.
size_t lineStart(std::string_view s, size_t p, size_t floor)
{
    const char *d = s.data();
    size_t high = p;
    while (high > floor) {
        const char *lf = findByteBackwards(d + floor, '\n', high - floor);
        if (!lf)
            return floor;
        const size_t q = static_cast<size_t>(lf - d);
        // The CR must lie inside the searched range too, or the LF stands alone.
        if (q > floor && d[q - 1] == '\r')
            return q + 1;
        high = q;
    }
    return floor;
}

bool moveUp(std::string_view s, Span &line)
{
    if (line.begin == 0)
        return false;
    line.end = line.begin - 2;
    line.begin = lineStart(s, line.end, 0);
    return true;
}

bool moveDown(std::string_view s, Span &line)
{
    if (line.end >= s.size())
        return false;
    line.begin = line.end + 2;
    line.end = lineEnd(s, line.begin);
    return true;
}

std::string_view viewOf(std::string_view s, Span line)
{
    return s.substr(line.begin, line.end - line.begin);
}

// Lowered copy of the piece for case-blind search. Lowering keeps every byte in its place and
// leaves CR and LF alone, so positions found in it hold for the piece itself.
std::string_view haystackFor(std::string_view piece, const Needle &needle)
{
    if (needle.matchCase())
        return piece;
    thread_local std::string scratch;
    if (scratch.size() < piece.size())
        scratch.resize(piece.size());
    lowerInto(piece, scratch.data());
    return {scratch.data(), piece.size()};
}

// Walks the matching lines of a piece top to bottom without cutting the other lines apart:
// one substring search over the whole piece, then the line ends around each hit.
class MatchFinder {
public:
    MatchFinder(std::string_view piece, const Needle &needle)
        : m_hay(needle.matchesNothing() ? std::string_view() : haystackFor(piece, needle)),
          m_needle(needle.bytes()), m_done(needle.matchesNothing())
    {
    }

    bool next(Span &line)
    {
        if (m_done)
            return false;
        return m_needle.empty() ? nextNonEmpty(line) : nextHit(line);
    }

private:
    bool nextNonEmpty(Span &line)
    {
        const size_t n = m_hay.size();
        // A line starting at the very end is the empty last line, or the piece is empty.
        while (m_pos < n) {
            const size_t begin = m_pos;
            const size_t end = lineEnd(m_hay, begin);
            m_pos = end + 2;
            if (end > begin) {
                line = {begin, end};
                return true;
            }
        }
        m_done = true;
        return false;
    }

    bool nextHit(Span &line)
    {
        const char *d = m_hay.data();
        const size_t n = m_hay.size();
        const size_t m = m_needle.size();
        while (m_pos < n && n - m_pos >= m) {
            const char *hit = findText(d + m_pos, n - m_pos, m_needle);
            if (!hit)
                break;
            const size_t p = static_cast<size_t>(hit - d);
            const size_t q = p + m;
            // A hit sharing a byte with a line end is not inside any line; a later hit may
            // still be, so step on by one byte only.
            const bool crOfBreak = m_needle.back() == '\r' && q < n && d[q] == '\n';
            const bool lfOfBreak = m_needle.front() == '\n' && p > 0 && d[p - 1] == '\r';
            if (crOfBreak || lfOfBreak) {
                m_pos = p + 1;
                continue;
            }
            line.begin = lineStart(m_hay, p, m_floor);
            line.end = lineEnd(m_hay, q);
            // One block per line however often it holds the needle: go on at the next line.
            m_pos = m_floor = line.end + 2;
            return true;
        }
        m_done = true;
        return false;
    }

    std::string_view m_hay;
    std::string_view m_needle;
    size_t m_pos = 0;
    size_t m_floor = 0;
    bool m_done = false;
};

void contextBlocks(std::string_view piece, const Needle &needle, int up, int down, BlockList &out)
{
    out.clear();
    MatchFinder finder(piece, needle);
    Span match;
    while (finder.next(match)) {
        out.beginBlock();
        // The walks stop at the piece's edges, so huge counts cost no more than the piece.
        const size_t first = out.lineCount();
        Span line = match;
        for (int k = 0; k < up && moveUp(piece, line); ++k)
            out.addLine(viewOf(piece, line));
        out.reverseFrom(first);
        out.addLine(viewOf(piece, match));
        line = match;
        for (int k = 0; k < down && moveDown(piece, line); ++k)
            out.addLine(viewOf(piece, line));
    }
}

void lineBelowBlocks(std::string_view piece, const Needle &needle, int distance, BlockList &out)
{
    out.clear();
    MatchFinder finder(piece, needle);
    Span match;
    while (finder.next(match)) {
        out.beginBlock();
        Span line = match;
        bool inside = true;
        for (int k = 0; k < distance && inside; ++k)
            inside = moveDown(piece, line);
        if (inside)
            out.addLine(viewOf(piece, line));
    }
}

// Adds one block per line from first down to and including last.
void linePerBlock(std::string_view piece, Span first, size_t lastEnd, BlockList &out)
{
    Span line = first;
    for (;;) {
        out.beginBlock();
        out.addLine(viewOf(piece, line));
        if (line.end >= lastEnd || !moveDown(piece, line))
            break;
    }
}

struct ModeInfo {
    Mode mode;
    std::string_view routine;
    std::string_view caption;
};

// In the order captions are compared.
constexpr std::array<ModeInfo, 14> kModes = {{
    {Mode::ExtractSearchWordLine, "ExtractSearchWordLine",
     "Extract entire line which contains search word"},
    {Mode::ExtractSearchWordLineUp1, "ExtractSearchWordLineUp1",
     "Extract entire line which contains search word and 1 line above"},
    {Mode::ExtractSearchWordLineUp2, "ExtractSearchWordLineUp2",
     "Extract entire line which contains search word and 2 lines above"},
    {Mode::ExtractSearchWordLineUp3, "ExtractSearchWordLineUp3",
     "Extract entire line which contains search word and 3 lines above"},
    {Mode::ExtractSearchWordLineUp3Down1, "ExtractSearchWordLineUp3Down1",
     "Extract entire line which contains search word and 3 lines above and 1 line below"},
    {Mode::ExtractSearchWordLineUp1Down1, "ExtractSearchWordLineUp1Down1",
     "Extract entire line which contains search word and 1 line above and 1 line below"},
    {Mode::ExtractSearchWordLineDown1, "ExtractSearchWordLineDown1",
     "Extract entire line which contains search word and 1 line below"},
    {Mode::ExtractSearchWordLineDown2, "ExtractSearchWordLineDown2",
     "Extract entire line which contains search word and 2 lines below"},
    {Mode::ExtractSearchWordLineDown3, "ExtractSearchWordLineDown3",
     "Extract entire line which contains search word and 3 lines below"},
    {Mode::ExtractSearchWordLineUpXDownY, "ExtractSearchWordLineUpXDownY",
     "Extract line which contains search word and x line(s) above and y line(s) below"},
    {Mode::Extract1stLineBelow, "Extract1stLineBelow", "Extract 1st line below search word"},
    {Mode::Extract2ndLineBelow, "Extract2ndLineBelow", "Extract 2nd line below search word"},
    {Mode::ExtractSearchWordLineUpAll, "ExtractSearchWordLineUpAll",
     "Extract entire line which contains search word and all lines above"},
    {Mode::ExtractSearchWordLineDownAll, "ExtractSearchWordLineDownAll",
     "Extract entire line which contains search word and all lines below"},
}};

const ModeInfo &infoOf(Mode mode)
{
    for (const auto &info : kModes) {
        if (info.mode == mode)
            return info;
    }
    return kModes.front();
}

} // namespace

std::string_view modeRoutineName(Mode mode)
{
    return infoOf(mode).routine;
}

std::string_view modeCaption(Mode mode)
{
    return infoOf(mode).caption;
}

std::optional<Mode> modeForCaption(std::string_view utf8Caption)
{
    for (const auto &info : kModes) {
        if (info.caption == utf8Caption)
            return info.mode;
    }
    return std::nullopt;
}

void extract(Mode mode, std::string_view piece, const Needle &needle, int x, int y, BlockList &out)
{
    switch (mode) {
    case Mode::ExtractSearchWordLine:
        return ExtractSearchWordLine(piece, needle, out);
    case Mode::ExtractSearchWordLineUp1:
        return ExtractSearchWordLineUp1(piece, needle, out);
    case Mode::ExtractSearchWordLineUp2:
        return ExtractSearchWordLineUp2(piece, needle, out);
    case Mode::ExtractSearchWordLineUp3:
        return ExtractSearchWordLineUp3(piece, needle, out);
    case Mode::ExtractSearchWordLineDown1:
        return ExtractSearchWordLineDown1(piece, needle, out);
    case Mode::ExtractSearchWordLineDown2:
        return ExtractSearchWordLineDown2(piece, needle, out);
    case Mode::ExtractSearchWordLineDown3:
        return ExtractSearchWordLineDown3(piece, needle, out);
    case Mode::ExtractSearchWordLineUp1Down1:
        return ExtractSearchWordLineUp1Down1(piece, needle, out);
    case Mode::ExtractSearchWordLineUp3Down1:
        return ExtractSearchWordLineUp3Down1(piece, needle, out);
    case Mode::ExtractSearchWordLineUpXDownY:
        return ExtractSearchWordLineUpXDownY(piece, x, y, needle, out);
    case Mode::Extract1stLineBelow:
        return Extract1stLineBelow(piece, needle, out);
    case Mode::Extract2ndLineBelow:
        return Extract2ndLineBelow(piece, needle, out);
    case Mode::ExtractSearchWordLineUpAll:
        return ExtractSearchWordLineUpAll(piece, needle, out);
    case Mode::ExtractSearchWordLineDownAll:
        return ExtractSearchWordLineDownAll(piece, needle, out);
    }
    out.clear();
}

void ExtractSearchWordLine(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 0, 0, out);
}

void ExtractSearchWordLineUp1(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 1, 0, out);
}

void ExtractSearchWordLineUp2(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 2, 0, out);
}

void ExtractSearchWordLineUp3(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 3, 0, out);
}

void ExtractSearchWordLineDown1(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 0, 1, out);
}

void ExtractSearchWordLineDown2(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 0, 2, out);
}

void ExtractSearchWordLineDown3(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 0, 3, out);
}

void ExtractSearchWordLineUp1Down1(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 1, 1, out);
}

void ExtractSearchWordLineUp3Down1(std::string_view piece, const Needle &needle, BlockList &out)
{
    contextBlocks(piece, needle, 3, 1, out);
}

void ExtractSearchWordLineUpXDownY(std::string_view piece, int x, int y, const Needle &needle,
                                   BlockList &out)
{
    contextBlocks(piece, needle, x, y, out);
}

void Extract1stLineBelow(std::string_view piece, const Needle &needle, BlockList &out)
{
    lineBelowBlocks(piece, needle, 1, out);
}

void Extract2ndLineBelow(std::string_view piece, const Needle &needle, BlockList &out)
{
    lineBelowBlocks(piece, needle, 2, out);
}

void ExtractSearchWordLineUpAll(std::string_view piece, const Needle &needle, BlockList &out)
{
    out.clear();
    MatchFinder finder(piece, needle);
    Span match;
    Span last;
    bool found = false;
    while (finder.next(match)) {
        last = match;
        found = true;
    }
    if (found)
        linePerBlock(piece, {0, lineEnd(piece, 0)}, last.end, out);
}

void ExtractSearchWordLineDownAll(std::string_view piece, const Needle &needle, BlockList &out)
{
    out.clear();
    MatchFinder finder(piece, needle);
    Span first;
    if (finder.next(first))
        linePerBlock(piece, first, piece.size(), out);
}

bool SearchWordInLine(std::string_view line, const Needle &needle)
{
    if (needle.matchesNothing() || line.empty())
        return false;
    if (needle.matchCase())
        return line.find(needle.bytes()) != std::string_view::npos;
    std::string lowered(line.size(), '\0');
    lowerInto(line, lowered.data());
    return lowered.find(needle.bytes()) != std::string::npos;
}

std::string LineWithBreak(const std::vector<std::string_view> &lines, long k, long last)
{
    if (k < 0 || k > last || static_cast<size_t>(k) >= lines.size() || lines[k].empty())
        return {};
    std::string result(lines[k]);
    result += "\r\n";
    return result;
}

} // namespace engine
