// The settings profile that survives between runs: where the hotkeys the user
// chose with `set-hotkey` are kept for `listen`, `hotkeys` and `info`.
#pragma once

#include <string>

#include "host/kit/host_connection.h"

namespace cli {

// $XDG_CONFIG_HOME/wedgesim/profile, or $HOME/.config/wedgesim/profile when
// XDG_CONFIG_HOME is unset or not absolute (as the XDG rules say).
std::string ProfilePath();

// Attaches the file to `connection` (loaded now, saved on every write). With
// forWriting its directory is created first (CliError(kExitFailed) when that
// fails); readers leave the disk alone. A bad line is a warning on stderr.
void AttachProfile(hostkit::HostConnection& connection, const std::string& path, bool forWriting);

}  // namespace cli
