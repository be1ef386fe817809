#pragma once

#include "engine/Pattern.h"
#include "platform/MatchMarks.h"
#include "run/RunRequest.h"

#include <memory>
#include <string>

namespace run {

// The search of one run as it shows in the rows it found: each occurrence of the search text
// (lowered unit by unit unless Match Case, as the search compares), or each match of the
// pattern, compiled once for every row of the run.
class SearchMarks : public platform::MatchMarks {
public:
    // Returns the marks of a request's search, or null when its rows show nothing of it: an
    // empty search text, rows of the file's path alone, a pattern that does not compile.
    static std::shared_ptr<const SearchMarks> of(const RunRequest &request);

    std::vector<platform::TextSpan> find(QStringView text) const override;

private:
    SearchMarks() = default;
    std::vector<platform::TextSpan> findText(QStringView text) const;
    std::vector<platform::TextSpan> findPattern(QStringView text) const;

    std::u16string m_sought; // lowered unless m_matchCase
    bool m_matchCase = false;
    std::shared_ptr<const engine::Pattern> m_pattern;
};

} // namespace run
