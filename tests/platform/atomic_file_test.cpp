#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_open.h"
#include "platform/write_check.h"
#include "support/file_size_limit.h"
#include "support/folder_sync_failure.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using namespace std::string_literals;
using testing::ReadFileBytes;
using testing::TempDir;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::size_t OpenDescriptors() {
  const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

mode_t PermissionsOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(AtomicFile, CreatesAndReplacesFilesLeavingNoTemporaryFiles) {
  TempDir dir;
  const std::string path = dir.File("settings.ini");
  const mode_t previousMask = umask(027);
  const Status created = WriteFileAtomically(path, "first\0bytes"s);
  umask(previousMask);
  ASSERT_TRUE(created) << created.message();
  EXPECT_EQ(PermissionsOf(path), 0640u);

  ASSERT_TRUE(WriteFileAtomically(path, "second"));
  EXPECT_EQ(ReadFileBytes(path), "second");
  ASSERT_TRUE(WriteFileAtomically(path, ""));
  EXPECT_EQ(ReadFileBytes(path), "");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"settings.ini"});
}

TEST(AtomicFile, KeepsThePermissionBitsOfTheFileItReplaces) {
  TempDir dir;
  const std::string path = dir.Write("project.prj", "old");
  ASSERT_EQ(chmod(path.c_str(), 0604), 0);
  ASSERT_TRUE(WriteFileAtomically(path, "new"));
  EXPECT_EQ(PermissionsOf(path), 0604u);
}

// A link planted where the program writes (at the log, say, or a project's
// .prh) must not carry what it writes to the link's target.
TEST(AtomicFile, NeverWritesThroughASymbolicLinkAndSaysWhy) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("real"));
  const std::string target = dir.Write("real/target.ini", "old");
  ASSERT_EQ(symlink("real/target.ini", dir.File("relative-link").c_str()), 0);
  ASSERT_EQ(symlink(dir.File("relative-link").c_str(), dir.File("chained-link").c_str()), 0);
  ASSERT_EQ(symlink("real/not-yet.ini", dir.File("dangling-link").c_str()), 0);

  for (const char* link : {"relative-link", "chained-link", "dangling-link"}) {
    const Status written = WriteFileAtomically(dir.File(link), "through the link");
    ASSERT_FALSE(written.ok()) << link;
    EXPECT_EQ(written.message(), "Cannot write \"" + dir.File(link) +
                                     "\": it is a symbolic link, and Postrider writes no file "
                                     "through one");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File(link))) << link;
    // Nor does the check made before a run pass it.
    const Status checked = CheckCanWrite(dir.File(link), true);
    EXPECT_EQ(checked.message(), written.message());
  }
  EXPECT_EQ(ReadFileBytes(target), "old");
  EXPECT_FALSE(std::filesystem::exists(dir.File("real/not-yet.ini")));
  EXPECT_EQ(FolderEntries(dir.File("real")), std::vector<std::string>{"target.ini"});
}

TEST(AtomicFile, FailedWriteNamesThePathAndTheReason) {
  TempDir dir;
  dir.Write("folder", "a file where a folder should be");
  const std::string path = dir.File("folder/settings.ini");
  const Status status = WriteFileAtomically(path, "bytes");
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
  EXPECT_NE(status.message().find("Not a directory"), std::string::npos) << status.message();

  std::filesystem::create_directory(dir.File("a-folder"));
  const Status overFolder = WriteFileAtomically(dir.File("a-folder"), "bytes");
  EXPECT_FALSE(overFolder.ok());
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a-folder")));
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"a-folder", "folder"}));
}

// A file size limit makes write() fail part way, as a full disk would.
TEST(AtomicFile, FailedWriteLeavesTheOldFileIntact) {
  TempDir dir;
  const std::string path = dir.Write("project.prj", "[Settings]\nMessageFile=old.txt\n");
  const Status status = [&] {
    const testing::FileSizeLimit limit(16);
    return WriteFileAtomically(path, std::string(4096, 'x'));
  }();

  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
  EXPECT_NE(status.message().find("File too large"), std::string::npos) << status.message();
  EXPECT_EQ(ReadFileBytes(path), "[Settings]\nMessageFile=old.txt\n");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"project.prj"});
}

