#pragma once

#include "engine/Modes.h"

#include <QStringList>
#include <optional>

namespace shell {

// Returns the fourteen mode captions, in the order the mode list shows them.
const QStringList &modeCaptions();

// Returns the mode at a position of the mode list, or nothing for a position beyond it (-1:
// no mode chosen).
std::optional<engine::Mode> modeAt(int position);

// Returns the position of a mode in the mode list.
int positionOf(engine::Mode mode);

} // namespace shell
