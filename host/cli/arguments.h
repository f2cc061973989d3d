// Checks of what the command line hands to the commands, made before anything
// is loaded, so a mistake is a usage error (status 2) and nothing else happens.
#pragma once

#include <string>
#include <string_view>

namespace cli {

// "ctrl,shift" (or "ctrl+shift") as an X modifier mask: shift ShiftMask (1),
// ctrl ControlMask (4), alt Mod1Mask (8), super Mod4Mask (64). Throws
// CliError(kExitUsage) naming a modifier it does not know.
unsigned ModifierMask(const std::string& names);

// Whether `text` is Base64 in the standard alphabet: A-Z, a-z, 0-9, '+' and
// '/', with optional '=' padding (one or two, filling the last group of four)
// at the end, and nothing else, blanks included.
bool IsBase64(std::string_view text);

// Throws CliError(kExitUsage) when `text`, given to `option`, is not Base64.
void RequireBase64(const std::string& text, const std::string& option);

}  // namespace cli
