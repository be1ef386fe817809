#include "FileReader.h"

#include "PackedReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

std::atomic<void (*)()> g_afterEachRead{nullptr};
// Files up to the largest buffer the pool keeps are read into a buffer used before: mapping a
// file and unmapping it again costs more. Larger ones, and one of a size the pool has no
// buffer for and has met fewer than three times, would need memory never touched before, the
// costliest there is, and are mapped.
std::atomic<size_t> g_mapAbove{size_t(64) << 20};

std::string describeErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "File not found";
    case EACCES:
    case EPERM:
        return "Permission denied";
    case ENAMETOOLONG:
        return "Bad file name or number";
    case EMFILE:
    case ENFILE:
        return "Too many files";
    case EIO:
        return "Device I/O error";
    case ENXIO: // a socket, or a device without its driver
    case ENODEV:
        return "Not a regular file (FIFO, socket or device)";
    default:
        return std::strerror(error);
    }
}

// The folder of the file this thread opened last, held open: the next file of the same
// folder, as the files of a folder walked or listed mostly come, is opened from it, which
// spares the system the walk down the folder's path. A worker's thread, and the folder with
// it, ends with its run.
class LastFolder {
public:
    ~LastFolder() { forget(); }

    int open(const std::string &path)
    {
        constexpr int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash != 0 && hold(path, slash)) {
            const int fd = ::openat(m_fd, path.c_str() + slash + 1, flags);
            if (fd >= 0)
                return fd;
            // The folder may have been made anew since it was opened: its path tells.
            forget();
        }
        return ::open(path.c_str(), flags);
    }

private:
    // Holds the folder of path, its first slash bytes, open; returns whether it is.
    bool hold(const std::string &path, size_t slash)
    {
        if (m_fd >= 0 && m_path.size() == slash && path.compare(0, slash, m_path) == 0)
            return true;
        forget();
        m_path.assign(path, 0, slash);
        m_fd = ::open(m_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        return m_fd >= 0;
    }

    void forget()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_path.clear();
    }

    std::string m_path;
    int m_fd = -1;
};
thread_local LastFolder t_folder;

// Reads large blocks straight into the buffer that becomes the pieces.
class Reader {
public:
    Reader() = default;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    ~Reader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Opens the path without reporting; returns the error number, or 0 once it is open.
    // Anything but a regular file is refused later, before a read could wait on it;
    // O_NONBLOCK keeps the open itself from waiting on a FIFO without writer.
    // A file its folder's listing just named a regular one (listed) is not asked about
    // before it is read: most files fit in the buffer of the file before, and their first,
    // short read tells their end. Only one that fills the buffer is asked for its size.
    int tryOpen(const std::string &path, bool listed)
    {
        const int fd = t_folder.open(path);
        if (fd < 0)
            return m_openError = errno;
        if (!listed && ::fstat(fd, &m_info) != 0) {
            m_openError = errno;
            ::close(fd);
            return m_openError;
        }
        m_fd = fd;
        m_unasked = listed;
        return 0;
    }

    // Returns whether the path opened as a folder.
    bool folder() const { return m_fd >= 0 && !m_unasked && S_ISDIR(m_info.st_mode); }

    // Finishes the open: throws its failure, or refuses anything but a regular file. With
    // mayMap set, a file of a size worth it is mapped, and then needs no reads.
    void open(bool mayMap)
    {
        if (m_fd < 0)
            throw Failure(describeErrno(m_openError));
        m_mayMap = mayMap;
        if (m_unasked) {
            m_data = takeBuffer(kFirstRead);
            m_capacity = m_data.get_deleter().capacity;
            return;
        }
        if (S_ISDIR(m_info.st_mode) || !S_ISREG(m_info.st_mode)) {
            ::close(m_fd);
            m_fd = -1;
            throw Failure(S_ISDIR(m_info.st_mode) ? "Path is a folder, not a file"
                                                  : "Not a regular file (FIFO, socket or device)");
        }
        if (!mapOrReserve())
            reserve(m_sized ? size_t(m_info.st_size) : 4096);
    }

    // Takes the size the file has, now asked; maps it when that pays (and returns true), else
    // leaves the buffer to be sized.
    bool mapOrReserve()
    {
        m_sized = m_info.st_size > 0;
        const auto size = static_cast<size_t>(m_info.st_size);
        if (m_mayMap && (size > g_mapAbove.load(std::memory_order_relaxed) ||
                         packedAndLarge(size) || !bufferWorthTaking(size))) {
            m_mapped = MappedFile::map(m_fd, size);
            if (m_mapped) {
                m_data.reset();
                m_size = 0;
                m_atEnd = true;
                return true;
            }
        }
        return false;
    }

    // A listed file that filled the buffer of its first read is asked what it is now: what
    // was read stays, unless the file is mapped after all.
    void askAfterFullRead()
    {
        m_unasked = false;
        const bool asked = ::fstat(m_fd, &m_info) == 0;
        const int error = errno;
        if (!asked || !S_ISREG(m_info.st_mode)) {
            // It changed since it was listed: nothing of it is kept, and nothing more read.
            m_size = 0;
            m_atEnd = true;
            throw Failure(asked ? "Not a regular file (FIFO, socket or device)"
                                : describeErrno(error));
        }
        if (mapOrReserve())
            return;
        // A file is read up to the size it had when it was asked: one that keeps growing
        // meanwhile (a log being written) would otherwise be read until it stops.
        if (m_sized && size_t(m_info.st_size) <= m_size)
            m_atEnd = true;
        else if (m_sized)
            reserve(size_t(m_info.st_size));
    }

