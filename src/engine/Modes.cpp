#include "Modes.h"

#include "CodePage.h"
#include "Search.h"
#include "UnicodeCase.h"

#include <array>
#include <cstring>
#include <type_traits>

namespace engine {

namespace {

// A line of the piece as the half-open range [begin, end), its line end excluded.
struct Span {
    size_t begin = 0;
    size_t end = 0;
};

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

constexpr size_t npos = size_t(-1);

// Returns the position of the first c in [from, n), or n.
size_t findForward(const char *d, size_t from, size_t n, char c)
{
    if (from >= n)
        return n;
    const void *at = std::memchr(d + from, c, n - from);
    return at ? static_cast<size_t>(static_cast<const char *>(at) - d) : n;
}

size_t findForward(const char16_t *d, size_t from, size_t n, char16_t c)
{
    return findUnit(d, from, n, c);
}

// Returns the position of the last c in [floor, high), or npos.
size_t findBackward(const char *d, size_t floor, size_t high, char c)
{
    const char *at = findByteBackwards(d + floor, c, high - floor);
    return at ? static_cast<size_t>(at - d) : npos;
}

size_t findBackward(const char16_t *d, size_t floor, size_t high, char16_t c)
{
    return findUnitBackwards(d, floor, high, c);
}

// Cuts a piece into lines around given positions, by the file's line ends.
template <typename Char> class Lines {
public:
    Lines(std::basic_string_view<Char> piece, LineEnds ends)
        : m_d(piece.data()), m_n(piece.size()), m_lf(ends == LineEnds::Lf)
    {
    }

    size_t size() const { return m_n; }

    // Returns where the line holding position p ends (its line end excluded), or the piece's
    // size for the last line.
    size_t end(size_t p) const
    {
        if (m_lf) {
            const size_t lf = findForward(m_d, p, m_n, Char('\n'));
            return lf < m_n && lf > p && m_d[lf - 1] == Char('\r') ? lf - 1 : lf;
        }
        while (p < m_n) {
            const size_t c = findForward(m_d, p, m_n, Char('\r'));
            if (c + 1 < m_n && m_d[c + 1] == Char('\n'))
                return c;
            if (c >= m_n)
                return m_n;
            p = c + 1;
        }
        return m_n;
    }

    // Returns where the line after the one ending at e begins; e must be below the size.
    size_t next(size_t e) const { return m_lf && m_d[e] == Char('\n') ? e + 1 : e + 2; }

    // Returns the start of the line holding position p. floor must be a line start at or
    // before p; the search never looks below it, which keeps repeated look-ups linear.
    size_t start(size_t p, size_t floor) const
    {
        size_t high = p;
        while (high > floor) {
            const size_t q = findBackward(m_d, floor, high, Char('\n'));
            if (q == npos)
                return floor;
            // In CR LF text the CR must lie inside the searched range too, or the LF stands
            // alone.
            if (m_lf || (q > floor && m_d[q - 1] == Char('\r')))
                return q + 1;
            high = q;
        }
        return floor;
    }

    bool moveUp(Span &line) const
    {
        if (line.begin == 0)
            return false;
        // The line end before this line: CR LF, or LF with or without a CR before it.
        size_t e = line.begin - 1;
        if (!m_lf || (e > 0 && m_d[e - 1] == Char('\r')))
            e = line.begin - 2;
        line.end = e;
        line.begin = start(e, 0);
        return true;
    }

    bool moveDown(Span &line) const
    {
        if (line.end >= m_n)
            return false;
        line.begin = next(line.end);
        line.end = end(line.begin);
        return true;
    }

private:
    const Char *m_d;
    size_t m_n;
    bool m_lf;
};

// A needle made ready for one piece: what to search (the piece, or its lowered copy for a
// case-blind UTF-16 search) and how.
struct ByteTarget {
    using Char = char;
    ByteTarget(std::string_view piece, const Needle &needle)
        : hay(piece), units(needle.bytes()), search(needle)
    {
    }
    size_t find(size_t from) const { return search.find(hay, from); }
    std::string_view hay;
    std::string_view units;
    ByteSearch search;
};

struct WideTarget {
    using Char = char16_t;
    WideTarget(std::u16string_view piece, const WideNeedle &needle)
        : hay(haystackFor(piece, needle)), units(needle.units()), search(needle.units())
    {
    }
    size_t find(size_t from) const { return search.find(hay, from); }