// A new name is on disk only once its folder is: a save whose folder could
// not be put on disk is not told as done, and the file that names the others
// is not renamed ahead of them. A file system that cannot sync folders at
// all (EINVAL, or EROFS as some say it) is no failure.
TEST(AtomicFile, ASaveWhoseFolderCannotBeSyncedIsNotToldAsDone) {
  for (const int error : {EIO, EINVAL, EROFS}) {
    SCOPED_TRACE(error);
    TempDir dir;
    std::filesystem::create_directory(dir.File("lists"));
    const std::string entries = dir.Write("lists/june.prh", "old marks");
    const std::string project = dir.Write("june.prj", "old project");
    Status single = Status::Ok();
    Status group = Status::Ok();
    {
      const testing::FolderSyncFailure failing(error);
      single = WriteFileAtomically(dir.File("settings.ini"), "new settings");
      AtomicFileGroup save;
      ASSERT_TRUE(save.Write(entries, "new marks").ok());
      ASSERT_TRUE(save.Write(project, "new project").ok());
      group = save.Commit();
      EXPECT_GT(testing::FolderSyncFailure::failed(), 0);
    }
    if (error != EIO) {
      EXPECT_TRUE(single.ok()) << single.message();
      EXPECT_TRUE(group.ok()) << group.message();
      EXPECT_EQ(ReadFileBytes(project), "new project");
      continue;
    }
    EXPECT_EQ(single.message(), "Cannot write \"" + dir.File("settings.ini") + "\": " +
                                    DescribeWriteError(EIO));
    EXPECT_EQ(group.message(), "Cannot write \"" + entries + "\": " + DescribeWriteError(EIO));
    EXPECT_EQ(ReadFileBytes(project), "old project");
  }
}

// A Save replaces its files as a group: a failure writing any of them leaves
// every old one as it was; a committed group renames and removes in order.
TEST(AtomicFile, AGroupReplacesNothingUntilEveryFileIsWrittenThenAllInOrder) {
  TempDir dir;
  const std::string marks = dir.Write("p.prh", "old marks");
  const std::string project = dir.Write("p.prj", "old project");
  const std::string sent = dir.Write("p.prh.sent", "old addresses");
  // The files stay open from Write to Commit: neither path may leak them.
  const std::size_t descriptors = OpenDescriptors();
  {
    AtomicFileGroup group;
    ASSERT_TRUE(group.Write(marks, "new marks"));
    const Status failed = group.Write(dir.File("missing/p.prj"), "new project");
    EXPECT_NE(failed.message().find(dir.File("missing/p.prj")), std::string::npos);
  }
  EXPECT_EQ(ReadFileBytes(marks), "old marks");
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"p.prh", "p.prh.sent", "p.prj"}));
  EXPECT_EQ(OpenDescriptors(), descriptors);

  AtomicFileGroup group;
  ASSERT_TRUE(group.Write(marks, "new marks"));
  ASSERT_TRUE(group.WritePieces(sent, [](const AtomicFileGroup::PieceSink&) { return false; }));
  ASSERT_TRUE(group.WritePieces(project, [](const AtomicFileGroup::PieceSink& put) {
    put("new ");
    put("project");
    return true;
  }));
  EXPECT_EQ(ReadFileBytes(project), "old project");
  ASSERT_TRUE(group.Commit());
  EXPECT_EQ(ReadFileBytes(marks), "new marks");
  EXPECT_EQ(ReadFileBytes(project), "new project");
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"p.prh", "p.prj"}));
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST(AtomicFile, ReadsWholeFilesAndNamesWhatCannotBeRead) {
  TempDir dir;
  const std::string bytes = "a\0b\r\n"s + std::string(200000, 'z');
  const std::string path = dir.Write("data", bytes);
  const Result<std::string> read = ReadWholeFile(path);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, bytes);

  const Result<std::string> missing = ReadWholeFile(dir.File("missing"));
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find(dir.File("missing")), std::string::npos);
  EXPECT_NE(missing.status().message().find("No such file or directory"), std::string::npos);

  const Result<std::optional<std::string>> absent = ReadFileIfPresent(dir.File("missing"));
  ASSERT_TRUE(absent.ok());
  EXPECT_FALSE(absent->has_value());
  EXPECT_FALSE(ReadFileIfPresent(dir.path()).ok());

  // A sparse file of 10 GB costs no disk, but read whole it would exhaust
  // memory (or abort on a failed allocation): refused, naming the path.
  const std::string huge = dir.File("huge");
  ASSERT_EQ(truncate(dir.Write("huge", "").c_str(), std::int64_t{10} << 30), 0);
  for (const Status& refused :
       {ReadWholeFile(huge).status(), ReadFileIfPresent(huge).status()}) {
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find(huge), std::string::npos) << refused.message();
    EXPECT_NE(refused.message().find("larger than 256 MB"), std::string::npos)
        << refused.message();
  }
}

}  // namespace
}  // namespace postrider
