#pragma once

#include "Needle.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace engine {

// A regular expression (PCRE2 syntax) compiled once, with its JIT, for the characters of
// single lines: a line holds the pattern when it matches anywhere in it, ^ and $ anchoring at
// the line's start and end, '.' taking any character of the line. Matching Unicode: \w and
// the caseless option take accented letters. One compiled pattern serves several threads at
// once; each thread matches with its own scratch memory.
class Pattern {
public:
    // What one match attempt gave.
    enum class Outcome {
        NoMatch,
        Match,
        GaveUp, // a match, depth or stack limit was hit: the line counts as not matching
    };

    // Why a pattern did not compile.
    struct Error {
        std::string message; // PCRE2's own text
        size_t offset = 0;   // in UTF-16 units of the pattern
    };

    // Compiles a pattern, caseless unless matchCase; returns null and fills error when the
    // pattern is invalid.
    static std::shared_ptr<const Pattern> compile(std::u16string_view pattern, bool matchCase,
                                                  Error &error);
    ~Pattern();
    Pattern(const Pattern &) = delete;
    Pattern &operator=(const Pattern &) = delete;

    // Returns whether the pattern matches somewhere in one line, given without its line end.
    Outcome matchLine(std::u16string_view line) const;
    // Returns where the pattern first matches in one line at or after from, as the start and
    // end of the match, or nothing (also when it gives up).
    std::optional<std::pair<size_t, size_t>> findInLine(std::u16string_view line,
                                                        size_t from) const;

    // Returns true when scan() may stand in for trying every line: a line matching on its own
    // always gives a scan match starting inside it.
    bool scans() const { return m_scan != nullptr; }
    // Returns the first position at or after from where the pattern matches in a text of many
    // lines (^ and $ at every line end), or npos; sets gaveUp on a limit instead.
    size_t scan(std::u16string_view text, size_t from, bool &gaveUp) const;

    // Returns characters every match holds in a row (compared caseless unless matchCase),
    // for a fast narrowing search; empty when none is known.
    const std::u16string &requiredText() const { return m_required; }
    // Returns true when case is compared exactly.
    bool matchCase() const { return m_matchCase; }

private:
    Pattern() = default;

    void *m_line = nullptr; // pcre2_code_16
    void *m_scan = nullptr; // pcre2_code_16, compiled for whole texts, or null
    bool m_lineJit = false;
    bool m_scanJit = false;
    bool m_matchCase = false;
    std::u16string m_required;
};

// A pattern with the fast literal searches that narrow it down in each kind of text.
struct PatternSearch {
    std::shared_ptr<const Pattern> pattern;
    // The required text as Windows-1252 bytes, when it has them.
    std::optional<Needle> bytes;
    // The required text as UTF-8 bytes, when it is ASCII that folds within ASCII.
    std::optional<Needle> utf8;
    // The required text as UTF-16 units, when there is one.
    std::optional<WideNeedle> wide;

    // Returns the searches for a compiled pattern.
    static PatternSearch of(std::shared_ptr<const Pattern> pattern);
};

// Returns a run of characters every match of the pattern holds, or empty text when the
// pattern's form hides it; with caseless set, only characters whose case partners the
// engine's lower-case search finds are taken.
std::u16string requiredTextOf(std::u16string_view pattern, bool caseless);

// Returns true when searching a whole text of many lines for the pattern finds a match in
// every line that matches on its own: the pattern holds none of the constructs that look past
// a line's ends or change how the search moves on (lookaround, \A \z \Z \G \K, verbs,
// atomic groups, possessive quantifiers, inline options).
bool scanSafe(std::u16string_view pattern);

} // namespace engine
