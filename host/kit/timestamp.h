// Wall-clock times as the host and the command print them.
#pragma once

#include <string>

namespace hostkit {

// The time now in UTC, ISO 8601 with milliseconds: 2026-12-08T20:40:00.123Z.
std::string UtcTimestamp();

}  // namespace hostkit
