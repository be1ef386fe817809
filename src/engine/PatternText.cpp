// What the text of a pattern tells before it runs: a literal run every match must hold, and
// whether a search over many lines at once is as good as trying each line. Both only read the
// pattern's form and give up (no literal, no scan) on anything they do not follow; PCRE2 has
// already accepted the pattern when they run.
#include "Pattern.h"

namespace engine {

namespace {

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Returns true when a character, taken caseless by PCRE2, matches only characters that lower
// to its own lower case: every ASCII character but s and S, which also match the long s.
bool foldsSimply(char16_t c)
{
    return c < 0x80 && c != u's' && c != u'S';
}

// Returns the position after the closing character that ends at p (p at the opener), or
// npos when it is missing.
size_t skipTo(std::u16string_view p, size_t i, char16_t close)
{
    const size_t at = p.find(close, i);
    return at == std::u16string_view::npos ? std::u16string_view::npos : at + 1;
}

// Returns the position after the escape starting at p[i] == '\\', or npos for an escape this
// reading does not follow. literal is set to the character when the escape stands for one
// punctuation character itself.
size_t skipEscape(std::u16string_view p, size_t i, char16_t &literal)
{
    literal = 0;
    if (i + 1 >= p.size())
        return std::u16string_view::npos;
    const char16_t e = p[i + 1];
    size_t j = i + 2;
    if (!isAsciiAlnum(e)) {
        literal = e < 0x80 ? e : 0;
        return j;
    }
    if (e == u'Q' || e == u'E')
        return std::u16string_view::npos;
    if (e >= u'0' && e <= u'9') {
        while (j < p.size() && p[j] >= u'0' && p[j] <= u'9')
            ++j;
        return j;
    }
    const auto braced = [&](char16_t open, char16_t close) {
        return j < p.size() && p[j] == open ? skipTo(p, j, close) : std::u16string_view::npos;
    };
    switch (e) {
    case u'x':
        if (j < p.size() && p[j] == u'{')
            return braced(u'{', u'}');
        for (int k = 0; k < 2 && j < p.size() && isHexDigit(p[j]); ++k)
            ++j;
        return j;
    case u'o':
        return braced(u'{', u'}');
    case u'c':
        return j < p.size() ? j + 1 : std::u16string_view::npos;
    case u'p':
    case u'P':
        if (j < p.size() && p[j] == u'{')
            return braced(u'{', u'}');
        return j < p.size() ? j + 1 : std::u16string_view::npos;
    case u'N':
        return j < p.size() && p[j] == u'{' ? braced(u'{', u'}') : j;
    case u'g':
    case u'k':
        if (j < p.size() && p[j] == u'{')
            return braced(u'{', u'}');
        if (j < p.size() && p[j] == u'<')
            return braced(u'<', u'>');
        if (j < p.size() && p[j] == u'\'')
            return skipTo(p, j + 1, u'\'');
        if (e == u'k')
            return std::u16string_view::npos;
        if (j < p.size() && (p[j] == u'-' || p[j] == u'+'))
            ++j;
        while (j < p.size() && p[j] >= u'0' && p[j] <= u'9')
            ++j;
        return j;
    default:
        return j; // one letter: a class, an anchor or a control character
    }
}

// Returns the position after the character class opening at p[i] == '[', or npos. single is
// set to the class's one character when it holds exactly one plain character.
size_t skipClass(std::u16string_view p, size_t i, char16_t &single)
{
    single = 0;
    size_t j = i + 1;
    bool negated = false;
    if (j < p.size() && p[j] == u'^') {
        negated = true;
        ++j;
    }
    const size_t first = j;
    if (j < p.size() && p[j] == u']')
        ++j; // a ']' right at the start is a member
    while (j < p.size() && p[j] != u']') {
        if (p[j] == u'\\') {
            char16_t literal = 0;
            j = skipEscape(p, j, literal);
            if (j == std::u16string_view::npos)
                return j;
        } else if (p[j] == u'[' && j + 1 < p.size() && p[j + 1] == u':') {
            j = p.find(u":]", j + 2);
            if (j == std::u16string_view::npos)
                return j;
            j += 2;
        } else {
            ++j;
        }
    }
    if (j >= p.size())
        return std::u16string_view::npos;
    if (!negated && j == first + 1 && p[first] != u'\\' &&
        !(p[first] >= 0xD800 && p[first] <= 0xDFFF))
        single = p[first];
    return j + 1;
}

// Returns the position after a counted repeat {n}, {n,} or {n,m} opening at p[i], or npos
// when the brace is a literal one.
size_t skipCount(std::u16string_view p, size_t i)
{
    size_t j = i + 1;
    const size_t digits = j;
    while (j < p.size() && p[j] >= u'0' && p[j] <= u'9')
        ++j;
    if (j == digits)
        return std::u16string_view::npos;
    if (j < p.size() && p[j] == u',') {
        ++j;
        while (j < p.size() && p[j] >= u'0' && p[j] <= u'9')
            ++j;
    }
    return j < p.size() && p[j] == u'}' ? j + 1 : std::u16string_view::npos;
}

// The longest run of literal text a pattern requires, as the pattern is walked atom by atom.
struct RequiredRuns {
    std::u16string best;
    std::u16string run;
    size_t lastAtom = 0; // units of the last atom when it is the tail of run, else 0
    int depth = 0;

