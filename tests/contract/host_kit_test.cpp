// The reference host's own settings profile: what the library reads back
// after writing, and what survives in the profile file.
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_host.h"

namespace {

TEST(HostKitProfile, WritesUnderBareNamesAreReadUnderDefaultNamesAndPersist) {
  const auto directory =
      std::filesystem::temp_directory_path() / ("wedgesim-profile-" + std::to_string(getpid()));
  std::filesystem::create_directories(directory);
  const std::string path = (directory / "profile").string();
  {
    hostkit::HostConnection connection;
    ASSERT_TRUE(connection.AttachProfileFile(path));
    const std::u16string name = hostkit::Host("Hotkey1");
    HostVariant value = hostkit::Int(38);
    EXPECT_TRUE(connection.WriteSetting(name.c_str(), &value));
    EXPECT_EQ(connection.profileError(), "");
  }
  hostkit::HostConnection reopened;
  ASSERT_TRUE(reopened.AttachProfileFile(path));
  const std::u16string key = hostkit::Host("Hotkey1:Default");
  HostVariant read = hostkit::Empty();
  long error = 0;
  EXPECT_TRUE(reopened.ReadSetting(key.c_str(), &read, &error, nullptr));
  EXPECT_EQ(read.intValue, 38);

  // A profile that cannot be written says so instead of losing the value silently.
  std::filesystem::remove(path);
  std::filesystem::create_directories(path);  // a directory where the file belongs
  const std::u16string name = hostkit::Host("Modifier1");
  HostVariant value = hostkit::Int(4);
  EXPECT_FALSE(reopened.WriteSetting(name.c_str(), &value));
  EXPECT_NE(reopened.profileError(), "");
  std::filesystem::remove_all(directory);
}

}  // namespace
