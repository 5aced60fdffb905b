// postrider-cli send stopped by real signals at random moments, each time
// followed by a resumed run, against a real server that records every message.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_runner.h"
#include "support/scripted_smtp_server.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::AsOrdinaryUser;
using testing::CliOptions;
using testing::CliRun;
using testing::ReadFileBytes;
using testing::ScriptedSmtpServer;
using testing::TempDir;
namespace fs = std::filesystem;

std::string Address(int i) { return "member" + std::to_string(i) + "@example.com"; }

int MessagesTo(const std::map<std::string, int>& received, const std::string& address) {
  const auto found = received.find(address);
  return found == received.end() ? 0 : found->second;
}

// The seed the moments come from; POSTRIDER_KILL_SEED replays another.
unsigned Seed() {
  const char* seed = std::getenv("POSTRIDER_KILL_SEED");
  return seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20240611u;
}

class SendSurvivesKillTest : public ::testing::Test {
 protected:
  // A project of `entries` selected members in folder `name`.
  void WriteProject(int entries, const std::string& server, const std::string& name = "project") {
    fs::create_directories(dir.File(name));
    std::string list = "Name\tEmail\n";
    for (int i = 0; i < entries; ++i) list += "Member " + std::to_string(i) + "\t" + Address(i) + "\n";
    dir.Write(name + "/members.txt", list);
    dir.Write(name + "/letter.txt", "To: \nFrom:  \nSubject: Spring programme\nDear [[Name]],\n"
                                    "our spring programme is out.\n");
    dir.Write(name + "/members.prh", std::string(32000, '\x80'));
    project = dir.Write(name + "/members.prj",
                        "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
                        "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=members.prh\n"
                        "LastIndexSent=0\n");
    settings = dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\nReturnAddress="
                                         "library@example.com\nSMTPServer=" + server + "\nLog=0\n");
  }

  CliRun Cli(const std::vector<std::string>& args, CliOptions options = {}) {
    options.environment.push_back("XDG_STATE_HOME=" + dir.File("state"));
    return testing::RunPostriderCli(args, dir.path(), options);
  }

  // One send, with `signal` sent `delay` after it starts (none when 0).
  CliRun SendWith(int signal, std::chrono::milliseconds delay) {
    CliOptions options;
    if (signal != 0) {
      options.whileRunning = [signal, delay](pid_t pid) {
        std::this_thread::sleep_for(delay);
        kill(pid, signal);  // one that has ended already is a zombie until it is waited for
      };
    }
    CliRun run = Cli({"send", project, "--settings", settings, "--resume"}, options);
    // The recipients it says may get the message twice.
    static const std::regex named(R"(Entry \d+ \(([^)]*)\) had been handed to the server)");
    for (std::sregex_iterator it(run.err.begin(), run.err.end(), named), end; it != end; ++it) {
      ++namedTwice[(*it)[1]];
    }
    return run;
  }

  // Runs without a signal until one reaches the end of the list. A project
  // whose every entry is sent is done: a send from there starts over.
  void FinishTheRun(int entries) {
    if (StatusColumn() == std::string(static_cast<std::size_t>(entries), '1')) return;
    for (int attempt = 0; attempt < 3; ++attempt) {
      const CliRun run = SendWith(0, {});
      if (run.exitCode == 0) return;
      ADD_FAILURE() << "a run without a signal ended with " << run.exitCode << ":\n" << run.err;
    }
  }

  std::string StatusColumn() {
    std::string statuses;
    const std::string out = Cli({"entries", project}).out;
    for (std::size_t line = 0; line < out.size(); line = out.find('\n', line) + 1) {
      const std::size_t tab = out.find('\t', out.find('\t', line) + 1);
      statuses += out[tab + 1];
    }
    return statuses;
  }

  TempDir dir;
  std::string project;
  std::string settings;
  std::map<std::string, int> namedTwice;
};

