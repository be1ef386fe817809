#pragma once

#include "run/SearchWorkers.h"

#include <atomic>
#include <string_view>

namespace run {

// Searches a compressed file or an archive held in bytes with the plan, member by member in
// archive order, into outcome's members, each a part of a few megabytes at a time so that the
// text it holds is never held whole. A member that is itself compressed is decompressed; one
// that cannot be read is reported in its place, and the search goes on with the next. A set
// stop flag ends the search at the next part.
void searchPacked(std::string_view bytes, const SearchPlan &plan, SearchWorkers::Outcome &outcome,
                  const std::atomic<bool> *stop);

} // namespace run
