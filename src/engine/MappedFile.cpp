#include "MappedFile.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

// The mappings in use, where the bus-error handler can look them up without locks. A worker
// holds one mapping at a time, so a few dozen places are plenty; when they are all taken the
// file is simply read.
struct Watched {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};
constexpr size_t kWatchedCount = 64;
std::array<Watched, kWatchedCount> g_watched;
struct sigaction g_previous {};
uintptr_t g_pageSize = 4096;

// A read past the end of a file that became shorter while mapped raises SIGBUS. The lost
// pages are replaced with zeros to the end of the mapping, and the read goes on; any other
// bus error is left to the handler that was there before.
void onBusError(int signal, siginfo_t *info, void *context)
{
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Watched &watched : g_watched) {
        const uintptr_t begin = watched.begin.load(std::memory_order_acquire);
        const uintptr_t end = watched.end.load(std::memory_order_acquire);
        if (begin == 0 || at < begin || at >= end)
            continue;
        const uintptr_t page = at & ~(g_pageSize - 1);
        void *const zeros = ::mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            watched.damaged.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    // Put the earlier disposition back; the faulting read runs again and meets it.
    ::sigaction(SIGBUS, &g_previous, nullptr);
}

void watchBusErrors()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

} // namespace

std::unique_ptr<MappedFile> MappedFile::map(int fd, size_t size)
{
    watchBusErrors();
    size_t slot = 0;
    for (; slot < kWatchedCount; ++slot) {
        uintptr_t free = 0;
        // A reserved place holds an address no mapping can start at until the real one is set.
        if (g_watched[slot].begin.compare_exchange_strong(free, 1))
            break;
    }
    if (slot == kWatchedCount)
        return nullptr;
    // Its own handle on the file tells later whether the file became shorter.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        g_watched[slot].begin.store(0, std::memory_order_release);
        return nullptr;
    }
    // The pages are mapped as the search walks on, many at each fault, from the system's cache;
    // populating them all at once looks each page up on its own, which costs more, and a stop
    // could not end it.
    void *const data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
        ::close(own);
        g_watched[slot].begin.store(0, std::memory_order_release);
        return nullptr;
    }
    Watched &watched = g_watched[slot];
    const auto begin = reinterpret_cast<uintptr_t>(data);
    watched.damaged.store(false, std::memory_order_relaxed);
    // The whole last page belongs to the mapping.
    watched.end.store(begin + ((size + g_pageSize - 1) & ~(g_pageSize - 1)),
                      std::memory_order_release);
    watched.begin.store(begin, std::memory_order_release);
    return std::unique_ptr<MappedFile>(
        new MappedFile(static_cast<const char *>(data), size, slot, own));
}

MappedFile::MappedFile(const char *data, size_t size, size_t slot, int fd)
    : m_data(data), m_size(size), m_slot(slot), m_fd(fd)
{
}

MappedFile::~MappedFile()
{
    // Forgotten before it goes, so a new mapping at the same address is never taken for it.
    Watched &watched = g_watched[m_slot];
    watched.end.store(0, std::memory_order_release);
    ::munmap(const_cast<char *>(m_data), m_size);
    watched.begin.store(0, std::memory_order_release);
    ::close(m_fd);
}

bool MappedFile::damaged() const
{
    if (g_watched[m_slot].damaged.load(std::memory_order_acquire))
        return true;
    // Cut within its last page, a file loses bytes without any bus error: they read as zeros.
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 && info.st_size >= 0 && size_t(info.st_size) < m_size;
}

} // namespace engine
