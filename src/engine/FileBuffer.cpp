#include "FileBuffer.h"

#include <algorithm>
#include <bit>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace engine {

namespace {

// Buffers start on a page boundary. The kernel copies a file's cached pages into them, and on
// some processors (AMD's, measured) that copy runs five times slower when the buffer starts a
// few bytes past a boundary, as a heap block of its own does.
constexpr std::align_val_t kPage{4096};

char *allocate(size_t capacity)
{
    return new (kPage) char[capacity];
}

void release(char *data)
{
    ::operator delete[](data, kPage);
}

// The small buffer this thread handed back last. Small files come one after another, and the
// heap's bookkeeping for blocks of a few kilobytes costs a run over many of them more than any
// other part of reading a file but the system's own calls.
struct Spare {
    char *data = nullptr;
    size_t capacity = 0;
    ~Spare()
    {
        release(data);
        data = nullptr;
    }
};
thread_local Spare t_spare;

// Buffers of large files wait here for the next file; each thread keeps one small one.
class BufferPool {
public:
    bool worthTaking(size_t capacity)
    {
        if (capacity <= kLargestSmall)
            return true;
        capacity = rounded(capacity);
        std::lock_guard lock(m_mutex);
        if (std::any_of(m_free.begin(), m_free.end(),
                        [&](const auto &free) { return fits(free.second, capacity); }))
            return true;
        // Fresh memory costs more than mapping a file costs over reading it into a buffer
        // used before: a buffer pays off for a size met often, as in a folder of logs, which
        // is then likely met again. The same file reached twice over links does not make a
        // size common.
        const auto met = std::find_if(m_met.begin(), m_met.end(),
                                      [&](const auto &size) { return size.first == capacity; });
        if (met != m_met.end())
            return ++met->second > kMetBeforeBuffer;
        if (m_met.size() == kSizesMet)
            m_met.erase(m_met.begin());
        m_met.emplace_back(capacity, 1);
        return false;
    }

    FileBuffer take(size_t capacity)
    {
        if (capacity <= kLargestSmall) {
            if (t_spare.data && t_spare.capacity >= capacity)
                return FileBuffer(std::exchange(t_spare.data, nullptr),
                                  BufferReturn{t_spare.capacity});
            // Rounded up, so that the next file of about the same size fits.
            const size_t rounded = std::max(kSmallestKept, std::bit_ceil(capacity));
            return FileBuffer(allocate(rounded), BufferReturn{rounded});
        }
        capacity = rounded(capacity);
        {
            std::lock_guard lock(m_mutex);
            auto best = m_free.end();
            for (auto it = m_free.begin(); it != m_free.end(); ++it) {
                if (fits(it->second, capacity) &&
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
        return FileBuffer(allocate(capacity), BufferReturn{capacity});
    }

    void give(char *data, size_t capacity)
    {
        if (capacity <= kLargestSmall) {
            if (!t_spare.data || t_spare.capacity < capacity) {
                std::swap(data, t_spare.data);
                t_spare.capacity = capacity;
            }
            release(data);
            return;
        }
        if (capacity <= kLargest) {
            std::lock_guard lock(m_mutex);
            if (m_held + capacity <= kMostHeld) {
                m_free.emplace_back(data, capacity);
                m_held += capacity;
                return;
            }
        }
        release(data);
    }

private:
    // A buffer handed back serves a large file up to half its size.
    static bool fits(size_t size, size_t capacity)
    {
        return size >= capacity && size <= 2 * capacity;
    }

    // Rounded up to an eighth of its power of two: files of about the same size, as a folder
    // of logs holds, then share buffers rather than each needing fresh memory.
    static size_t rounded(size_t capacity)
    {
        const size_t step = std::bit_floor(capacity) / 8;
        return (capacity + step - 1) / step * step;
    }

    static constexpr size_t kSmallestKept = 4096;
    // Small buffers are rounded up to a power of two, at most this one.
    static constexpr size_t kLargestSmall = size_t(256) << 10;
    static constexpr size_t kLargest = size_t(64) << 20;
    static constexpr size_t kMostHeld = size_t(32) << 20;
    std::mutex m_mutex;
    static constexpr size_t kSizesMet = 64;
    static constexpr size_t kMetBeforeBuffer = 3;
    std::vector<std::pair<char *, size_t>> m_free;
    size_t m_held = 0;
    // The sizes of large files met, the latest last, with how often each was met.
    std::vector<std::pair<size_t, size_t>> m_met;
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

bool bufferWorthTaking(size_t capacity)
{
    return pool().worthTaking(capacity);
}

} // namespace engine
