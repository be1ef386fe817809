#pragma once

#include "PackedReader.h"

#include <cstddef>
#include <memory>
#include <string>

namespace engine {

// Reads the current member of a PackedReader as the text it holds: a member whose first
// bytes are one compressed stream is decompressed on the way, and an archive inside it is read
// as its bytes. Failures are engine::Failure, as the reader's.
class MemberText {
public:
    // Looks at the member's first bytes; the reader must stay on that member meanwhile.
    explicit MemberText(PackedReader &reader);
    MemberText(const MemberText &) = delete;
    MemberText &operator=(const MemberText &) = delete;

    // Reads at most size more bytes of the text into out; returns 0 at its end.
    size_t read(char *out, size_t size);
    // Returns true when the member is itself compressed.
    bool decompressed() const { return m_inner != nullptr; }
    // Returns true when the member is a compressed stream that holds nothing, not even an
    // empty text.
    bool holdsNoText() const { return m_ended; }

private:
    size_t readMember(char *out, size_t size);

    PackedReader &m_reader;
    // The first bytes, read to tell whether the member is compressed, and how many of them
    // were given back.
    std::string m_head;
    size_t m_headGiven = 0;
    std::unique_ptr<PackedReader> m_inner;
    bool m_ended = false;
};

} // namespace engine
