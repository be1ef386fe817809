#pragma once

#include "run/SearchWorkers.h"

#include <atomic>
#include <cstddef>
#include <string_view>

namespace run {

// Searches a compressed file or an archive held in bytes with the plan, member by member in
// archive order, into outcome's members, each a part of a few megabytes at a time so that the
// text it holds is never held whole. A member that is itself compressed is decompressed; one
// that cannot be read is reported in its place, and the search goes on with the next. A set
// stop flag ends the search at the next part. A file of a few megabytes or more is
// decompressed on a thread of its own beside the search.
void searchPacked(std::string_view bytes, const SearchPlan &plan, SearchWorkers::Outcome &outcome,
                  const std::atomic<bool> *stop);

// Sets the size from which a file is decompressed beside its search (2 MiB unless set), so
// that a test can have small files read that way; returns the size it had.
size_t setPipedFrom(size_t bytes);

} // namespace run
