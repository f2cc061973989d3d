// What the control channel's contract tests share: a runtime directory and a
// diagnostics log of their own for every test, the library loaded after both
// are set, and the endpoints of this process found there.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/kit/channel_client.h"
#include "tests/support/test_host.h"

namespace channeltest {

inline bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}
inline unsigned Mode(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class Channel : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("XDG_SESSION_ID");
    char pattern[] = "/tmp/wedgesim-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    runtime = pattern;
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    log = runtime + "/diagnostics.log";
    setenv("WEDGESIM_LOG", log.c_str(), 1);
    host = std::make_unique<testhost::TestHost>();
  }
  void TearDown() override {
    host.reset();
    std::filesystem::remove_all(runtime);
  }
  // The endpoints of process `pid` in the runtime directory.
  std::vector<std::string> Endpoints(long pid = getpid()) const {
    return hostkit::EndpointPaths(runtime + "/wedgesim", pid);
  }
  // Opens the device and finds its endpoint, which must be this process's only one.
  void OpenWithEndpoint() {
    ASSERT_TRUE(host->OpenDevice());
    const std::vector<std::string> found = Endpoints();
    ASSERT_EQ(found.size(), 1u);
    endpoint = found.front();
  }
  std::vector<std::u16string> Data() const {
    std::vector<std::u16string> data;
    for (const auto& event : host->connection.events()) data.push_back(event.data);
    return data;
  }
  std::string Log() const {
    std::ifstream in(log);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string runtime, log, endpoint;
  std::unique_ptr<testhost::TestHost> host;
};

}  // namespace channeltest
