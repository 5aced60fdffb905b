// The disk fills up, as people meet it: the project (its files, its send
// journal) and the send log each on a small file system of their own that a
// filler file takes up, before or during a real postrider-cli send against a
// real server. Whatever the moment, the command says what failed and why,
// leaves the user's files whole, and once there is room again a resumed run
// mails everyone selected exactly once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/scripted_smtp_server.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::CliOptions;
using testing::CliRun;
using testing::ReadFileBytes;
using testing::ScriptedSmtpServer;
using testing::TempDir;
namespace fs = std::filesystem;

constexpr const char* kNoSpace = "No space left on device";

// A tmpfs mounted on folder for as long as the object lives.
class SmallDisk {
 public:
  SmallDisk(std::string folder, const std::string& options) : folder_(std::move(folder)) {
    fs::create_directories(folder_);
    if (mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      problem_ = std::strerror(errno);
    }
  }
  ~SmallDisk() {
    if (mounted_ && umount2(folder_.c_str(), 0) != 0) umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& problem() const { return problem_; }

  std::uint64_t FreeBytes() const {
    struct statvfs info {};
    if (statvfs(folder_.c_str(), &info) != 0) return 0;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  }
  // A filler file takes the room up until `leave` bytes are free, or none.
  void Fill(std::uint64_t leave = 0) const {
    const int fd = open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const std::string block(4096, 'f');
    while (fd >= 0 && FreeBytes() > leave && write(fd, block.data(), block.size()) > 0) {
    }
    if (fd >= 0) close(fd);
  }
  // Empty files take every file the file system can still make.
  void UseEveryFileSlot() const {
    fs::create_directories(folder_ + "/slots");
    for (int n = 0;; ++n) {
      const int fd = open((folder_ + "/slots/" + std::to_string(n)).c_str(),
                          O_WRONLY | O_CREAT | O_EXCL, 0600);
      if (fd < 0) break;
      close(fd);
    }
  }
  void MakeRoom() const {
    fs::remove(folder_ + "/filler");
    fs::remove_all(folder_ + "/slots");
  }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string problem_;
};

std::string Address(int i) { return "member" + std::to_string(i) + "@example.com"; }

// The moment the disk is full, and what the send says and does then.
struct Moment {
  const char* name;
  int entries;
  std::uint64_t leaveFree;  // on the project's disk before the run
  // Once the server holds a message, the project's disk takes no new file
  // and, with fillsUp, no more data either.
  bool filesRunOut = false;
  bool fillsUp = false;
  bool logDiskFull = false;
  bool logFillsUp = false;  // the send log's disk, once the server holds a message
  int exitCode;
  std::vector<std::string> said;  // on the error output; {journal}, {state}, {log} stand for paths
  enum class Mailed { Nobody, Some, Everyone } mailed;
};

std::string WithPaths(std::string text, const std::map<std::string, std::string>& paths) {
  for (const auto& [name, path] : paths) {
    for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
      text.replace(at, name.size(), path);
    }
  }
  return text;
}

