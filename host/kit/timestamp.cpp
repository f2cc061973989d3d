#include "host/kit/timestamp.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

namespace hostkit {

std::string UtcTimestamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(now.tv_usec / 1000));
  return text;
}

}  // namespace hostkit
