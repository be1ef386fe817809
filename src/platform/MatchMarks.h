#pragma once

#include <QStringView>
#include <vector>

namespace platform {

// A stretch of a text: where it starts and how many UTF-16 code units it holds.
struct TextSpan {
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const TextSpan &) const = default;
};

// What a list's rows were found by, as it shows in their text: each occurrence of a search
// text, or each match of a pattern. One object serves every row of a run, from any thread.
class MatchMarks {
public:
    virtual ~MatchMarks() = default;
    // Returns the stretches of a row's text that match, in order and not overlapping.
    virtual std::vector<TextSpan> find(QStringView text) const = 0;
};

} // namespace platform
