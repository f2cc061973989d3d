#include "host/cli/profile.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "host/cli/errors.h"

namespace cli {

std::string ProfilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/wedgesim/profile";
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0')
    throw CliError(kExitFailed,
                   "neither XDG_CONFIG_HOME nor HOME is set: no place for the profile");
  return std::string(home) + "/.config/wedgesim/profile";
}

void AttachProfile(hostkit::HostConnection& connection, const std::string& path, bool forWriting) {
  std::error_code error;
  if (forWriting)
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  if (error)
    throw CliError(kExitFailed,
                   "cannot create the directory of the profile " + path + ": " + error.message());
  std::string warning;
  connection.AttachProfileFile(path, &warning);
  if (!warning.empty()) std::cerr << "wedgesim: warning: " << warning << '\n';
}

}  // namespace cli