TEST(FullDiskTest, WhereverTheDiskFillsTheSendSaysWhyKeepsTheFilesAndTheResumeMailsEachOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system (tmpfs) needs root";
  const std::string saveFailed = "The project could not be saved.\n\nCannot write \"{state}\": ";
  const std::string journalFailed = "Cannot write the send journal \"{journal}\": ";
  const std::vector<Moment> moments = {
      {.name = "full before the run",
       .entries = 20,
       .leaveFree = 0,
       .exitCode = 1,
       .said = {journalFailed + kNoSpace +
                    "\nNothing was sent, since the outcomes could not be kept.",
                saveFailed + kNoSpace},
       .mailed = Moment::Mailed::Nobody},
      // Room for a short run's outcomes only: the journal runs out part-way,
      // and the save after it cannot make its new files.
      {.name = "nearly full, the journal runs out during the run and the save fails",
       .entries = 200,
       .leaveFree = 80 * 1024,
       .filesRunOut = true,
       .exitCode = 1,
       .said = {journalFailed + kNoSpace +
                    "\nThe run was stopped, so that no message goes out "
                    "whose outcome could not be kept.",
                saveFailed + kNoSpace,
                "what the run did is kept in the send journal \"{journal}\""},
       .mailed = Moment::Mailed::Some},
      {.name = "fills up during the run, the save at its end fails",
       .entries = 40,
       .leaveFree = 1536 * 1024,
       .filesRunOut = true,
       .fillsUp = true,
       .exitCode = 1,
       .said = {saveFailed + kNoSpace,
                "what the run did is kept in the send journal \"{journal}\""},
       .mailed = Moment::Mailed::Everyone},
      {.name = "the send log's disk is full",
       .entries = 20,
       .leaveFree = 1536 * 1024,
       .logDiskFull = true,
       .exitCode = 0,
       .said = {"The send log \"{log}\" cannot be written: " + std::string(kNoSpace) +
                ". This run goes on without it.\nConnecting..."},
       .mailed = Moment::Mailed::Everyone},
      // The log is no record the run relies on: every mark and the journal stay.
      {.name = "the send log's disk fills during the run",
       .entries = 200,
       .leaveFree = 1536 * 1024,
       .logFillsUp = true,
       .exitCode = 0,
       .said = {"The send log \"{log}\" cannot be written: " + std::string(kNoSpace) +
                ". This run goes on without it."},
       .mailed = Moment::Mailed::Everyone},
  };
  for (const Moment& moment : moments) {
    SCOPED_TRACE(moment.name);
    TempDir dir;
    const SmallDisk disk(dir.File("disk"), "size=4096k,nr_inodes=64");
    const SmallDisk logDisk(dir.File("logs"), "size=256k");
    if (!disk.mounted() || !logDisk.mounted()) {
      GTEST_SKIP() << "cannot mount a tmpfs: " << disk.problem() << logDisk.problem();
    }
    ScriptedSmtpServer server({.delays = {{".", 0.01}}});

    fs::create_directories(dir.File("disk/project"));
    std::string list = "Name\tEmail\n";
    for (int i = 0; i < moment.entries; ++i) {
      list += "Member " + std::to_string(i) + "\t" + Address(i) + "\n";
    }
    const std::map<std::string, std::string> userFiles = {
        {"members.txt", list},
        {"letter.txt", "To: \nFrom:  \nSubject: Spring programme\nDear [[Name]],\n"},
        {"members.prh", std::string(32000, '\x80')},
        {"members.prj",
         "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
         "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=members.prh\n"
         "LastIndexSent=0\n"},
    };
    for (const auto& [name, bytes] : userFiles) dir.Write("disk/project/" + name, bytes);
    const std::string project = dir.File("disk/project/members.prj");
    const std::string settings = dir.Write("settings.ini",
                                           "[Settings]\nRealName=Harbour Library\nReturnAddress="
                                           "library@example.com\nSMTPServer=" +
                                               server.address() + "\nLog=1\n");
    const std::map<std::string, std::string> paths = {
        {"{journal}", project + ".journal"},
        {"{state}", dir.File("disk/project/members.prh")},
        {"{log}", dir.File("logs/state/postrider/postrider.log")}};
    const auto send = [&](const std::vector<std::string>& flags, const CliOptions& options) {
      CliOptions withState = options;
      withState.environment.push_back("XDG_STATE_HOME=" + dir.File("logs/state"));
      std::vector<std::string> args = {"send", project, "--settings", settings};
      args.insert(args.end(), flags.begin(), flags.end());
      return testing::RunPostriderCli(args, dir.path(), withState);
    };

    disk.Fill(moment.leaveFree);
    if (moment.logDiskFull) logDisk.Fill();
    CliOptions options;
    if (moment.logFillsUp) {
      options.whileRunning = [&](pid_t) {
        server.WaitForMessages(1);
        logDisk.Fill();
        EXPECT_LT(server.MessageCount(), moment.entries) << "the run ended before the disk filled";
      };
    }
    if (moment.filesRunOut) {
      options.whileRunning = [&](pid_t) {
        server.WaitForMessages(1);
        disk.UseEveryFileSlot();
        if (moment.fillsUp) disk.Fill();
        EXPECT_LT(server.MessageCount(), moment.entries) << "the run ended before the disk filled";
      };
    }
    const CliRun run = send({}, options);
    EXPECT_EQ(run.exitCode, moment.exitCode) << run.err;
    for (const std::string& text : moment.said) {
      EXPECT_NE(run.err.find(WithPaths(text, paths)), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.out.find("Send Complete!") != std::string::npos,
              moment.mailed == Moment::Mailed::Everyone)
        << run.out;
    const int mailed = server.MessageCount();
    switch (moment.mailed) {
      case Moment::Mailed::Nobody:
        EXPECT_EQ(mailed, 0);
        break;
      case Moment::Mailed::Some:
        EXPECT_GT(mailed, 0);
        EXPECT_LT(mailed, moment.entries);
        break;
      case Moment::Mailed::Everyone:
        EXPECT_EQ(mailed, moment.entries);
        break;
    }
    // Never half written: a failed save leaves every file as it was, and no
    // temporary file behind.
    const bool saved = run.err.find("The project could not be saved.") == std::string::npos;
    for (const auto& [name, bytes] : userFiles) {
      if (saved && (name == "members.prj" || name == "members.prh")) continue;
      EXPECT_EQ(ReadFileBytes(dir.File("disk/project/" + name)), bytes) << name;
    }
    for (const auto& entry : fs::directory_iterator(dir.File("disk/project"))) {
      EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
    }

    disk.MakeRoom();
    logDisk.MakeRoom();
    const CliRun resumed = send({"--resume"}, {});
    EXPECT_EQ(resumed.exitCode, moment.mailed == Moment::Mailed::Everyone ? 2 : 0) << resumed.err;
    EXPECT_EQ(resumed.err.find("had been handed to the server"), std::string::npos) << resumed.err;
    std::map<std::string, int> received = server.MessagesPerRecipient();
    for (int i = 0; i < moment.entries; ++i) EXPECT_EQ(received[Address(i)], 1) << Address(i);
    EXPECT_EQ(received.size(), static_cast<std::size_t>(moment.entries));
    // Each entry's status, the third column: all marked sent.
    const CliRun entries = testing::RunPostriderCli({"entries", project}, dir.path());
    std::string statuses;
    for (std::size_t line = 0; line < entries.out.size(); line = entries.out.find('\n', line) + 1) {
      statuses += entries.out[entries.out.find('\t', entries.out.find('\t', line) + 1) + 1];
    }
    EXPECT_EQ(statuses, std::string(static_cast<std::size_t>(moment.entries), '1')) << entries.err;
    server.Stop();
  }
}

}  // namespace
}  // namespace postrider