    // Returns true when the file is large and starts as a compressed file or an archive does:
    // its bytes are only read through once, by the decompression, and a buffer for them would
    // be memory touched for the first time, which costs more than mapping the file.
    bool packedAndLarge(size_t size) const
    {
        if (size < kLargePacked)
            return false;
        char head[kHeadBytes];
        const ssize_t got = ::pread(m_fd, head, sizeof head, 0);
        return got > 0 && packingOf(std::string_view(head, size_t(got))) != Packing::Plain;
    }

    // Reads one more block; returns false at the end of the file.
    bool readMore(const std::atomic<bool> *stop)
    {
        if (m_fd < 0)
            throw Failure("File is not open");
        if (m_atEnd)
            return false;
        if (m_size == m_capacity)
            reserve(m_capacity * 2);
        for (;;) {
            if (stop && stop->load(std::memory_order_relaxed)) {
                m_atEnd = true;
                return false;
            }
            const size_t room = std::min(m_capacity - m_size, kMaxRead);
            const ssize_t got = ::read(m_fd, m_data.get() + m_size, room);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                // A failing device tends to keep failing: stop and keep what was read.
                m_atEnd = true;
                if (got < 0)
                    throw Failure(describeErrno(errno));
                return false;
            }
            m_size += static_cast<size_t>(got);
            // A regular file of known size reads short only at its end (it became shorter),
            // so no further read is needed to see it; a listed one, whose size is not known
            // yet, too.
            if (m_unasked) {
                if (static_cast<size_t>(got) < room)
                    m_atEnd = true;
                else
                    askAfterFullRead();
            } else if (m_sized && (m_size == m_capacity || static_cast<size_t>(got) < room)) {
                m_atEnd = true;
            }
            if (const auto observer = g_afterEachRead.load(std::memory_order_relaxed))
                observer();
            return true;
        }
    }

    void close()
    {
        if (m_fd < 0)
            throw Failure("File is not open");
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            throw Failure(describeErrno(errno));
    }

    FileText take()
    {
        if (m_mapped)
            return FileText(std::move(m_mapped));
        return FileText(std::move(m_data), m_size);
    }

private:
    void reserve(size_t capacity)
    {
        FileBuffer bigger = takeBuffer(capacity);
        if (m_size > 0)
            std::memcpy(bigger.get(), m_data.get(), m_size);
        m_data = std::move(bigger);
        m_capacity = capacity;
    }

    static constexpr size_t kLargePacked = size_t(4) << 20;
    // Enough to tell a tar archive by its header.
    static constexpr size_t kHeadBytes = 512;
    // Reads of 16 MiB let a stop end the reading of a huge file within milliseconds.
    static constexpr size_t kMaxRead = size_t(1) << 24;
    // What a listed file's first read asks for: most files are smaller.
    static constexpr size_t kFirstRead = size_t(64) << 10;
    FileBuffer m_data;
    std::unique_ptr<MappedFile> m_mapped;
    size_t m_size = 0;
    size_t m_capacity = 0;
    int m_fd = -1;
    int m_openError = 0;
    struct stat m_info {};
    bool m_sized = false;
    bool m_atEnd = false;
    bool m_mayMap = false;
    bool m_unasked = false; // a listed file, not yet asked for its size
};

} // namespace

void setAfterEachRead(void (*observer)())
{
    g_afterEachRead.store(observer, std::memory_order_relaxed);
}

size_t setMapAbove(size_t bytes)
{
    return g_mapAbove.exchange(bytes, std::memory_order_relaxed);
}

FileText readPieces(const std::string &path, ErrorReporter &reporter, ReadRule rule,
                    const std::atomic<bool> *stop, bool mayMap, bool settleLater, bool *folder,
                    bool listed)
{
    Steps steps(reporter, "ExtractState", "ReadFileToStringFSO");
    Reader reader;

    // Step 100 (creating the reader) and 106 (the piece counter) cannot fail. The file is
    // opened first: only when that fails does step 102 look the path up on its own, which
    // spares one lookup per file.
    const bool opened = reader.tryOpen(path, listed) == 0;
    if (folder)
        *folder = reader.folder();
    steps.step(102, [&] {
        struct stat info {};
        if (!opened && ::stat(path.c_str(), &info) != 0)
            throw Failure(describeErrno(errno));
    });
    steps.step(104, [&] { reader.open(mayMap); });
    // Nothing has been read yet, so the first read tells an empty file apart.
    const bool atEnd = steps.test(108, [&] { return !reader.readMore(stop); });
    // Step 110, the one empty piece, is what an empty buffer gives anyway.
    if (!atEnd) {
        // Pieces are cut from the one buffer afterwards, so the loop only reads. A read error
        // ends it, keeping what was read.
        steps.step(116, [&] {
            while (reader.readMore(stop)) {
            }
        });
    }
    steps.step(120, [&] { reader.close(); });
    FileText text = reader.take();
    if (rule == ReadRule::Automatic)
        text.recognise(settleLater);
    return text;
}

} // namespace engine
