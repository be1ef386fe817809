#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct archive;

namespace engine {

// What the first bytes of a file say it holds.
enum class Packing {
    Plain,      // text, or anything else that is searched as its bytes
    Compressed, // one gzip, bzip2, xz, lzma, zstd or lz4 stream (a tar inside one is an archive)
    Archive,    // a zip, 7z, cpio, ar or tar archive
};

// Returns what a file whose bytes start with head holds, from its signature alone.
Packing packingOf(std::string_view head);

// Reads the members of a compressed file or an archive, one after the other. A compressed file
// holds one member with an empty name, unless it turns out to hold a tar, cpio, ar or zip
// archive. Failures are engine::Failure with the library's own description.
class PackedReader {
public:
    // Gives the next bytes of a stream into the buffer it is handed: their count, 0 at the end.
    using Source = std::function<size_t(char *, size_t)>;

    // Names a file to read from its path.
    struct File {
        std::string path; // native
    };

    // Opens bytes held in memory, which must outlive the reader.
    explicit PackedReader(std::string_view bytes);
    // Opens a file, read a block at a time as the members are read, never held whole.
    explicit PackedReader(const File &file);
    // Opens the one compressed stream that source gives: formats are not looked for, so an
    // archive inside it is read as its bytes.
    explicit PackedReader(Source source);
    ~PackedReader();
    PackedReader(const PackedReader &) = delete;
    PackedReader &operator=(const PackedReader &) = delete;

    // One member met in order.
    struct Member {
        std::string name;    // its path inside the archive, empty for a compressed stream
        std::string problem; // why it cannot be read (encrypted, say); empty when it can
    };
    // Moves to the next regular member, passing over folders, links and devices; returns
    // nothing at the end. Throws a Failure when the archive cannot be read further.
    std::optional<Member> nextMember();
    // Reads at most size more bytes of the current member into out; returns 0 at its end.
    size_t read(char *out, size_t size);

    // Holds the source of a stream read inside another, for the library to call.
    struct Stream;

private:
    void start();
    void supportArchives();
    // Throws the library's description of its last failure; with end set, nothing more is read.
    [[noreturn]] void fail(bool end);

    // The source when reading one rather than memory; it outlives the library's reader.
    std::unique_ptr<Stream> m_stream;
    struct Free {
        void operator()(archive *reader) const;
    };
    // Owned from the start, so that a constructor that throws still frees it.
    std::unique_ptr<archive, Free> m_owner;
    archive *m_archive = nullptr;
    bool m_ended = false;
};

} // namespace engine
