#pragma once

#include "engine/Modes.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace run {

// Returns the fourteen mode captions, in the order the mode list shows them.
const QStringList &modeCaptions();

// Returns the short names of the modes that the command line takes, in the mode list's order
// ("around", "line", "above-1", ...).
const QStringList &modeNames();

// Returns the mode at a position of the mode list, or nothing for a position beyond it (-1:
// no mode chosen).
std::optional<engine::Mode> modeAt(int position);

// Returns the position of a mode in the mode list.
int positionOf(engine::Mode mode);

// Returns the position of the mode with this short name, or -1 when no mode has it.
int positionNamed(const QString &name);

} // namespace run
