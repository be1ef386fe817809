#include "SearchMarks.h"

#include "engine/UnicodeCase.h"

#include <QChar>

namespace run {

std::shared_ptr<const SearchMarks> SearchMarks::of(const RunRequest &request)
{
    if (request.searchText.isEmpty() || request.display == DisplayOption::FileOnly ||
        request.display == DisplayOption::None)
        return nullptr;
    std::shared_ptr<SearchMarks> marks(new SearchMarks);
    marks->m_matchCase = request.matchCase;
    const std::u16string_view text(reinterpret_cast<const char16_t *>(request.searchText.utf16()),
                                   size_t(request.searchText.size()));
    if (request.regex) {
        engine::Pattern::Error error;
        marks->m_pattern = engine::Pattern::compile(text, request.matchCase, error);
        if (!marks->m_pattern)
            return nullptr;
        return marks;
    }
    marks->m_sought = text;
    if (!request.matchCase)
        engine::lowerUnitsInto(text, marks->m_sought.data());
    return marks;
}

std::vector<platform::TextSpan> SearchMarks::find(QStringView text) const
{
    return m_pattern ? findPattern(text) : findText(text);
}

std::vector<platform::TextSpan> SearchMarks::findText(QStringView text) const
{
    std::vector<platform::TextSpan> spans;
    std::u16string lowered;
    std::u16string_view hay(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
    if (!m_matchCase) {
        // Lowering keeps every unit in its place, so what is found in the copy lies at the
        // same places in the text.
        lowered.resize(hay.size());
        engine::lowerUnitsInto(hay, lowered.data());
        hay = lowered;
    }
    for (size_t at = hay.find(m_sought); at != std::u16string_view::npos;
         at = hay.find(m_sought, at + m_sought.size()))
        spans.push_back({qsizetype(at), qsizetype(m_sought.size())});
    return spans;
}

std::vector<platform::TextSpan> SearchMarks::findPattern(QStringView text) const
{
    std::vector<platform::TextSpan> spans;
    const std::u16string_view line(reinterpret_cast<const char16_t *>(text.utf16()),
                                   size_t(text.size()));
    size_t from = 0;
    while (const auto found = m_pattern->findInLine(line, from)) {
        const auto [start, end] = *found;
        if (end > start) {
            spans.push_back({qsizetype(start), qsizetype(end - start)});
            from = end;
            continue;
        }
        // An empty match marks nothing; the search goes on a character further.
        if (start >= line.size())
            break;
        from = start + (QChar::isHighSurrogate(line[start]) && start + 1 < line.size() &&
                                QChar::isLowSurrogate(line[start + 1])
                            ? 2
                            : 1);
    }
    return spans;
}

} // namespace run
