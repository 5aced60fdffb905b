#include "platform/user_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserPaths, FollowAbsoluteXdgFoldersAndOtherwiseHome) {
  ScopedEnv home("HOME", "/home/ann");
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    ScopedEnv state("XDG_STATE_HOME", "/state");
    EXPECT_EQ(SettingsFilePath(), "/cfg/postrider/postrider.ini");
    EXPECT_EQ(SendLogPath(), "/state/postrider/postrider.log");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv state("XDG_STATE_HOME", "");
    EXPECT_EQ(SettingsFilePath(), "/home/ann/.config/postrider/postrider.ini");
    EXPECT_EQ(SendLogPath(), "/home/ann/.local/state/postrider/postrider.log");
  }
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  ScopedEnv state("XDG_STATE_HOME", nullptr);
  EXPECT_EQ(SettingsFilePath(), "/home/ann/.config/postrider/postrider.ini");
  EXPECT_EQ(SendLogPath(), "/home/ann/.local/state/postrider/postrider.log");
}

TEST(UserPaths, EnsureParentFolderCreatesPrivateFoldersOnce) {
  TempDir dir;
  const std::string path = dir.File("a/b/c/postrider.ini");
  const mode_t previousMask = umask(022);
  const Status created = EnsureParentFolder(path);
  umask(previousMask);
  ASSERT_TRUE(created) << created.message();
  struct stat info {};
  ASSERT_EQ(stat(dir.File("a/b/c").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(EnsureParentFolder(path));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(UserPaths, EnsureParentFolderNamesTheFolderItCannotMake) {
  TempDir dir;
  dir.Write("state", "a file");
  const Status status = EnsureParentFolder(dir.File("state/postrider/postrider.log"));
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(dir.File("state")), std::string::npos) << status.message();
  EXPECT_NE(status.message().find("Not a directory"), std::string::npos) << status.message();
}

}  // namespace
}  // namespace postrider
