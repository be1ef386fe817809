#pragma once

#include "FileText.h"
#include "Steps.h"
#include "TextFormat.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Reads a whole file as pieces, as numbered steps under the tag
// "ExtractState.ReadFileToStringFSO"; each failing step is reported and the reading goes on. A path
// that cannot be read, or is not a regular file, gives one empty piece and never blocks. With the
// automatic rule the file's encoding and line ends are recognised; a set stop flag ends the
// reading early (what was read is kept). With mayMap set, a large file may be mapped rather
// than copied: check intact() once done with the text. settleLater is passed to
// FileText::recognise(). A path that opens as a folder sets *folder, when given. With listed
// set, the path is one a folder's listing named a regular file just before.
FileText readPieces(const std::string &path, ErrorReporter &reporter,
                    ReadRule rule = ReadRule::Automatic, const std::atomic<bool> *stop = nullptr,
                    bool mayMap = false, bool settleLater = false, bool *folder = nullptr,
                    bool listed = false);

// Sets a function called after each read of a file's bytes (null for none), so that a test can
// change a file between two reads.
void setAfterEachRead(void (*observer)());

// Sets the size above which a file readPieces() may map is mapped (64 MiB unless set), so that
// a test can have small files mapped; returns the size it had.
size_t setMapAbove(size_t bytes);

} // namespace engine