    void endRun()
    {
        if (run.size() > best.size())
            best = run;
        run.clear();
        lastAtom = 0;
    }
    // Adds one atom; an unusable one (not literal, or folding beyond one unit) ends the run.
    void add(std::u16string_view atom, bool usable)
    {
        if (depth > 0)
            return;
        // A line never holds its line end, and a lone CR or LF is rare enough to skip.
        if (!usable || atom.find_first_of(u"\r\n") != std::u16string_view::npos) {
            endRun();
            return;
        }
        run += atom;
        lastAtom = atom.size();
    }
    // The atom before a quantifier may be repeated or left out: it is no longer required in
    // a row.
    void quantified()
    {
        if (depth == 0 && lastAtom > 0)
            run.resize(run.size() - lastAtom);
        endRun();
    }
};

} // namespace

std::u16string requiredTextOf(std::u16string_view p, bool caseless)
{
    if (p.find(u"(*") != std::u16string_view::npos)
        return {};
    RequiredRuns runs;
    size_t i = 0;
    while (i < p.size()) {
        const char16_t c = p[i];
        if (c == u'\\') {
            char16_t literal = 0;
            const size_t next = skipEscape(p, i, literal);
            if (next == std::u16string_view::npos)
                return {};
            if (literal)
                runs.add(std::u16string_view(&p[i + 1], 1), !caseless || foldsSimply(literal));
            else
                runs.add({}, false);
            i = next;
        } else if (c == u'[') {
            char16_t single = 0;
            const size_t next = skipClass(p, i, single);
            if (next == std::u16string_view::npos)
                return {};
            const bool usable =
                single && single != u'\r' && single != u'\n' && (!caseless || foldsSimply(single));
            runs.add(std::u16string_view(&p[i + 1], 1), usable);
            i = next;
        } else if (c == u'(') {
            // Groups other than plain and non-capturing ones may set options or look around.
            if (i + 1 < p.size() && p[i + 1] == u'?' && (i + 2 >= p.size() || p[i + 2] != u':'))
                return {};
            runs.endRun();
            ++runs.depth;
            i += 1;
        } else if (c == u')') {
            runs.depth = std::max(0, runs.depth - 1);
            runs.endRun();
            ++i;
        } else if (c == u'|') {
            if (runs.depth == 0)
                return {}; // either side may match alone
            ++i;
        } else if (c == u'*' || c == u'+' || c == u'?' ||
                   (c == u'{' && skipCount(p, i) != std::u16string_view::npos)) {
            runs.quantified();
            i = c == u'{' ? skipCount(p, i) : i + 1;
            if (i < p.size() && (p[i] == u'?' || p[i] == u'+'))
                ++i;
        } else if (c == u'{') {
            // A brace that is no counted repeat here may be one in another PCRE2 version
            // ({,3}, { 2 }): nothing after it is read as literal.
            return {};
        } else if (c == u'.' || c == u'^' || c == u'$' || c == u'\r' || c == u'\n') {
            runs.add({}, false);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < p.size()) {
            runs.add(p.substr(i, 2), !caseless);
            i += 2;
        } else {
            runs.add(p.substr(i, 1), !caseless || foldsSimply(c));
            ++i;
        }
    }
    runs.endRun();
    return runs.best;
}

bool scanSafe(std::u16string_view p)
{
    for (const std::u16string_view bad : {u"(*", u"*+", u"++", u"?+", u"}+", u"\\Q"}) {
        if (p.find(bad) != std::u16string_view::npos)
            return false;
    }
    for (size_t i = 0; i + 1 < p.size(); ++i) {
        if (p[i] == u'(' && p[i + 1] == u'?' && (i + 2 >= p.size() || p[i + 2] != u':'))
            return false; // inline options, recursion, named groups: not followed here
        if (p[i] == u'\\') {
            const char16_t e = p[i + 1];
            if (e == u'A' || e == u'z' || e == u'Z' || e == u'G' || e == u'K')
                return false;
            ++i; // an escaped character starts nothing
        }
    }
    return true;
}

} // namespace engine
