#include "Pattern.h"

#include "CodePage.h"
#include "UnicodeCase.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>

namespace engine {

namespace {

constexpr size_t npos = size_t(-1);

// A pattern that backtracks without end gives up after this many steps on one line (PCRE2's
// own default is ten times more): tens of milliseconds, not seconds, per hopeless line.
constexpr uint32_t kMatchLimit = 1'000'000;

// Each thread's scratch memory for matching: room for one match, and a JIT stack that grows
// to a few megabytes for deeply nested patterns on long lines.
struct ThreadScratch {
    ThreadScratch()
        : data(pcre2_match_data_create(1, nullptr)), context(pcre2_match_context_create(nullptr)),
          stack(pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr))
    {
        if (context) {
            pcre2_set_match_limit(context, kMatchLimit);
            if (stack)
                pcre2_jit_stack_assign(context, nullptr, stack);
        }
    }
    ~ThreadScratch()
    {
        pcre2_match_data_free(data);
        pcre2_match_context_free(context);
        pcre2_jit_stack_free(stack);
    }
    ThreadScratch(const ThreadScratch &) = delete;
    ThreadScratch &operator=(const ThreadScratch &) = delete;

    pcre2_match_data *data;
    pcre2_match_context *context;
    pcre2_jit_stack *stack;
};

ThreadScratch &scratch()
{
    thread_local ThreadScratch own;
    return own;
}

pcre2_code *codeOf(void *code)
{
    return static_cast<pcre2_code *>(code);
}

// Returns PCRE2's answer for text from start: >= 0 a match, else its error code.
int matchAt(void *code, bool jit, std::u16string_view text, size_t start)
{
    ThreadScratch &own = scratch();
    if (!own.data || !own.context)
        return PCRE2_ERROR_NOMEMORY;
    // PCRE2 takes no null subject, even an empty one.
    static const char16_t nothing = 0;
    const auto *subject = reinterpret_cast<PCRE2_SPTR>(text.empty() ? &nothing : text.data());
    if (jit)
        return pcre2_jit_match(codeOf(code), subject, text.size(), start, 0, own.data, own.context);
    return pcre2_match(codeOf(code), subject, text.size(), start, 0, own.data, own.context);
}

// Compiles the pattern's machine code; returns false where there is none to run, also when
// the JIT compile "succeeds" for a pattern that asks for none ((*NO_JIT)): such a pattern is
// matched by the interpreter.
bool compileJit(pcre2_code *code)
{
    size_t size = 0;
    return pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0 &&
           pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &size) == 0 && size > 0;
}

pcre2_code *compileWith(std::u16string_view pattern, uint32_t options, uint32_t newline,
                        int &errorCode, PCRE2_SIZE &errorOffset)
{
    pcre2_compile_context *context = pcre2_compile_context_create(nullptr);
    if (!context) {
        errorCode = PCRE2_ERROR_NOMEMORY;
        errorOffset = 0;
        return nullptr;
    }
    pcre2_set_newline(context, newline);
    static const char16_t nothing = 0;
    pcre2_code *code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.empty() ? &nothing : pattern.data()),
                      pattern.size(), options, &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);
    return code;
}

} // namespace

std::shared_ptr<const Pattern> Pattern::compile(std::u16string_view text, bool matchCase,
                                                Error &error)
{
    // Characters, not code units: UTF with Unicode properties, and text that is not
    // well-formed UTF-16 (a lone surrogate in a file) simply never matches there.
    uint32_t options =
        PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_DOTALL | PCRE2_NEVER_BACKSLASH_C;
    if (!matchCase)
        options |= PCRE2_CASELESS;
    int code = 0;
    PCRE2_SIZE offset = 0;
    std::shared_ptr<Pattern> pattern(new Pattern);
    pattern->m_matchCase = matchCase;
    pattern->m_line = compileWith(text, options, PCRE2_NEWLINE_LF, code, offset);
    if (!pattern->m_line) {
        PCRE2_UCHAR message[256];
        const int length = pcre2_get_error_message(code, message, 256);
        error.message.clear();
        for (int i = 0; i < length; ++i)
            error.message += message[i] < 0x80 ? char(message[i]) : '?';
        error.offset = offset;
        return nullptr;
    }
    pattern->m_lineJit = compileJit(codeOf(pattern->m_line));
    if (scanSafe(text)) {
        // ^ and $ at every CR, LF and CR LF: a superset of the line ends of either kind.
        pattern->m_scan =
            compileWith(text, options | PCRE2_MULTILINE, PCRE2_NEWLINE_ANYCRLF, code, offset);
        if (pattern->m_scan)
            pattern->m_scanJit = compileJit(codeOf(pattern->m_scan));
    }
    pattern->m_required = requiredTextOf(text, !matchCase);
    return pattern;
}

Pattern::~Pattern()
{
    pcre2_code_free(codeOf(m_line));
    pcre2_code_free(codeOf(m_scan));
}

Pattern::Outcome Pattern::matchLine(std::u16string_view line) const
{
    const int rc = matchAt(m_line, m_lineJit, line, 0);
    if (rc >= 0)
        return Outcome::Match;
    return rc == PCRE2_ERROR_NOMATCH ? Outcome::NoMatch : Outcome::GaveUp;
}

std::optional<std::pair<size_t, size_t>> Pattern::findInLine(std::u16string_view line,
                                                             size_t from) const
{
    if (from > line.size() || matchAt(m_line, m_lineJit, line, from) < 0)
        return std::nullopt;
    const PCRE2_SIZE *found = pcre2_get_ovector_pointer(scratch().data);
    return std::pair<size_t, size_t>(found[0], found[1]);
}

size_t Pattern::scan(std::u16string_view text, size_t from, bool &gaveUp) const
{
    gaveUp = false;
    if (!m_scan || from > text.size())
        return npos;
    const int rc = matchAt(m_scan, m_scanJit, text, from);
    if (rc == PCRE2_ERROR_NOMATCH)
        return npos;
    if (rc < 0) {
        gaveUp = true;
        return npos;
    }
    return pcre2_get_ovector_pointer(scratch().data)[0];
}

PatternSearch PatternSearch::of(std::shared_ptr<const Pattern> pattern)
{
    PatternSearch search;
    search.pattern = std::move(pattern);
    if (!search.pattern)
        return search;
    const std::u16string &required = search.pattern->requiredText();
    if (required.empty())
        return search;
    const bool matchCase = search.pattern->matchCase();
    search.wide = WideNeedle::fromText(required, matchCase);
    std::u16string sought(required);
    if (!matchCase)
        lowerUnitsInto(required, sought.data());
    if (const auto bytes = encode(sought))
        search.bytes = Needle::fromBytes(*bytes, matchCase);
    const bool asciiServes = std::all_of(sought.begin(), sought.end(), [&](char16_t c) {
        return c < 0x80 && (matchCase || !hasNonAsciiUpperCase(c));
    });
    if (asciiServes)
        search.utf8 = Needle::fromUtf8(std::string(sought.begin(), sought.end()), matchCase);
    return search;
}

} // namespace engine