    // Lowering keeps every unit in its place and leaves CR and LF alone, so positions found
    // in the lowered copy hold for the piece itself.
    static std::u16string_view haystackFor(std::u16string_view piece, const WideNeedle &needle)
    {
        if (needle.matchCase() || needle.matchesNothing())
            return piece;
        thread_local std::u16string scratch;
        if (scratch.size() < piece.size())
            scratch.resize(piece.size());
        lowerUnitsInto(piece, scratch.data());
        return {scratch.data(), piece.size()};
    }

    std::u16string_view hay;
    std::u16string_view units;
    WideSearch search;
};

// Returns true when no line can hold the units: they hold a line end.
template <typename Char> bool holdsLineEnd(std::basic_string_view<Char> units, LineEnds ends)
{
    if (ends == LineEnds::Lf)
        return units.find(Char('\n')) != std::basic_string_view<Char>::npos;
    const Char pair[2] = {Char('\r'), Char('\n')};
    return units.find(std::basic_string_view<Char>(pair, 2)) != std::basic_string_view<Char>::npos;
}

// Walks the matching lines of a piece top to bottom without cutting the other lines apart:
// one substring search over the whole piece, then the line ends around each hit.
template <typename Target> class MatchFinder {
public:
    using Char = typename Target::Char;

    MatchFinder(const Target &target, const Lines<Char> &lines, bool never)
        : m_target(target), m_lines(lines), m_done(never)
    {
    }

    bool next(Span &line)
    {
        if (m_done)
            return false;
        return m_target.units.empty() ? nextNonEmpty(line) : nextHit(line);
    }

private:
    bool nextNonEmpty(Span &line)
    {
        const size_t n = m_lines.size();
        // A line starting at the very end is the empty last line, or the piece is empty.
        while (m_pos < n) {
            const size_t begin = m_pos;
            const size_t end = m_lines.end(begin);
            m_pos = end < n ? m_lines.next(end) : n;
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
        const Char *d = m_target.hay.data();
        const size_t n = m_target.hay.size();
        const auto units = m_target.units;
        const size_t m = units.size();
        while (m_pos < n && n - m_pos >= m) {
            const size_t p = m_target.find(m_pos);
            if (p == npos)
                break;
            const size_t q = p + m;
            // A hit sharing a unit with a line end is not inside any line; a later hit may
            // still be, so step on by one unit only.
            const bool crOfBreak = units.back() == Char('\r') && q < n && d[q] == Char('\n');
            const bool lfOfBreak = units.front() == Char('\n') && p > 0 && d[p - 1] == Char('\r');
            if (crOfBreak || lfOfBreak) {
                m_pos = p + 1;
                continue;
            }
            line.begin = m_lines.start(p, m_floor);
            line.end = m_lines.end(q);
            // One block per line however often it holds the needle: go on at the next line.
            m_pos = m_floor = line.end < n ? m_lines.next(line.end) : n;
            return true;
        }
        m_done = true;
        return false;
    }

    const Target &m_target;
    const Lines<Char> &m_lines;
    size_t m_pos = 0;
    size_t m_floor = 0;
    bool m_done = false;
};

template <typename Char>
std::basic_string_view<Char> viewOf(std::basic_string_view<Char> s, Span line)
{
    return s.substr(line.begin, line.end - line.begin);
}

// How far a mode's block reaches from its matching line: lines above and below it, or only
// the line that many below.
struct Reach {
    int up = 0;
    int down = 0;
    int below = 0;
};

Reach reachOf(Mode mode, int x, int y)
{
    switch (mode) {
    case Mode::ExtractSearchWordLineUp1:
        return {1, 0, 0};
    case Mode::ExtractSearchWordLineUp2:
        return {2, 0, 0};
    case Mode::ExtractSearchWordLineUp3:
        return {3, 0, 0};
    case Mode::ExtractSearchWordLineDown1:
        return {0, 1, 0};
    case Mode::ExtractSearchWordLineDown2:
        return {0, 2, 0};
    case Mode::ExtractSearchWordLineDown3:
        return {0, 3, 0};
    case Mode::ExtractSearchWordLineUp1Down1:
        return {1, 1, 0};
    case Mode::ExtractSearchWordLineUp3Down1:
        return {3, 1, 0};
    case Mode::ExtractSearchWordLineUpXDownY:
        return {x, y, 0};
    case Mode::Extract1stLineBelow:
        return {0, 0, 1};
    case Mode::Extract2ndLineBelow:
        return {0, 0, 2};
    default:
        return {};
    }
}

// One block per line from the top of the piece down to the last match.
template <typename Char, typename Finder>
void collectAllAbove(std::basic_string_view<Char> piece, const Lines<Char> &lines, Finder &finder,
                     BasicBlockList<Char> &out)
{
    Span match;
    Span last;
    bool found = false;
    while (finder.next(match)) {
        last = match;
        found = true;
    }
    if (!found)
        return;
    Span line{0, lines.end(0)};
    for (;;) {
        out.beginBlock(piece.data() + last.begin);
        out.addLine(viewOf(piece, line));
        if (line.end >= last.end || !lines.moveDown(line))
            return;
    }
}

// One block per line from the first match to the end of the piece.
template <typename Char, typename Finder>
void collectAllBelow(std::basic_string_view<Char> piece, const Lines<Char> &lines, Finder &finder,
                     BasicBlockList<Char> &out)
{
    Span line;
    if (!finder.next(line))
        return;
    const Char *match = piece.data() + line.begin;
    do {
        out.beginBlock(match);
        out.addLine(viewOf(piece, line));
    } while (lines.moveDown(line));
}

// One block per match, of the lines the reach takes around it.
template <typename Char, typename Finder>
void collectAround(std::basic_string_view<Char> piece, const Lines<Char> &lines, Finder &finder,
                   Reach reach, BasicBlockList<Char> &out)
{
    Span match;
    while (finder.next(match)) {
        out.beginBlock(piece.data() + match.begin);
        if (reach.below > 0) {
            Span line = match;
            bool inside = true;
            for (int k = 0; k < reach.below && inside; ++k)
                inside = lines.moveDown(line);
            if (inside)
                out.addLine(viewOf(piece, line));
            continue;
        }
        // The walks stop at the piece's edges, so huge counts cost no more than the piece.
        const size_t first = out.lineCount();
        Span line = match;
        for (int k = 0; k < reach.up && lines.moveUp(line); ++k)
            out.addLine(viewOf(piece, line));
        out.reverseFrom(first);
        out.addLine(viewOf(piece, match));
        line = match;
        for (int k = 0; k < reach.down && lines.moveDown(line); ++k)
            out.addLine(viewOf(piece, line));
    }
}

// Builds the blocks of one mode from the matching lines that finder walks top to bottom.
template <typename Char, typename Finder>
void collect(Mode mode, std::basic_string_view<Char> piece, const Lines<Char> &lines,
             Finder &finder, int x, int y, BasicBlockList<Char> &out)
{
    if (mode == Mode::ExtractSearchWordLineUpAll)
        collectAllAbove(piece, lines, finder, out);
    else if (mode == Mode::ExtractSearchWordLineDownAll)
        collectAllBelow(piece, lines, finder, out);
    else
        collectAround(piece, lines, finder, reachOf(mode, x, y), out);
}

// Runs one mode over one piece; Target is ByteTarget or WideTarget.
template <typename Target, typename NeedleType>
void run(Mode mode, std::basic_string_view<typename Target::Char> piece, const NeedleType &needle,
         int x, int y, BasicBlockList<typename Target::Char> &out, LineEnds ends)
{
    out.clear();
    const Lines<typename Target::Char> lines(piece, ends);
    const Target target(piece, needle);
    const bool never = needle.matchesNothing() || holdsLineEnd(target.units, ends);
    MatchFinder<Target> finder(target, lines, never);
    collect(mode, piece, lines, finder, x, y, out);
}

// Walks the lines of a piece that a pattern matches, trying as few lines as it can: where
// the pattern has a required text, only lines holding it (found by the plain-text search);
// else, where the pattern allows, lines where one search over the whole piece finds a
// match; else every line. Byte pieces are Windows-1252, decoded for the pattern.
template <typename Char> class PatternFinder {
public:
    PatternFinder(std::basic_string_view<Char> piece, const Lines<Char> &lines,
                  const PatternSearch &search, bool utf8, const std::atomic<bool> *stop)
        : m_piece(piece), m_lines(lines), m_search(search), m_stop(stop), m_utf8(utf8)
    {
        if constexpr (std::is_same_v<Char, char>) {
            const std::optional<Needle> &needle = utf8 ? search.utf8 : search.bytes;
            if (needle && !needle->matchesNothing())
                m_literal.emplace(piece, *needle);
        } else {
            if (search.wide && !search.wide->matchesNothing())
                m_literal.emplace(piece, *search.wide);
        }
        if (m_literal) {
            m_how = How::Narrowed;
        } else if (search.pattern->scans() && !utf8) {
            // Whole-piece positions must be those of the bytes: Windows-1252 or UTF-16 only.
            m_how = How::Scanned;
            if constexpr (std::is_same_v<Char, char>) {
                thread_local std::u16string decoded;
                if (decoded.size() < piece.size())
                    decoded.resize(piece.size());
                decodeInto(piece, decoded.data());
                m_units = std::u16string_view(decoded.data(), piece.size());
            } else {
                m_units = piece;
            }
        }
    }

    bool next(Span &line)
    {
        while (!m_done) {
            switch (m_how) {
            case How::Narrowed:
                m_done = !nextNarrowed(line);
                break;
            case How::Scanned:
                m_done = !nextScanned(line);
                break;
            case How::EveryLine:
                m_done = !nextLine(line);
                break;
            }
            if (m_found)
                return true;
        }
        return false;
    }

    // Returns true when the pattern gave up on some line.
    bool gaveUp() const { return m_gaveUp; }

private:
    enum class How { Narrowed, Scanned, EveryLine };
    using Target = std::conditional_t<std::is_same_v<Char, char>, ByteTarget, WideTarget>;

    // Each step sets m_found when line is a match; returns false when the piece is done.
    bool nextNarrowed(Span &line)
    {
        m_found = false;
        const size_t n = m_piece.size();
        if (m_pos >= n)
            return false;
        const size_t p = m_literal->find(m_pos);
        if (p == npos)
            return false;
        // The required text holds no line end, so the hit lies inside one line.
        line = {m_lines.start(p, m_floor), m_lines.end(p)};
        advancePast(line);
        m_found = holds(line);
        return !m_stopped;
    }

    bool nextScanned(Span &line)
    {
        m_found = false;
        const size_t n = m_piece.size();
        if (m_pos >= n)
            return false;
        bool gaveUp = false;
        size_t p = m_search.pattern->scan(m_units, m_pos, gaveUp);
        if (gaveUp) {
            // Too hard for the whole piece at once: go on line by line from here.
            m_how = How::EveryLine;
            return true;
        }
        if (p == npos)
            return false;
        // A match starting at the LF of a CR LF starts at the end of the line before.
        if (p > 0 && p < n && m_piece[p] == Char('\n') && m_piece[p - 1] == Char('\r'))
            --p;
        line = {m_lines.start(p, m_floor), m_lines.end(p)};
        advancePast(line);
        m_found = holds(line);
        return !m_stopped;
    }

    bool nextLine(Span &line)
    {
        m_found = false;
        const size_t n = m_piece.size();
        if (m_pos >= n)
            return false;
        line = {m_pos, m_lines.end(m_pos)};
        advancePast(line);
        m_found = holds(line);
        return !m_stopped;
    }

    // Goes on at the next line: a line is tried once, however many hits it holds.
    void advancePast(Span line)
    {
        m_pos = m_floor = line.end < m_piece.size() ? m_lines.next(line.end) : m_piece.size();
    }

    bool holds(Span line)
    {
        if (line.end == line.begin)
            return false;
        if (m_stop && m_stop->load(std::memory_order_relaxed)) {
            m_stopped = true;
            return false;
        }
        const Pattern::Outcome outcome = m_search.pattern->matchLine(unitsOf(line));
        m_gaveUp = m_gaveUp || outcome == Pattern::Outcome::GaveUp;
        return outcome == Pattern::Outcome::Match;
    }

    std::u16string_view unitsOf(Span line) const
    {
        if constexpr (std::is_same_v<Char, char>) {
            if (!m_units.empty())
                return m_units.substr(line.begin, line.end - line.begin);
            thread_local std::u16string decoded;
            const std::string_view bytes = viewOf(m_piece, line);
            if (decoded.size() < bytes.size())
                decoded.resize(bytes.size());
            if (m_utf8)
                return {decoded.data(), decodeUtf8Into(bytes, decoded.data())};
            decodeInto(bytes, decoded.data());
            return {decoded.data(), bytes.size()};
        } else {
            return viewOf(m_piece, line);
        }
    }

    std::basic_string_view<Char> m_piece;
    const Lines<Char> &m_lines;
    const PatternSearch &m_search;
    const std::atomic<bool> *m_stop;
    bool m_utf8;
    std::optional<Target> m_literal;
    std::u16string_view m_units; // the piece as UTF-16, for the whole-piece search
    How m_how = How::EveryLine;
    size_t m_pos = 0;
    size_t m_floor = 0;
    bool m_found = false;
    bool m_done = false;
    bool m_stopped = false;
    bool m_gaveUp = false;
};

template <typename Char>
bool runPattern(Mode mode, std::basic_string_view<Char> piece, const PatternSearch &search, int x,
                int y, BasicBlockList<Char> &out, LineEnds ends, bool utf8,
                const std::atomic<bool> *stop)
{
    out.clear();
    if (!search.pattern)
        return false;
    const Lines<Char> lines(piece, ends);
    PatternFinder<Char> finder(piece, lines, search, utf8, stop);
    collect(mode, piece, lines, finder, x, y, out);
    return finder.gaveUp();
}

} // namespace

std::string_view modeRoutineName(Mode mode)
{
    switch (mode) {
    case Mode::ExtractSearchWordLine:
        return "ExtractSearchWordLine";
    case Mode::ExtractSearchWordLineUp1:
        return "ExtractSearchWordLineUp1";
    case Mode::ExtractSearchWordLineUp2:
        return "ExtractSearchWordLineUp2";
    case Mode::ExtractSearchWordLineUp3:
        return "ExtractSearchWordLineUp3";
    case Mode::ExtractSearchWordLineDown1:
        return "ExtractSearchWordLineDown1";
    case Mode::ExtractSearchWordLineDown2:
        return "ExtractSearchWordLineDown2";
    case Mode::ExtractSearchWordLineDown3:
        return "ExtractSearchWordLineDown3";
    case Mode::ExtractSearchWordLineUp1Down1:
        return "ExtractSearchWordLineUp1Down1";
    case Mode::ExtractSearchWordLineUp3Down1:
        return "ExtractSearchWordLineUp3Down1";
    case Mode::ExtractSearchWordLineUpXDownY:
        return "ExtractSearchWordLineUpXDownY";
    case Mode::Extract1stLineBelow:
        return "Extract1stLineBelow";
    case Mode::Extract2ndLineBelow:
        return "Extract2ndLineBelow";
    case Mode::ExtractSearchWordLineUpAll:
        return "ExtractSearchWordLineUpAll";
    case Mode::ExtractSearchWordLineDownAll:
        return "ExtractSearchWordLineDownAll";
    }
    return {};
}

void extract(Mode mode, std::string_view piece, const Needle &needle, int x, int y, BlockList &out,
             LineEnds lineEnds)
{
    run<ByteTarget>(mode, piece, needle, x, y, out, lineEnds);
}

void extract(Mode mode, std::u16string_view piece, const WideNeedle &needle, int x, int y,
             WideBlockList &out, LineEnds lineEnds)
{
    run<WideTarget>(mode, piece, needle, x, y, out, lineEnds);
}

bool extract(Mode mode, std::string_view piece, const PatternSearch &search, int x, int y,
             BlockList &out, LineEnds lineEnds, Encoding encoding, const std::atomic<bool> *stop)
{
    return runPattern(mode, piece, search, x, y, out, lineEnds, encoding == Encoding::Utf8, stop);
}

bool extract(Mode mode, std::u16string_view piece, const PatternSearch &search, int x, int y,
             WideBlockList &out, LineEnds lineEnds, const std::atomic<bool> *stop)
{
    return runPattern(mode, piece, search, x, y, out, lineEnds, false, stop);
}

} // namespace engine
