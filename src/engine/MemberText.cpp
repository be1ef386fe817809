#include "MemberText.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

// Enough of a member's first bytes to tell whether it is compressed.
constexpr size_t kHeadSize = 64;

} // namespace

MemberText::MemberText(PackedReader &reader) : m_reader(reader), m_head(kHeadSize, '\0')
{
    size_t have = 0;
    while (have < m_head.size()) {
        const size_t got = reader.read(m_head.data() + have, m_head.size() - have);
        if (got == 0)
            break;
        have += got;
    }
    m_head.resize(have);
    if (packingOf(m_head) == Packing::Compressed) {
        m_inner = std::make_unique<PackedReader>(
            [this](char *out, size_t size) { return readMember(out, size); });
        // An empty stream holds no text at all.
        m_ended = !m_inner->nextMember();
    }
}

size_t MemberText::readMember(char *out, size_t size)
{
    if (m_headGiven < m_head.size()) {
        const size_t count = std::min(size, m_head.size() - m_headGiven);
        std::memcpy(out, m_head.data() + m_headGiven, count);
        m_headGiven += count;
        return count;
    }
    return m_reader.read(out, size);
}

size_t MemberText::read(char *out, size_t size)
{
    if (m_ended)
        return 0;
    return m_inner ? m_inner->read(out, size) : readMember(out, size);
}

} // namespace engine
