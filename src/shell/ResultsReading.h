#pragma once

namespace shell {

// Marks the results list as being read for as long as it lives: a save, copy, export or
// filter that yields to the event loop counts itself in, and whatever would change the list
// meanwhile looks at the count and refuses.
class ResultsReading {
public:
    explicit ResultsReading(int &count) : m_count(count) { ++m_count; }
    ~ResultsReading() { --m_count; }
    ResultsReading(const ResultsReading &) = delete;
    ResultsReading &operator=(const ResultsReading &) = delete;

private:
    int &m_count;
};

} // namespace shell
