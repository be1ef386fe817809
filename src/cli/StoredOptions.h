#pragma once

namespace platform {
class SettingsStore;
}

namespace cli {

class ConsoleReporter;
struct Options;

// Fills in every option of the run that the command line left unset from the window's stored
// settings, as the window restores them at its start (the folder scan takes the stored
// extension). Nothing is written. A stored value the window would refuse is reported, and
// the option takes what the window would take instead.
void takeStoredOptions(platform::SettingsStore &store, Options &options, ConsoleReporter &reporter);

} // namespace cli
