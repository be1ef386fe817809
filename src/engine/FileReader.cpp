#include "FileReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

Pieces::Pieces(std::string_view bytes) : m_data(new char[bytes.size()]), m_size(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(m_data.get(), bytes.data(), bytes.size());
}

namespace {

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

    // Anything but a regular file is refused before a read could wait on it; O_NONBLOCK keeps
    // the open itself from waiting on a FIFO without writer.
    void open(const std::string &path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw Failure(describeErrno(errno));
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            const int error = errno;
            ::close(fd);
            throw Failure(describeErrno(error));
        }
        if (S_ISDIR(info.st_mode)) {
            ::close(fd);
            throw Failure("Path is a folder, not a file");
        }
        if (!S_ISREG(info.st_mode)) {
            ::close(fd);
            throw Failure("Not a regular file (FIFO, socket or device)");
        }
        m_fd = fd;
        // One spare byte lets the read that fills the file also see its end.
        reserve(info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 4096);
    }

    // Reads one more block; returns false at the end of the file.
    bool readMore()
    {
        if (m_fd < 0)
            throw Failure("File is not open");
        if (m_atEnd)
            return false;
        // The file may have grown since it was measured.
        if (m_size == m_capacity)
            reserve(m_capacity * 2);
        for (;;) {
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

    Pieces take() { return Pieces(std::move(m_data), m_size); }

private:
    void reserve(size_t capacity)
    {
        std::unique_ptr<char[]> bigger(new char[capacity]);
        if (m_size > 0)
            std::memcpy(bigger.get(), m_data.get(), m_size);
        m_data = std::move(bigger);
        m_capacity = capacity;
    }

    static constexpr size_t kMaxRead = size_t(1) << 30;
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
    size_t m_capacity = 0;
    int m_fd = -1;
    bool m_atEnd = false;
};

} // namespace

Pieces ReadFileToStringFSO(const std::string &path, ErrorReporter &reporter)
{
    Steps steps(reporter, "ExtractState", "ReadFileToStringFSO");
    Reader reader;

    // Step 100 (creating the reader) and 106 (the piece counter) cannot fail.
    steps.step(102, [&] {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            throw Failure(describeErrno(errno));
    });
    steps.step(104, [&] { reader.open(path); });
    // Nothing has been read yet, so the first read tells an empty file apart.
    const bool atEnd = steps.test(108, [&] { return !reader.readMore(); });
    // Step 110, the one empty piece, is what an empty buffer gives anyway.
    if (!atEnd) {
        // Pieces are cut from the one buffer afterwards, so the loop only reads. A read error
        // ends it, keeping what was read.
        steps.step(116, [&] {
            while (reader.readMore()) {
            }
        });
    }
    steps.step(120, [&] { reader.close(); });
    return reader.take();
}

} // namespace engine
