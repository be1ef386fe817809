#pragma once

#include <cstddef>
#include <memory>

namespace engine {

// Hands a file buffer back for the next file to use: memory the process already has, rather
// than fresh pages that fault in one by one.
struct BufferReturn {
    size_t capacity = 0;
    void operator()(char *data) const;
};
using FileBuffer = std::unique_ptr<char[], BufferReturn>;

// Returns a buffer of at least capacity bytes, reusing one handed back where it fits.
FileBuffer takeBuffer(size_t capacity);

// Returns true when a buffer of capacity bytes is worth taking rather than reading the file
// some other way: a small one, one handed back that fits, or one of a size met several times
// before, which is then likely to be used again. Each large size asked about counts as met.
bool bufferWorthTaking(size_t capacity);

} // namespace engine
