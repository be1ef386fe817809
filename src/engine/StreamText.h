#pragma once

#include "FileText.h"
#include "TextFormat.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace engine {

// Turns a stream of bytes (a member of an archive, say) into texts of whole lines, part by part,
// so that a stream of any length is searched in bounded memory. A stream that fits in one part
// is recognised as a file of those bytes is. A longer one is cut after the last line end of
// each part; the first part that holds an LF decides the line ends of every later part, and
// the first that holds a byte of 0x80 or above (or a byte-order mark) their encoding.
class StreamText {
public:
    // Gives the next bytes of the stream into the buffer it is handed: their count, 0 at the
    // end. May throw engine::Failure, which next() passes on.
    using Source = std::function<size_t(char *, size_t)>;

    // Reads from source in parts of partSize bytes; a set stop flag ends the stream early.
    StreamText(Source source, const std::atomic<bool> *stop, size_t partSize = kPartSize);

    // Returns the next part, or nothing once the stream has ended. The first part is always
    // given, empty for an empty stream. A part that is the whole stream is left unsettled
    // (see FileText::recognise()). A failure of the source ends the stream: the bytes read
    // before it are still given, and the next call throws it.
    std::optional<FileText> next();

    // The bytes of one part.
    static constexpr size_t kPartSize = size_t(8) << 20;

private:
    size_t fill(char *data, size_t size);
    size_t cutAfterLastLineEnd(std::string_view bytes) const;
    void decide(const FileText &first);

    Source m_source;
    const std::atomic<bool> *m_stop;
    size_t m_partSize;
    std::string m_carry;
    bool m_started = false;
    bool m_ended = false;
    std::optional<std::string> m_failure;
    // What the first parts decided for the later ones.
    LineEnds m_lineEnds = LineEnds::CrLf;
    bool m_lineEndsDecided = false;
    std::optional<Encoding> m_encoding;
};

} // namespace engine
