// Whose the endpoint is, and where: two copies of the library in one process
// each keep their own, and a rename race cannot put one outside the
// directory the library checked.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "host/kit/channel_client.h"
#include "tests/contract/channel_fixture.h"

namespace {

using namespace channeltest;
using hostkit::ChannelClient;

// The sockets in the directory held as `directory`, wherever it is now.
int Sockets(int directory) {
  DIR* entries = fdopendir(dup(directory));
  if (entries == nullptr) return -1;
  rewinddir(entries);  // the duplicate shares the position of earlier reads
  int count = 0;
  while (const dirent* entry = readdir(entries)) {
    struct stat st {};
    if (fstatat(directory, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st.st_mode))
      ++count;
  }
  closedir(entries);
  return count;
}

// A host that loads the library twice under two paths, as a plug-in host
// may: each copy's device has an endpoint of its own that serves its own
// host, the command's lookup finds both, and one copy's Close leaves the
// other's endpoint alone.
TEST_F(Channel, TwoCopiesOfTheLibraryInOneProcessKeepAnEndpointEach) {
  const std::string copy =
      runtime + "/copy-" + std::filesystem::path(testhost::LibraryPath()).filename().string();
  std::filesystem::copy_file(testhost::LibraryPath(), copy);
  hostkit::AddInSession second(copy);
  ASSERT_TRUE(second.ok()) << second.error();
  OpenWithEndpoint();
  const std::string first = endpoint;
  ASSERT_TRUE(second.OpenDevice());
  const std::vector<std::string> both = Endpoints();
  ASSERT_EQ(both.size(), 2u) << "the second copy took the first one's endpoint";
  const std::string other = both[0] == first ? both[1] : both[0];
  for (const auto& [path, barcode] : {std::pair{first, "one"}, std::pair{other, "two"}}) {
    ChannelClient client(path);
    ASSERT_TRUE(client.ReadLine()) << path;
    EXPECT_EQ(client.Ask(std::string("SCAN ") + barcode), "OK 3");
  }
  EXPECT_EQ(Data(), (std::vector<std::u16string>{u"one"}));
  ASSERT_EQ(second.connection.events().size(), 1u);
  EXPECT_EQ(second.connection.events()[0].data, u"two");
  std::size_t live = 0;
  for (const auto& found : hostkit::FindEndpoints())
    live += found.pid == static_cast<long>(getpid()) && found.live() ? 1 : 0;
  EXPECT_EQ(live, 2u);

  ASSERT_TRUE(second.CloseDevice());
  EXPECT_EQ(Endpoints(), std::vector<std::string>{first});
  ChannelClient client(first);
  ASSERT_TRUE(client.ReadLine());
  EXPECT_EQ(client.Ask("SCAN 1"), "OK 1");
  ASSERT_TRUE(host->CloseDevice());
  EXPECT_TRUE(Endpoints().empty());
}

// XDG_RUNTIME_DIR whose parent another user can write: that user swaps the
// checked directory for one of theirs (open to all, with a "wedgesim" inside
// it) and back, as fast as it can, while the device opens and closes. The
// endpoint is made in the directory that was checked or not at all, never in
// the other one.
TEST_F(Channel, ARenameRaceCannotPutTheEndpointOutsideTheCheckedDirectory) {
  // Without /proc the socket is bound by path and refused when the race moved
  // it; the file bound there, never listened on, may stay.
  if (access("/proc/self/fd", F_OK) != 0) GTEST_SKIP() << "needs /proc";
  const std::string run = runtime + "/run", decoy = runtime + "/decoy";
  ASSERT_EQ(mkdir(run.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((run + "/wedgesim").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(decoy.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((decoy + "/wedgesim").c_str(), 0700), 0);
  ASSERT_EQ(chmod(decoy.c_str(), 0777), 0);
  ASSERT_EQ(chmod((decoy + "/wedgesim").c_str(), 0777), 0);
  const int checked = open((run + "/wedgesim").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int other = open((decoy + "/wedgesim").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(checked, 0);
  ASSERT_GE(other, 0);
  setenv("XDG_RUNTIME_DIR", run.c_str(), 1);

  std::atomic<bool> racing{true};
  std::thread swapper([&] {
    while (racing.load())
      syscall(SYS_renameat2, AT_FDCWD, run.c_str(), AT_FDCWD, decoy.c_str(), RENAME_EXCHANGE);
  });
  int strays = 0, inChecked = 0;
  bool called = true;
  for (int i = 0; i < 1500 && called; ++i) {
    called = host->OpenDevice();
    strays += Sockets(other);
    inChecked += Sockets(checked) > 0 ? 1 : 0;
    called = host->CloseDevice() && called;
  }
  racing = false;
  swapper.join();
  EXPECT_TRUE(called) << "Open and Close succeed whatever the race";
  EXPECT_EQ(strays, 0) << "opens that put the endpoint in the other user's directory";
  EXPECT_GT(inChecked, 0) << "the race never let the endpoint into its own directory";
  EXPECT_EQ(Sockets(checked), 0) << "Close removed it";
  close(checked);
  close(other);
}

}  // namespace