TEST_F(SendSurvivesKillTest, KilledAtRandomMomentsNobodyIsLostAndOnlyNamedRecipientsGetTwo) {
  constexpr int kEntries = 400;
  constexpr int kKills = 24;
  // Each message waits a little for its answer, so a kill can land anywhere:
  // opening, connecting, mid-message, waiting for an answer, saving.
  ScriptedSmtpServer server({.delays = {{".", 0.02}}});
  WriteProject(kEntries, server.address());
  const unsigned seed = Seed();
  SCOPED_TRACE("POSTRIDER_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(5, 250);

  int kills = 0;
  bool finished = false;
  for (int attempt = 0; attempt < 3 * kKills && kills < kKills && !finished; ++attempt) {
    const CliRun run = SendWith(SIGKILL, std::chrono::milliseconds(moment(random)));
    if (run.exitCode == 128 + SIGKILL) {
      ++kills;
    } else {
      // A kill after the last message, before the run's end: the next one
      // finds nobody left and says so.
      const bool nothingLeft =
          run.exitCode == 2 && run.err.find("There is nothing to resume") != std::string::npos;
      ASSERT_TRUE(run.exitCode == 0 || nothingLeft) << run.exitCode << "\n" << run.err;
      finished = true;
    }
  }
  EXPECT_GE(kills, 20);
  FinishTheRun(kEntries);

  const std::map<std::string, int> received = server.MessagesPerRecipient();
  int duplicates = 0;
  for (int i = 0; i < kEntries; ++i) {
    const auto found = received.find(Address(i));
    ASSERT_NE(found, received.end()) << Address(i) << " was never mailed";
    const int extra = found->second - 1;
    const auto named = namedTwice.find(Address(i));
    const int timesNamed = named == namedTwice.end() ? 0 : named->second;
    duplicates += extra;
    EXPECT_LE(extra, timesNamed) << Address(i) << " got " << found->second
                                 << " messages but was named " << timesNamed << " times";
  }
  EXPECT_EQ(received.size(), static_cast<std::size_t>(kEntries));
  EXPECT_LE(duplicates, kills);
  std::printf("%d kills; %zu recipients named as possibly mailed twice; %d mailed twice\n", kills,
              namedTwice.size(), duplicates);
  EXPECT_EQ(StatusColumn(), std::string(kEntries, '1'));
  EXPECT_FALSE(fs::exists(project + ".journal"));
}

TEST_F(SendSurvivesKillTest, SigtermAndSighupEndTheRunCleanlyAndNobodyGetsTwo) {
  constexpr int kEntries = 150;
  ScriptedSmtpServer server({.delays = {{".", 0.02}}});
  WriteProject(kEntries, server.address());
  const unsigned seed = Seed();
  SCOPED_TRACE("POSTRIDER_KILL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(20, 250);

  int paused = 0;
  for (int n = 0; n < 10; ++n) {
    const int signal = n % 2 == 0 ? SIGTERM : SIGHUP;
    const CliRun run = SendWith(signal, std::chrono::milliseconds(moment(random)));
    if (run.exitCode == 0) break;  // it got to the end first
    // Either it took the signal as Pause and saved (exit 2 when that was
    // before the server was reached), or the signal came before the program
    // could catch it, when it had sent nothing.
    if (run.exitCode == 1 || run.exitCode == 2) {
      ++paused;
      EXPECT_NE(run.err.find("Paused at entry"), std::string::npos) << run.err;
      EXPECT_FALSE(fs::exists(project + ".journal")) << "the run ended without its save";
    } else {
      EXPECT_EQ(run.exitCode, 128 + signal) << run.err;
    }
  }
  EXPECT_GT(paused, 0);
  FinishTheRun(kEntries);

  const std::map<std::string, int> received = server.MessagesPerRecipient();
  EXPECT_EQ(received.size(), static_cast<std::size_t>(kEntries));
  for (const auto& [address, count] : received) EXPECT_EQ(count, 1) << address;
  EXPECT_TRUE(namedTwice.empty());
  EXPECT_EQ(StatusColumn(), std::string(kEntries, '1'));
}

TEST_F(SendSurvivesKillTest, AKilledRunsJournalIsAppliedByTheNextCommandThatOpensTheProject) {
  // The server takes the first message and keeps its answer back.
  ScriptedSmtpServer server({.delays = {{".", 30.0}}});
  WriteProject(3, server.address());
  CliOptions options;
  options.whileRunning = [&server](pid_t pid) {
    server.WaitForMessages(1);
    kill(pid, SIGKILL);
  };
  ASSERT_EQ(Cli({"send", project, "--settings", settings}, options).exitCode, 128 + SIGKILL);
  ASSERT_EQ(server.MessageCount(), 1);

  const CliRun entries = Cli({"entries", project});
  EXPECT_EQ(entries.exitCode, 0);
  EXPECT_EQ(entries.err,
            "The last send run of this project did not finish: no message had been accepted by "
            "the server.\n"
            "Entry 0 (" + Address(0) + ") had been handed to the server, but the server's "
            "answer never came. It is marked not sent, so a resumed run sends it again: this one "
            "recipient may get the message twice.\n");
  EXPECT_EQ(StatusColumn(), "000");
  // Looking changes nothing on disk; a command that saves takes it in.
  EXPECT_TRUE(fs::exists(project + ".journal"));
  EXPECT_EQ(Cli({"select", project, "all"}).exitCode, 0);
  EXPECT_FALSE(fs::exists(project + ".journal"));
  EXPECT_EQ(Cli({"entries", project}).err, "");
}

TEST_F(SendSurvivesKillTest, AKilledRunsMarksStayEntryByEntryWhenTheEmailColumnIsDeleted) {
  constexpr int kEntries = 20;
  ScriptedSmtpServer server({.delays = {{".", 0.05}}});
  WriteProject(kEntries, server.address());
  const auto other = [](int i) { return "other" + std::to_string(i) + "@example.com"; };
  // Each member has a second address, in a column after the email field.
  const auto list = [&](bool withEmail, int entries) {
    std::string text = withEmail ? "Name\tEmail\tOther\n" : "Name\tOther\n";
    for (int i = 0; i < entries; ++i) {
      text += "Member " + std::to_string(i) + "\t" + (withEmail ? Address(i) + "\t" : "") +
              other(i) + "\n";
    }
    return text;
  };
  dir.Write("project/members.txt", list(true, kEntries));
  CliOptions options;
  options.whileRunning = [&server](pid_t pid) {
    server.WaitForMessages(10);
    kill(pid, SIGKILL);
  };
  ASSERT_EQ(Cli({"send", project, "--settings", settings}, options).exitCode, 128 + SIGKILL);
  ASSERT_TRUE(fs::exists(project + ".journal"));
  const int reached = server.MessageCount();

  // The Email column deleted, and the last member gone too: entry by entry
  // cannot be trusted either, so nothing is sent and the journal stays.
  dir.Write("project/members.txt", list(false, kEntries - 1));
  const CliRun refused = SendWith(0, {});
  EXPECT_EQ(refused.exitCode, 2) << refused.err;
  EXPECT_NE(refused.err.find("Nothing was sent: the send journal"), std::string::npos)
      << refused.err;
  EXPECT_EQ(server.MessageCount(), reached);
  EXPECT_TRUE(fs::exists(project + ".journal"));

  // The member back: the killed run's marks are kept entry by entry.
  dir.Write("project/members.txt", list(false, kEntries));
  const CliRun resumed = SendWith(0, {});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("applied entry by entry"), std::string::npos) << resumed.err;
  const std::map<std::string, int> received = server.MessagesPerRecipient();
  for (int i = 0; i < kEntries; ++i) {
    const int mailed = MessagesTo(received, Address(i)) + MessagesTo(received, other(i));
    EXPECT_GE(mailed, 1) << "member " << i << " was never mailed";
    EXPECT_LE(mailed, 1 + namedTwice[Address(i)]) << "member " << i << " was mailed twice";
  }
  EXPECT_EQ(StatusColumn(), std::string(kEntries, '1'));
}

TEST_F(SendSurvivesKillTest, AKilledRunsOutcomesAreFoundInTheColumnItMailedOnceEmailIsBack) {
  constexpr int kEntries = 30;
  ScriptedSmtpServer server({.delays = {{".", 0.05}}});
  WriteProject(kEntries, server.address());
  const auto other = [](int i) { return "other" + std::to_string(i) + "@example.com"; };
  const auto list = [&](bool withEmail) {
    std::string text = withEmail ? "Name\tEmail\tOther\n" : "Name\tOther\n";
    for (int i = 0; i < kEntries; ++i) {
      text += "Member " + std::to_string(i) + "\t" + (withEmail ? Address(i) + "\t" : "") +
              other(i) + "\n";
    }
    return text;
  };
  const auto stopAfter = [&server](int messages, int signal) {
    CliOptions options;
    options.whileRunning = [&server, messages, signal](pid_t pid) {
      server.WaitForMessages(messages);
      kill(pid, signal);
    };
    return options;
  };
  dir.Write("project/members.txt", list(true));
  const CliRun paused = Cli({"send", project, "--settings", settings}, stopAfter(5, SIGTERM));
  ASSERT_EQ(paused.exitCode, 1) << paused.err;
  ASSERT_FALSE(fs::exists(project + ".journal"));

  // Paused, the Email column is deleted: the resume mails the column now at
  // its place, the members' other addresses, and is killed.
  dir.Write("project/members.txt", list(false));
  const int before = server.MessageCount();
  const CliRun killed =
      Cli({"send", project, "--settings", settings, "--resume"}, stopAfter(before + 8, SIGKILL));
  ASSERT_EQ(killed.exitCode, 128 + SIGKILL) << killed.err;
  ASSERT_TRUE(fs::exists(project + ".journal"));

  // The Email column back: those the killed run reached are not mailed again.
  dir.Write("project/members.txt", list(true));
  const CliRun resumed = SendWith(0, {});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(resumed.err.find("no longer in the list"), std::string::npos) << resumed.err;
  const std::map<std::string, int> received = server.MessagesPerRecipient();
  for (int i = 0; i < kEntries; ++i) {
    const int mailed = MessagesTo(received, Address(i)) + MessagesTo(received, other(i));
    EXPECT_GE(mailed, 1) << "member " << i << " was never mailed";
    EXPECT_LE(mailed, 1 + namedTwice[Address(i)] + namedTwice[other(i)])
        << "member " << i << " was mailed twice";
  }
  EXPECT_EQ(StatusColumn(), std::string(kEntries, '1'));
  EXPECT_FALSE(fs::exists(project + ".journal"));
}

TEST_F(SendSurvivesKillTest, AProjectInAReadOnlyFolderIsRefusedBeforeAnythingIsSent) {
  ScriptedSmtpServer server;
  WriteProject(3, server.address(), "read-only");
  const CliOptions options = AsOrdinaryUser();
  if (!options.runUnder.empty() && !fs::exists(options.runUnder[0])) GTEST_SKIP() << "no setpriv";
  const std::string folder = dir.File("read-only");
  for (const auto& entry : fs::directory_iterator(folder)) chmod(entry.path().c_str(), 0644);
  chmod(dir.path().c_str(), 0755);
  chmod(settings.c_str(), 0644);
  chmod(folder.c_str(), 0555);
  const std::string before = ReadFileBytes(project) + ReadFileBytes(dir.File("read-only/members.prh"));

  const CliRun run = Cli({"send", project, "--settings", settings}, options);
  chmod(folder.c_str(), 0755);

  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("Cannot write \"" + project + "\": Permission denied"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("nothing was sent"), std::string::npos) << run.err;
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(ReadFileBytes(project) + ReadFileBytes(dir.File("read-only/members.prh")), before);
}

TEST_F(SendSurvivesKillTest, AnUnchangedLetterInAReadOnlyFolderDoesNotStopTheSave) {
  ScriptedSmtpServer server;
  WriteProject(3, server.address());
  const CliOptions options = AsOrdinaryUser();
  if (!options.runUnder.empty() && !fs::exists(options.runUnder[0])) GTEST_SKIP() << "no setpriv";
  fs::create_directories(dir.File("letters"));
  fs::rename(dir.File("project/letter.txt"), dir.File("letters/letter.txt"));
  std::string keys = ReadFileBytes(project);
  keys.replace(keys.find("MessageFile=letter.txt"), 22, "MessageFile=../letters/letter.txt");
  dir.Write("project/members.prj", keys);
  chmod(dir.path().c_str(), 0755);
  chmod(settings.c_str(), 0644);
  chmod(dir.File("letters/letter.txt").c_str(), 0644);
  chmod(dir.File("letters").c_str(), 0555);
  for (const auto& entry : fs::directory_iterator(dir.File("project"))) {
    chmod(entry.path().c_str(), 0666);
  }
  chmod(dir.File("project").c_str(), 0777);

  const CliRun run = Cli({"send", project, "--settings", settings}, options);

  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessageCount(), 3);
  EXPECT_EQ(StatusColumn(), "111");
  EXPECT_FALSE(fs::exists(project + ".journal"));
}

}  // namespace
}  // namespace postrider
