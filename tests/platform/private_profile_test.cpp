#include "platform/private_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/profile_file.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

TEST(PrivateProfile, EachCallReadsTheFileAfresh) {
  TempDir dir;
  const std::string path = dir.Write("june.prj", "[Settings]\r\nMessageFile=june.txt\r\n");
  EXPECT_EQ(GetPrivateProfileString("Settings", "MessageFile", "", path), "june.txt");
  EXPECT_EQ(GetPrivateProfileString("Settings", "MessageFile", "", path, 5), "june");
  EXPECT_EQ(GetPrivateProfileInt("Settings", "DBFileType", 0, path), 0);

  dir.Write("june.prj", "[settings]\nDBFileType=1\n");
  EXPECT_EQ(GetPrivateProfileInt("Settings", "DBFileType", 0, path), 1);
  EXPECT_EQ(GetPrivateProfileString("Settings", "MessageFile", "none", path), "none");
}

TEST(PrivateProfile, MissingOrUnreadableFileGivesTheFallback) {
  TempDir dir;
  EXPECT_EQ(GetPrivateProfileString("Settings", "RealName", "fallback", dir.File("none.ini")),
            "fallback");
  EXPECT_EQ(GetPrivateProfileInt("Settings", "CurrentProjectIdx", -1, dir.File("none.ini")), -1);
  EXPECT_EQ(GetPrivateProfileString("Settings", "RealName", "fallback", dir.path()), "fallback");
  EXPECT_EQ(GetPrivateProfileInt("Settings", "Log", 7, dir.path()), 7);
  EXPECT_FALSE(ProfileFile::Load(dir.path()).ok());
}

TEST(PrivateProfile, WritesCreateTheFileAndKeepWhatElseItHolds) {
  TempDir dir;
  const std::string path = dir.File("postrider.ini");
  ASSERT_TRUE(WritePrivateProfileString("Settings", "RealName", " Ann ", path));
  ASSERT_TRUE(WritePrivateProfileString("Settings", "Log", "1", path));
  ASSERT_TRUE(WritePrivateProfileString("Recent File List", "File1", "/home/ann/june.prj", path));
  ASSERT_TRUE(WritePrivateProfileString("settings", "LOG", "0", path));
  EXPECT_EQ(ReadFileBytes(path),
            "[Settings]\nRealName=\" Ann \"\nLog=0\n\n[Recent File List]\nFile1=/home/ann/june.prj\n");
  EXPECT_EQ(GetPrivateProfileString("Settings", "RealName", "", path), " Ann ");
}

TEST(PrivateProfile, FailedWriteNamesThePathAndChangesNothing) {
  TempDir dir;
  dir.Write("config", "a file where a folder should be");
  const std::string unreachable = dir.File("config/postrider.ini");
  const Status status = WritePrivateProfileString("Settings", "Log", "1", unreachable);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(unreachable), std::string::npos) << status.message();

  const std::string path = dir.Write("june.prj", "[Settings]\nDBFile=list.txt\n");
  const Status refused = WritePrivateProfileString("Settings", "DBFile", "a\nb", path);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find(path), std::string::npos) << refused.message();
  EXPECT_EQ(ReadFileBytes(path), "[Settings]\nDBFile=list.txt\n");
}

}  // namespace
}  // namespace postrider
