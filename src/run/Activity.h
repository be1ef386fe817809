#pragma once

namespace run {

// What the program is doing. The window's pointer, the Start/Stop button's caption and the
// file list's refusal of removals all follow from it.
enum class Activity {
    Idle,
    Running, // an extraction run: the Start/Stop button stops it
    Busy,    // a folder scan, a filter or an export of the results
};

} // namespace run
