#include "PackedReader.h"

#include "ArchiveLibrary.h"
#include "Steps.h"

#include <cstring>

namespace engine {

namespace {

bool startsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.substr(0, mark.size()) == mark;
}

// The .lzma format has no signature: its first byte says how the stream was made (0x5D for
// every common tool) and the dictionary size after it is a whole number of kilobytes.
bool looksLikeLzma(std::string_view head)
{
    return head.size() >= 13 && head[0] == '\x5D' && head[1] == '\0';
}

// A tar header carries "ustar" at byte 257; older tar files without it are read as bytes.
bool looksLikeTar(std::string_view head)
{
    return head.size() >= 512 && head.substr(257, 5) == "ustar";
}

// Reads so many bytes of a member at a time that a stop is seen within milliseconds.
constexpr size_t kSourceBlock = size_t(256) << 10;
// A library that keeps asking to be called again is not waited for without end.
constexpr int kMostRetries = 16;

// Loads the archive library the first time it is needed.
const ArchiveLibrary &calls()
{
    return ArchiveLibrary::get();
}

} // namespace

Packing packingOf(std::string_view head)
{
    using namespace std::string_view_literals;
    for (const std::string_view mark :
         {"\x1F\x8B"sv, "BZh"sv,
          "\xFD"
          "7zXZ\0"sv,
          "\x28\xB5\x2F\xFD"sv, "\x04\x22\x4D\x18"sv, "\x02\x21\x4C\x18"sv}) {
        if (startsWith(head, mark))
            return Packing::Compressed;
    }
    if (looksLikeLzma(head))
        return Packing::Compressed;
    for (const std::string_view mark :
         {"PK\x03\x04"sv, "PK\x05\x06"sv, "7z\xBC\xAF\x27\x1C"sv, "!<arch>\n"sv, "070707"sv,
          "070701"sv, "070702"sv, "\xC7\x71"sv, "\x71\xC7"sv}) {
        if (startsWith(head, mark))
            return Packing::Archive;
    }
    return looksLikeTar(head) ? Packing::Archive : Packing::Plain;
}

// The source of a stream inside another, with the block the library reads from.
struct PackedReader::Stream {
    Source source;
    std::string block;

    static la_ssize_t read(archive *reader, void *self, const void **out)
    {
        auto &stream = *static_cast<Stream *>(self);
        stream.block.resize(kSourceBlock);
        *out = stream.block.data();
        // A failure of the outer archive cannot be thrown through the library: it is handed
        // on as the inner one's error.
        try {
            return la_ssize_t(stream.source(stream.block.data(), stream.block.size()));
        } catch (const Failure &failure) {
            calls().setError(reader, EIO, "%s", failure.what());
        } catch (const std::bad_alloc &) {
            calls().setError(reader, ENOMEM, "Out of memory");
        }
        return ARCHIVE_FATAL;
    }
};

PackedReader::PackedReader(std::string_view bytes)
{
    start();
    supportArchives();
    if (calls().openMemory(m_archive, bytes.data(), bytes.size()) != ARCHIVE_OK)
        fail(true);
}

PackedReader::PackedReader(const File &file)
{
    start();
    supportArchives();
    if (calls().openFilename(m_archive, file.path.c_str(), kSourceBlock) != ARCHIVE_OK)
        fail(true);
}

void PackedReader::supportArchives()
{
    calls().supportFormatTar(m_archive);
    calls().supportFormatZip(m_archive);
    calls().supportFormat7zip(m_archive);
    calls().supportFormatCpio(m_archive);
    calls().supportFormatAr(m_archive);
}

PackedReader::PackedReader(Source source) : m_stream(std::make_unique<Stream>())
{
    m_stream->source = std::move(source);
    start();
    if (calls().open(m_archive, m_stream.get(), nullptr, &Stream::read, nullptr) != ARCHIVE_OK)
        fail(true);
}

PackedReader::~PackedReader() = default;

void PackedReader::Free::operator()(archive *reader) const
{
    calls().readFree(reader);
}

void PackedReader::start()
{
    m_owner.reset(calls().readNew());
    m_archive = m_owner.get();
    if (!m_archive)
        throw std::bad_alloc();
    calls().supportFilterAll(m_archive);
    // What no archive format claims is one stream of bytes; an empty one holds nothing.
    calls().supportFormatRaw(m_archive);
    calls().supportFormatEmpty(m_archive);
}

void PackedReader::fail(bool end)
{
    const char *description = calls().errorString(m_archive);
    m_ended = m_ended || end;
    throw Failure(description && *description ? description : "Damaged or truncated data");
}

std::optional<PackedReader::Member> PackedReader::nextMember()
{
    int retries = 0;
    while (!m_ended) {
        archive_entry *entry = nullptr;
        const int status = calls().nextHeader(m_archive, &entry);
        if (status == ARCHIVE_EOF) {
            m_ended = true;
            break;
        }
        if (status == ARCHIVE_RETRY && ++retries < kMostRetries)
            continue;
        if (status == ARCHIVE_FATAL || status == ARCHIVE_RETRY || !entry)
            fail(true);
        if (calls().entryFiletype(entry) != AE_IFREG)
            continue;
        Member member;
        if (calls().format(m_archive) != ARCHIVE_FORMAT_RAW) {
            const char *name = calls().entryPathnameUtf8(entry);
            if (!name)
                name = calls().entryPathname(entry);
            member.name = name ? name : "";
        }
        if (status == ARCHIVE_FAILED) {
            const char *description = calls().errorString(m_archive);
            member.problem = description && *description ? description : "Unreadable member";
        } else if (calls().entryIsEncrypted(entry)) {
            member.problem = "Member is encrypted (password protected)";
        }
        return member;
    }
    return std::nullopt;
}

size_t PackedReader::read(char *out, size_t size)
{
    for (int retries = 0;; ++retries) {
        const la_ssize_t got = calls().readData(m_archive, out, size);
        if (got >= 0)
            return size_t(got);
        // The next member may still be found after one whose data is damaged.
        if (got != ARCHIVE_RETRY || retries >= kMostRetries)
            fail(false);
    }
}

} // namespace engine
