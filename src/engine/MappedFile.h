#pragma once

#include <cstddef>
#include <memory>

namespace engine {

// The bytes of an open regular file, mapped into memory for reading: the cheapest way to look
// at a large file the system already holds in its cache. A file cut shorter while it is mapped
// does not end the program: the pages it lost read as zeros from then on, and damaged() says
// so, so the caller can read the file again the ordinary way.
class MappedFile {
public:
    // Maps size bytes of the file open as fd (size above 0); returns null where the system
    // refuses, or where too many files are mapped at once to be watched.
    static std::unique_ptr<MappedFile> map(int fd, size_t size);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // Returns the mapped bytes.
    const char *data() const { return m_data; }
    // Returns how many bytes are mapped.
    size_t size() const { return m_size; }
    // Returns true when the file is now shorter than what was mapped: the bytes it lost read as
    // zeros.
    bool damaged() const;

private:
    MappedFile(const char *data, size_t size, size_t slot, int fd);

    const char *m_data;
    size_t m_size;
    size_t m_slot;
    int m_fd;
};

} // namespace engine
