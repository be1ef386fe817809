#include "FileBuffer.h"

#include <mutex>
#include <utility>
#include <vector>

namespace engine {

namespace {

// Buffers of large files wait here for the next file; small ones come cheaply from the heap.
class BufferPool {
public:
    FileBuffer take(size_t capacity)
    {
        if (capacity >= kSmallest) {
            std::lock_guard lock(m_mutex);
            auto best = m_free.end();
            for (auto it = m_free.begin(); it != m_free.end(); ++it) {
                if (it->second >= capacity && it->second <= 2 * capacity &&
                    (best == m_free.end() || it->second < best->second))
                    best = it;
            }
            if (best != m_free.end()) {
                FileBuffer buffer(best->first, BufferReturn{best->second});
                m_held -= best->second;
                m_free.erase(best);
                return buffer;
            }
        }
        return FileBuffer(new char[capacity], BufferReturn{capacity});
    }

    void give(char *data, size_t capacity)
    {
        if (capacity >= kSmallest && capacity <= kLargest) {
            std::lock_guard lock(m_mutex);
            if (m_held + capacity <= kMostHeld) {
                m_free.emplace_back(data, capacity);
                m_held += capacity;
                return;
            }
        }
        delete[] data;
    }

private:
    static constexpr size_t kSmallest = size_t(256) << 10;
    static constexpr size_t kLargest = size_t(64) << 20;
    static constexpr size_t kMostHeld = size_t(32) << 20;
    std::mutex m_mutex;
    std::vector<std::pair<char *, size_t>> m_free;
    size_t m_held = 0;
};

BufferPool &pool()
{
    // Never destroyed: files may still be handed back while the program ends.
    static BufferPool *const instance = new BufferPool;
    return *instance;
}

} // namespace

void BufferReturn::operator()(char *data) const
{
    pool().give(data, capacity);
}

FileBuffer takeBuffer(size_t capacity)
{
    return pool().take(capacity);
}

} // namespace engine
