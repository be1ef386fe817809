#pragma once

#include "Steps.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace engine {

// The bytes of one file, cut into pieces of 65,536 bytes with no regard to line ends; the last
// piece holds the rest. There is always at least one piece: an empty or unreadable file gives
// one empty piece. Pieces are views into the object's own buffer, which moving keeps in place.
class Pieces {
public:
    // The size of every piece but the last.
    static constexpr size_t kPieceSize = 65536;

    // Builds one empty piece.
    Pieces() = default;
    // Takes the first size bytes of a buffer holding a whole file.
    Pieces(std::unique_ptr<char[]> data, size_t size) : m_data(std::move(data)), m_size(size) {}
    // Copies bytes, for tests and callers that have the text already.
    explicit Pieces(std::string_view bytes);

    // Returns the number of pieces (at least 1).
    size_t count() const { return m_size == 0 ? 1 : (m_size - 1) / kPieceSize + 1; }
    // Returns piece i, for i below count(); an empty view past the end.
    std::string_view piece(size_t i) const
    {
        if (i >= count() || m_size == 0)
            return {};
        const size_t begin = i * kPieceSize;
        return {m_data.get() + begin, std::min(kPieceSize, m_size - begin)};
    }
    // Returns every byte read, the pieces laid end to end.
    std::string_view bytes() const { return {m_data.get(), m_size}; }

private:
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
};

// Reads a whole file as pieces, as numbered steps under the tag of ExtractState's
// ReadFileToStringFSO; each failing step is reported and the reading goes on. A path that
// cannot be read, or is not a regular file, gives one empty piece and never blocks.
Pieces ReadFileToStringFSO(const std::string &path, ErrorReporter &reporter);

} // namespace engine
