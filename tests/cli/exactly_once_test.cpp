// Every selected recipient gets the letter once, as people use the program:
// two commands on one project at once, a send typed twice, a save that
// failed, a list edited between a stop and the resume. Real postrider-cli
// processes against a real server that counts what it received.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/blocking_call.h"
#include "project/postridr_doc.h"
#include "send/send_run.h"
#include "support/cli_runner.h"
#include "support/list_only_wizard_pages.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::AsOrdinaryUser;
using testing::CliOptions;
using testing::CliRun;
using testing::ListOnlyWizardPages;
using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::TempDir;
namespace fs = std::filesystem;

std::string Address(int i) { return "member" + std::to_string(i) + "@example.com"; }

std::vector<std::string> Addresses(int count) {
  std::vector<std::string> addresses;
  for (int i = 0; i < count; ++i) addresses.push_back(Address(i));
  return addresses;
}

// The recipients a command's notices name as possibly mailed twice.
std::vector<std::string> NamedTwice(const std::string& err) {
  static const std::regex named(R"(Entry \d+ \(([^)]*)\) had been handed to the server)");
  std::vector<std::string> names;
  for (std::sregex_iterator it(err.begin(), err.end(), named), end; it != end; ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

// XDG_STATE_HOME of this test's own process, as it was before when it goes.
class StateHomeForThisProcess {
 public:
  explicit StateHomeForThisProcess(const std::string& folder) {
    if (const char* before = std::getenv("XDG_STATE_HOME")) before_ = before;
    setenv("XDG_STATE_HOME", folder.c_str(), 1);
  }
  ~StateHomeForThisProcess() {
    if (before_) {
      setenv("XDG_STATE_HOME", before_->c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
  }
  StateHomeForThisProcess(const StateHomeForThisProcess&) = delete;
  StateHomeForThisProcess& operator=(const StateHomeForThisProcess&) = delete;

 private:
  std::optional<std::string> before_;
};

class ExactlyOnceTest : public ::testing::Test {
 protected:
  // The list of these rows, each "Name\tEmail".
  void WriteRows(const std::vector<std::string>& rows) {
    std::string list = "Name\tEmail\n";
    for (const std::string& row : rows) list += row + "\n";
    dir.Write("project/members.txt", list);
  }
  void WriteList(const std::vector<std::string>& addresses) {
    std::string list = "Name\tEmail\n";
    for (const std::string& address : addresses) {
      list += "Member " + address.substr(0, address.find('@')) + "\t" + address + "\n";
    }
    dir.Write("project/members.txt", list);
  }
  // A project of `entries` members, every one selected, in folder "project".
  void WriteProject(int entries, const std::string& server) {
    fs::create_directories(dir.File("project"));
    WriteList(Addresses(entries));
    dir.Write("project/letter.txt", "To: \nFrom:  \nSubject: Spring programme\nDear [[Name]],\n");
    dir.Write("project/members.prh", std::string(32000, '\x80'));
    project = dir.Write("project/members.prj",
                        "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
                        "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=members.prh\n"
                        "LastIndexSent=0\n");
    settings = dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\nReturnAddress="
                                         "library@example.com\nSMTPServer=" + server + "\nLog=0\n");
  }

  // A command run while another one runs gets output files of its own.
  CliRun Cli(const std::vector<std::string>& args, CliOptions options = {},
             const std::string& scratch = "outer") const {
    options.environment.push_back("XDG_STATE_HOME=" + dir.File("state"));
    fs::create_directories(dir.File(scratch));
    return testing::RunPostriderCli(args, dir.File(scratch), options);
  }
  CliRun Send(const std::vector<std::string>& flags, CliOptions options = {},
              const std::string& scratch = "outer") const {
    std::vector<std::string> args = {"send", project, "--settings", settings};
    args.insert(args.end(), flags.begin(), flags.end());
    return Cli(args, std::move(options), scratch);
  }
  // A fresh run of `entries` on `server`, stopped by `signal` once the
  // server holds ten messages.
  CliRun SendStoppedBy(int signal, int entries, ScriptedSmtpServer& server) {
    WriteProject(entries, server.address());
    fs::remove(project + ".journal");
    fs::remove(dir.File("project/members.prh.sent"));
    fs::remove(dir.File("project/members.prh.selected"));
    CliOptions options;
    options.whileRunning = [&server, signal](pid_t pid) {
      server.WaitForMessages(10);
      kill(pid, signal);
    };
    return Send({}, options);
  }
  // One character of each entry's line as "entries" prints it: its
  // selection (column 1) or its status (column 2).
  std::string EntryColumn(int column) const {
    std::string values;
    const std::string out = Cli({"entries", project}, {}, "statuses").out;
    for (std::size_t line = 0; line < out.size(); line = out.find('\n', line) + 1) {
      std::size_t at = line;
      for (int i = 0; i < column; ++i) at = out.find('\t', at) + 1;
      values += out[at];
    }
    return values;
  }
  std::string Statuses() const { return EntryColumn(2); }
  std::string Selection() const { return EntryColumn(1); }
  // Every address in `addresses` got exactly one message, but for those
  // named as possibly mailed twice, who got at most two.
  static void ExpectEachOnce(const ScriptedSmtpServer& server,
                             const std::vector<std::string>& addresses,
                             const std::vector<std::string>& named = {}) {
    std::map<std::string, int> received = server.MessagesPerRecipient();
    for (const std::string& address : addresses) {
      const bool twice = std::count(named.begin(), named.end(), address) > 0;
      EXPECT_TRUE(received[address] == 1 || (twice && received[address] == 2))
          << address << " got " << received[address];
    }
  }

  TempDir dir;
  std::string project;
  std::string settings;
};

TEST_F(ExactlyOnceTest, WhileOneSendRunsEveryOtherCommandThatWritesIsRefusedNamingIt) {
  ScriptedSmtpServer server({.delays = {{".", 0.05}}});
  WriteProject(40, server.address());
  std::vector<CliRun> others;
  pid_t first = 0;
  CliOptions options;
  options.whileRunning = [&](pid_t pid) {
    first = pid;
    server.WaitForMessages(3);
    others.push_back(Send({"--resume"}, {}, "second"));
    others.push_back(Send({"--from-start"}, {}, "third"));
    others.push_back(Cli({"select", project, "all"}, {}, "select"));
    others.push_back(Cli({"new", project, "--list", dir.File("project/members.txt"),
                          "--email-field", "Email"},
                         {}, "new"));
    ASSERT_LT(server.MessageCount(), 40) << "the first send ended before the others were tried";
  };
  const CliRun run = Send({}, options);

  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(others.size(), 4u);
  for (const CliRun& other : others) {
    EXPECT_EQ(other.exitCode, 1) << other.err;
    EXPECT_NE(other.err.find("\"" + project + "\" is in use: postrider-cli (process " +
                             std::to_string(first) + ") has it open for writing."),
              std::string::npos)
        << other.err;
  }
  ExpectEachOnce(server, Addresses(40));
  EXPECT_EQ(server.MessagesPerRecipient().size(), 40u);
  EXPECT_FALSE(fs::exists(project + ".lock"));
}

TEST_F(ExactlyOnceTest, SelectDuringASendLeavesItsJournalAloneAndTheKilledRunResumesOnce) {
  ScriptedSmtpServer server({.delays = {{".", 0.05}}});
  WriteProject(40, server.address());
  CliRun select;
  CliOptions options;
  options.whileRunning = [&](pid_t pid) {
    server.WaitForMessages(10);
    select = Cli({"select", project, "all"}, {}, "select");
    kill(pid, SIGKILL);
  };
  ASSERT_EQ(Send({}, options).exitCode, 128 + SIGKILL);
  EXPECT_EQ(select.exitCode, 1) << select.err;
  ASSERT_TRUE(fs::exists(project + ".journal"));

  const CliRun resumed = Send({"--resume"});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  const std::vector<std::string> named = NamedTwice(resumed.err);
  EXPECT_LE(named.size(), 1u);
  ExpectEachOnce(server, Addresses(40), named);
  EXPECT_EQ(Statuses(), std::string(40, '1'));
}

TEST_F(ExactlyOnceTest, ASendTypedTwiceOrResumedAfterItsEndMailsNobodyAgainUnasked) {
  ScriptedSmtpServer server;
  WriteProject(5, server.address());
  ASSERT_EQ(Send({}).exitCode, 0);
  ASSERT_EQ(server.MessageCount(), 5);

  const CliRun again = Send({});
  EXPECT_EQ(again.exitCode, 2);
  EXPECT_NE(again.err.find("5 of the 5 selected entries are already marked sent."),
            std::string::npos)
      << again.err;
  EXPECT_NE(again.err.find("give --from-start to send to every selected entry again"),
            std::string::npos);
  const CliRun resumed = Send({"--resume"});
  EXPECT_EQ(resumed.exitCode, 2);
  EXPECT_NE(resumed.err.find("There is nothing to resume"), std::string::npos) << resumed.err;
  EXPECT_EQ(resumed.out, "");
  EXPECT_EQ(server.MessageCount(), 5);

  // Said in so many words, everyone is mailed again.
  EXPECT_EQ(Send({"--from-start"}).exitCode, 0);
  EXPECT_EQ(server.MessageCount(), 10);
}

TEST_F(ExactlyOnceTest, ARunWhoseSaveFailedIsAppliedByTheNextCommandAndNobodyIsMailedAgain) {
  const CliOptions asUser = AsOrdinaryUser();
  if (!asUser.runUnder.empty() && !fs::exists(asUser.runUnder[0])) GTEST_SKIP() << "no setpriv";
  ScriptedSmtpServer server({.delays = {{".", 0.04}}});
  WriteProject(30, server.address());
  const std::string folder = dir.File("project");
  for (const auto& entry : fs::directory_iterator(folder)) chmod(entry.path().c_str(), 0666);
  chmod(dir.path().c_str(), 0755);
  chmod(settings.c_str(), 0644);
  chmod(folder.c_str(), 0777);

  CliOptions options = asUser;
  options.whileRunning = [&](pid_t) {
    server.WaitForMessages(5);
    chmod(folder.c_str(), 0555);
  };
  const CliRun run = Send({}, options);
  chmod(folder.c_str(), 0777);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("The project could not be saved."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("what the run did is kept in the send journal \"" + project +
                         ".journal\"; the next command or window that opens the project applies "
                         "it"),
            std::string::npos)
      << run.err;
  ASSERT_EQ(server.MessageCount(), 30);

  const CliRun looked = Cli({"entries", project}, asUser);
  EXPECT_NE(looked.err.find("The last send run of this project was not saved: 30 messages had "
                            "been accepted by the server"),
            std::string::npos)
      << looked.err;
  const CliRun resumed = Send({"--resume"}, asUser);
  EXPECT_EQ(resumed.exitCode, 2) << resumed.err;
  EXPECT_NE(resumed.err.find("There is nothing to resume"), std::string::npos) << resumed.err;
  EXPECT_EQ(Send({}, asUser).exitCode, 2);
  ExpectEachOnce(server, Addresses(30));
  EXPECT_EQ(Statuses(), std::string(30, '1'));
}

// A lock file that no process here can take may be held by anyone: two
// sends that each went on without it would both mail everyone.
TEST_F(ExactlyOnceTest, ALockFileNoProcessCanTakeStopsEverySendBeforeAnyoneIsMailed) {
  struct Obstacle {
    const char* name;
    std::function<void(const std::string&)> make;
    bool asOrdinaryUser;
  };
  const std::vector<Obstacle> obstacles = {
      {"a folder", [](const std::string& lock) { fs::create_directory(lock); }, false},
      {"a FIFO", [](const std::string& lock) { mkfifo(lock.c_str(), 0666); }, false},
      {"a file nobody may open",
       [](const std::string& lock) {
         close(open(lock.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0));
       },
       true},
  };
  ScriptedSmtpServer server;
  for (const Obstacle& obstacle : obstacles) {
    SCOPED_TRACE(obstacle.name);
    WriteProject(4, server.address());
    const std::string lock = project + ".lock";
    fs::remove_all(lock);
    CliOptions options;
    if (obstacle.asOrdinaryUser) {
      options = AsOrdinaryUser();
      if (!options.runUnder.empty() && !fs::exists(options.runUnder[0])) continue;
      for (const auto& entry : fs::directory_iterator(dir.File("project"))) {
        chmod(entry.path().c_str(), 0666);
      }
      chmod(dir.path().c_str(), 0755);
      chmod(settings.c_str(), 0644);
      chmod(dir.File("project").c_str(), 0777);
    }
    obstacle.make(lock);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"send", project, "--settings", settings},
          std::vector<std::string>{"select", project, "none"}}) {
      const CliRun run = Cli(args, options);
      EXPECT_EQ(run.exitCode, 1) << run.err;
      EXPECT_NE(run.err.find("The lock file \"" + lock + "\""), std::string::npos) << run.err;
      EXPECT_NE(run.err.find("another program may be writing the project"), std::string::npos)
          << run.err;
    }
    EXPECT_EQ(server.MessageCount(), 0);
    EXPECT_EQ(Selection(), "1111");
  }
}

// What the list became between the stop and the resume.
struct ListEdit {
  const char* name;
  std::function<std::vector<std::string>(std::vector<std::string>)> edit;
};

TEST_F(ExactlyOnceTest, AListEditedBetweenAStopAndTheResumeMailsEveryoneInItExactlyOnce) {
  const std::vector<ListEdit> edits = {
      {"re-sorted",
       [](std::vector<std::string> list) {
         std::reverse(list.begin(), list.end());
         return list;
       }},
      {"grown",
       [](std::vector<std::string> list) {
         for (int i = 0; i < 8; ++i) list.insert(list.begin(), "new" + std::to_string(i) + "@example.com");
         list.push_back("last@example.com");
         return list;
       }},
      {"shrunk",
       [](std::vector<std::string> list) {
         std::vector<std::string> kept;
         for (std::size_t i = 0; i < list.size(); ++i) {
           if (i % 3 != 1) kept.push_back(list[i]);
         }
         return kept;
       }},
  };
  constexpr int kEntries = 40;
  for (const ListEdit& edit : edits) {
    // Killed (the journal keeps the outcomes), or paused and saved (the marks do).
    for (const int signal : {SIGKILL, SIGTERM}) {
      SCOPED_TRACE(std::string(edit.name) + (signal == SIGKILL ? ", killed" : ", paused"));
      ScriptedSmtpServer server({.delays = {{".", 0.02}}});
      const CliRun stopped = SendStoppedBy(signal, kEntries, server);
      ASSERT_EQ(stopped.exitCode, signal == SIGKILL ? 128 + SIGKILL : 1) << stopped.err;
      ASSERT_LT(server.MessageCount(), kEntries);

      const std::vector<std::string> list = edit.edit(Addresses(kEntries));
      WriteList(list);
      const CliRun resumed = Send({"--resume"});
      EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
      EXPECT_NE(resumed.err.find(signal == SIGKILL ? "matched to the list's entries by address"
                                                   : "found again by their address"),
                std::string::npos)
          << resumed.err;
      const std::vector<std::string> named = NamedTwice(resumed.err);
      EXPECT_LE(named.size(), signal == SIGKILL ? 1u : 0u);
      ExpectEachOnce(server, list, named);
      // Those no longer in the list got what they got before, never more.
      for (const auto& [address, count] : server.MessagesPerRecipient()) EXPECT_LE(count, 2) << address;
      EXPECT_EQ(Statuses(), std::string(list.size(), '1'));
    }
  }
}

// A parent's address on each child's row, each letter its own: a run paused
// (its marks saved) or killed (its journal alone tells) after the first
// child's, the list re-sorted with a row put in, and the resume sends the
// second child's letter once and the first's never again.
TEST_F(ExactlyOnceTest, TwoRowsOfOneAddressEachGetTheirOwnLetterOnceAfterTheListIsReSorted) {
  constexpr int kEntries = 40;
  const std::string parent = "parent@example.com";
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal == SIGKILL ? "killed" : "paused");
    ScriptedSmtpServer server({.delays = {{".", 0.02}}});
    WriteProject(kEntries, server.address());
    fs::remove(project + ".journal");
    fs::remove(dir.File("project/members.prh.sent"));
    fs::remove(dir.File("project/members.prh.selected"));
    std::vector<std::string> rows = {"Ann\t" + parent};
    for (int i = 1; i < kEntries - 1; ++i) rows.push_back("Member " + Address(i) + "\t" + Address(i));
    rows.push_back("Bob\t" + parent);
    WriteRows(rows);
    CliOptions options;
    options.whileRunning = [&server, signal](pid_t pid) {
      server.WaitForMessages(10);
      kill(pid, signal);
    };
    const CliRun stopped = Send({}, options);
    ASSERT_EQ(stopped.exitCode, signal == SIGKILL ? 128 + SIGKILL : 1) << stopped.err;
    ASSERT_LT(server.MessageCount(), kEntries - 1);

    std::reverse(rows.begin(), rows.end());
    rows.insert(rows.begin() + 5, "Member new\tnew@example.com");
    WriteRows(rows);
    const CliRun resumed = Send({"--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    std::map<std::string, int> letters;
    for (int n = 1; n <= server.MessageCount(); ++n) {
      const std::string message = server.Message(n);
      for (const char* child : {"Dear Ann,", "Dear Bob,"}) {
        if (message.find(child) != std::string::npos) ++letters[child];
      }
    }
    EXPECT_EQ(letters["Dear Ann,"], 1);
    EXPECT_EQ(letters["Dear Bob,"], 1);
    std::vector<std::string> others = {"new@example.com"};
    for (int i = 1; i < kEntries - 1; ++i) others.push_back(Address(i));
    const std::vector<std::string> named = NamedTwice(resumed.err);
    EXPECT_LE(named.size(), signal == SIGKILL ? 1u : 0u);
    ExpectEachOnce(server, others, named);
    EXPECT_EQ(server.MessagesPerRecipient()[parent], 2);
    EXPECT_EQ(Statuses(), std::string(rows.size(), '1'));
  }
}

// A run killed while the server holds one child's letter: once the list is
// re-sorted, that child's row is the one named as possibly mailed twice and
// mailed again, not the first row of the parent's address.
TEST_F(ExactlyOnceTest, TheLetterInDoubtOfOneOfTwoRowsOfAnAddressIsItsOwnRowsAfterAReSort) {
  const std::string parent = "parent@example.com";
  // Takes the first letter and never answers while the test lasts.
  ScriptedSmtpServer holding({.delays = {{".", 120}}});
  WriteProject(3, holding.address());
  std::vector<std::string> rows = {"Ann\t" + parent, "Cid\tcid@example.com", "Bob\t" + parent};
  WriteRows(rows);
  CliOptions options;
  options.whileRunning = [&holding](pid_t pid) {
    holding.WaitForMessages(1);
    kill(pid, SIGKILL);
  };
  ASSERT_EQ(Send({}, options).exitCode, 128 + SIGKILL);
  ASSERT_NE(holding.Message(1).find("Dear Ann,"), std::string::npos);
  holding.Stop();

  std::reverse(rows.begin(), rows.end());  // Bob, Cid, Ann
  WriteRows(rows);
  ScriptedSmtpServer server;
  settings = dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\nReturnAddress="
                                       "library@example.com\nSMTPServer=" + server.address() +
                                       "\nLog=0\n");
  const CliRun resumed = Send({"--resume"});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  // postrider-cli numbers entries from 0: Ann's row is entry 2 now.
  EXPECT_NE(resumed.err.find("Entry 2 (" + parent + ") had been handed to the server"),
            std::string::npos)
      << resumed.err;
  EXPECT_EQ(resumed.err.find("Entry 0 (" + parent + ")"), std::string::npos) << resumed.err;
  std::map<std::string, int> letters;
  for (int n = 1; n <= server.MessageCount(); ++n) {
    for (const char* child : {"Dear Ann,", "Dear Bob,", "Dear Cid,"}) {
      if (server.Message(n).find(child) != std::string::npos) ++letters[child];
    }
  }
  EXPECT_EQ(letters, (std::map<std::string, int>{{"Dear Ann,", 1}, {"Dear Bob,", 1},
                                                  {"Dear Cid,", 1}}));
  EXPECT_EQ(Statuses(), "111");
}

// A query's choice, a run paused or killed part-way, the list re-sorted in a
// spreadsheet (rows put in at the top, a chosen row deleted) and the resume:
// each person the query chose gets the letter once, and nobody else any.
TEST_F(ExactlyOnceTest, AQuerysChoiceIsMailedOnceEachAndNobodyElseAfterTheListIsReSorted) {
  constexpr int kEntries = 150;
  // Every third member lives in Oslo, those put in later too; or every
  // member does, and those put in later live in Bergen.
  bool everyone = false;
  const auto inOslo = [&](int who) { return everyone ? who < kEntries : who % 3 == 0; };
  const auto writeList = [&](const std::vector<int>& people) {
    std::string list = "Name\tEmail\tCity\n";
    for (const int who : people) {
      list += "Member " + std::to_string(who) + "\t" + Address(who) + "\t" +
              (inOslo(who) ? "Oslo" : "Bergen") + "\n";
    }
    dir.Write("project/members.txt", list);
  };
  struct Edit {
    const char* name;
    std::function<std::vector<int>(std::vector<int>)> edit;
    const char* selected;  // as the resume tells it
    bool everyoneInOslo = false;
  };
  const std::vector<Edit> edits = {
      {"shuffled",
       [](std::vector<int> people) {
         std::shuffle(people.begin(), people.end(), std::mt19937(7));
         return people;
       },
       "50 entries are selected now."},
      {"sorted by city, rows put in at the top",
       [&](std::vector<int> people) {
         std::stable_sort(people.begin(), people.end(),
                          [&](int a, int b) { return inOslo(a) < inOslo(b); });
         for (int i = 0; i < 6; ++i) people.insert(people.begin(), kEntries + i);
         return people;
       },
       "50 entries are selected now."},
      {"reversed, the last chosen row deleted",
       [](std::vector<int> people) {
         people.erase(std::find(people.begin(), people.end(), kEntries - 3));
         std::reverse(people.begin(), people.end());
         return people;
       },
       "49 entries are selected now, and 1 address selected before is no longer in the list."},
      // The query chose every row: that is not Select All, and the rows
      // put in since were chosen by nobody.
      {"everyone chosen by the query, rows put in at the top",
       [](std::vector<int> people) {
         for (int i = 0; i < 5; ++i) people.insert(people.begin(), kEntries + i);
         return people;
       },
       "150 entries are selected now.", true},
  };
  std::vector<int> people(kEntries);
  std::iota(people.begin(), people.end(), 0);
  for (const Edit& edit : edits) {
    everyone = edit.everyoneInOslo;
    for (const int signal : {SIGTERM, SIGKILL}) {
      SCOPED_TRACE(std::string(edit.name) + (signal == SIGKILL ? ", killed" : ", paused"));
      ScriptedSmtpServer server({.delays = {{".", 0.02}}});
      WriteProject(kEntries, server.address());
      fs::remove(project + ".journal");
      fs::remove(dir.File("project/members.prh.sent"));
      fs::remove(dir.File("project/members.prh.selected"));
      writeList(people);
      ASSERT_EQ(Cli({"select", project, "query", "City", "equals", "Oslo"}).out,
                everyone ? "150 Selected\n" : "50 Selected\n");
      CliOptions options;
      options.whileRunning = [&server, signal](pid_t pid) {
        server.WaitForMessages(10);
        kill(pid, signal);
      };
      const CliRun stopped = Send({}, options);
      ASSERT_EQ(stopped.exitCode, signal == SIGKILL ? 128 + SIGKILL : 1) << stopped.err;
      ASSERT_LT(server.MessageCount(), 50);

      const std::vector<int> now = edit.edit(people);
      writeList(now);
      const CliRun resumed = Send({"--resume"});
      EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
      EXPECT_NE(resumed.err.find("The selected entries were found again by their address as "
                                 "well: " + std::string(edit.selected)),
                std::string::npos)
          << resumed.err;
      std::vector<std::string> chosen;
      std::string selection;
      for (const int who : now) {
        const bool wasChosen = who < kEntries && inOslo(who);
        selection += wasChosen ? '1' : '0';
        if (wasChosen) chosen.push_back(Address(who));
      }
      ExpectEachOnce(server, chosen, NamedTwice(resumed.err));
      // Those put in since, and those the query left out, got nothing.
      for (const auto& [address, count] : server.MessagesPerRecipient()) {
        EXPECT_TRUE(std::find(chosen.begin(), chosen.end(), address) != chosen.end())
            << address << " was never chosen, and got " << count;
      }
      EXPECT_EQ(Selection(), selection);
      EXPECT_EQ(Statuses(), selection);
    }
  }
}

TEST_F(ExactlyOnceTest, RowsGoneFromTheListWhenTheProjectWasSavedAreStillKnownAsSentOnTheirReturn) {
  // A spreadsheet saved the list badly for a while, and the project was
  // saved meanwhile; then the list was put right again.
  const std::vector<std::pair<const char*, std::function<void(const std::vector<std::string>&)>>>
      meanwhile = {
          {"saved with commas",
           [this](const std::vector<std::string>& list) {
             std::string text = "Name,Email\n";
             for (const std::string& address : list) text += "Member," + address + "\n";
             dir.Write("project/members.txt", text);
           }},
          {"mailed rows deleted",
           [this](const std::vector<std::string>& list) {
             WriteList(std::vector<std::string>(list.begin() + 15, list.end()));
           }},
      };
  constexpr int kEntries = 30;
  for (const auto& [name, edit] : meanwhile) {
    for (const int signal : {SIGKILL, SIGTERM}) {
      SCOPED_TRACE(std::string(name) + (signal == SIGKILL ? ", killed" : ", paused"));
      ScriptedSmtpServer server({.delays = {{".", 0.02}}});
      ASSERT_NE(SendStoppedBy(signal, kEntries, server).exitCode, 0);
      ASSERT_LT(server.MessageCount(), 15);

      edit(Addresses(kEntries));
      ASSERT_EQ(Cli({"select", project, "all"}).exitCode, 0);
      WriteList(Addresses(kEntries));
      const CliRun resumed = Send({"--resume"});
      EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
      // Only the killed run's message in flight may have gone twice.
      std::map<std::string, int> received = server.MessagesPerRecipient();
      int twice = 0;
      for (const std::string& address : Addresses(kEntries)) {
        EXPECT_GE(received[address], 1) << address;
        twice += received[address] > 1 ? 1 : 0;
      }
      EXPECT_LE(twice, signal == SIGKILL ? 1 : 0);
      EXPECT_EQ(Statuses(), std::string(kEntries, '1'));
    }
  }
}

// A run paced to one message a second, whose list a spreadsheet saves over in
// place part-way: nobody the selection did not name is mailed, and nobody
// twice, however the file's lines moved.
TEST_F(ExactlyOnceTest, AListRewrittenInPlaceDuringARunStopsItAndTheResumeMailsExactlyTheRest) {
  constexpr int kEntries = 40;
  // Lines of one width, each of 8 KB, so the run reads the file again every
  // few entries and a rewrite of the same size puts others at each line start.
  const auto person = [](int i) {
    char address[32];
    std::snprintf(address, sizeof address, "member%02d@example.com", i);
    return std::string(address);
  };
  const auto line = [&](int i, std::size_t notes) {
    return "Member " + std::to_string(i % 10) + "\t" + person(i) + "\t" + std::string(notes, 'n') + "\n";
  };
  struct Rewrite {
    const char* name;
    std::function<std::string()> list;
    std::vector<int> order;  // who stands at each entry afterwards
  };
  std::vector<int> rotated;
  for (int i = 0; i < kEntries; ++i) rotated.push_back((i + 2) % kEntries);
  std::vector<int> same;
  for (int i = 0; i < kEntries; ++i) same.push_back(i);
  const auto listOf = [&](const std::vector<int>& order, int longer) {
    std::string text = "Name\tEmail\tNotes\n";
    for (int i = 0; i < kEntries; ++i) text += line(order[i], 8000 + (i == longer ? 300 : 0));
    return text;
  };
  const std::vector<Rewrite> rewrites = {
      {"two rows moved to the end", [&] { return listOf(rotated, -1); }, rotated},
      {"one row's notes made longer", [&] { return listOf(same, 1); }, same},
  };
  for (const Rewrite& rewrite : rewrites) {
    SCOPED_TRACE(rewrite.name);
    ScriptedSmtpServer server;
    WriteProject(kEntries, server.address());
    fs::remove(project + ".journal");
    fs::remove(dir.File("project/members.prh.sent"));
    const std::string listPath = dir.Write("project/members.txt", listOf(same, -1));
    // Every other entry selected: the rotation keeps the same people selected.
    std::string marks(32000, '\0');
    for (int i = 0; i < kEntries; i += 2) marks[static_cast<std::size_t>(i)] = '\x80';
    dir.Write("project/members.prh", marks);
    std::vector<std::string> selected;
    for (int i = 0; i < kEntries; i += 2) selected.push_back(person(i));

    CliOptions options;
    options.whileRunning = [&](pid_t) {
      server.WaitForMessages(1);
      // As a spreadsheet saves: the same file truncated and written again.
      dir.Write("project/members.txt", rewrite.list());
    };
    const CliRun stopped = Send({"--per-minute", "60"}, options);
    EXPECT_EQ(stopped.exitCode, 1) << stopped.err;
    EXPECT_NE(stopped.err.find("The mailing list " + listPath + " has changed since the project "
                               "was opened"),
              std::string::npos)
        << stopped.err;
    EXPECT_NE(stopped.err.find("The run stopped before this entry"), std::string::npos);
    EXPECT_NE(stopped.out.find("Send stopped by an error before the end of the list."),
              std::string::npos)
        << stopped.out;
    EXPECT_EQ(stopped.out.find("Complete"), std::string::npos);
    const int firstRun = server.MessageCount();
    ASSERT_LT(firstRun, kEntries / 2) << "the run ended before the list was rewritten";
    for (const auto& [address, count] : server.MessagesPerRecipient()) {
      EXPECT_EQ(count, 1) << address;
      EXPECT_NE(std::find(selected.begin(), selected.end(), address), selected.end()) << address;
    }
    // Reopened, the entries mailed are found by address: the rest stay unsent.
    const std::string statuses = Statuses();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), '1'), firstRun) << statuses;

    const CliRun resumed = Send({"--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    ExpectEachOnce(server, selected);
    EXPECT_EQ(server.MessagesPerRecipient().size(), selected.size());
    const CliRun again = Send({"--resume"});
    EXPECT_EQ(again.exitCode, 2) << again.err;
    EXPECT_EQ(server.MessageCount(), kEntries / 2);
    std::string expected;
    for (const int who : rewrite.order) expected += who % 2 == 0 ? '1' : '0';
    EXPECT_EQ(Statuses(), expected);
  }
}

// The desktop's Save or Save As after a run, once a spreadsheet has saved
// over the list in place: whatever name the project is saved under, the
// project reopened knows whom the run mailed and has the selection it last
// had on disk, so a resume mails nobody twice. The run and the save are the
// document's own, as the desktop program does them; the reopening and the
// resume are postrider-cli's.
TEST_F(ExactlyOnceTest, ASaveAfterTheListWasRewrittenInPlaceKeepsWhoWasMailedUnderAnyName) {
  struct SaveCase {
    const char* name;
    bool untitled;       // a new project, never saved before the run
    const char* saveAs;  // nullptr: under its own name
    bool overAnother;    // a project of that name is there and saved over
    bool sends = true;   // false: the list is rewritten with no run since the open
  };
  const std::vector<SaveCase> cases = {
      {"under its own name", false, nullptr, false},
      {"under a new name", false, "renamed.prj", false},
      {"over another project", false, "other.prj", true},
      {"untitled, saved for the first time", true, "fresh.prj", false},
      {"under its own name, with no run since the open", false, nullptr, false, false},
  };
  constexpr int kEntries = 40;
  // Two rows moved to the end: every entry holds someone else, and the even
  // entries still hold the people of even number.
  std::vector<std::string> rotated;
  for (int i = 0; i < kEntries; ++i) rotated.push_back(Address((i + 2) % kEntries));
  std::string everyOther;
  std::vector<std::string> evenPeople;
  for (int i = 0; i < kEntries; ++i) {
    everyOther += i % 2 == 0 ? '1' : '0';
    if (i % 2 == 0) evenPeople.push_back(Address(i));
  }
  // The untitled project's journal goes where postrider-cli's state goes.
  const StateHomeForThisProcess state(dir.File("state"));

  for (const SaveCase& saveCase : cases) {
    SCOPED_TRACE(saveCase.name);
    fs::remove_all(dir.File("project"));
    fs::remove_all(dir.File("state"));
    ScriptedSmtpServer server;
    WriteProject(kEntries, server.address());
    std::string marks(32000, '\0');
    for (int i = 0; i < kEntries; i += 2) marks[static_cast<std::size_t>(i)] = '\x80';
    dir.Write("project/members.prh", marks);
    const std::string target =
        saveCase.saveAs != nullptr ? dir.File("project/") + saveCase.saveAs : project;
    if (saveCase.overAnother) {
      // Everyone selected, and a journal saying that some of those the run
      // below does not reach were mailed: neither belongs to the new project.
      dir.Write("project/other.prh", std::string(32000, '\x80'));
      dir.Write("project/other.prj",
                "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
                "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=other.prh\n"
                "LastIndexSent=0\n");
      RecordedDocument other;
      ASSERT_TRUE(other.document.OnOpenDocument(target));
      auto journal = other.document.OpenSendJournal().value();
      ASSERT_TRUE(journal->RunStarted(other.document.GetJournalIdentity(), 0).ok());
      for (int i = 20; i < 30; i += 2) {
        ASSERT_TRUE(journal->Outcome(i, StatusSent, Address(i)).ok());
      }
      ASSERT_TRUE(journal->RunEnded(0).ok());
    }
    std::map<std::string, int> firstRun;
    {
      RecordedDocument doc;
      if (saveCase.untitled) {
        ListOnlyWizardPages pages(dir.File("project/members.txt"));
        ASSERT_TRUE(doc.document.OnNewDocument(pages));
        doc.messageView.subject = "Spring programme";
        doc.messageView.body = "Dear [[Name]],\n";
      } else {
        ASSERT_TRUE(doc.document.OnOpenDocument(project));
      }
      if (saveCase.sends) {
        SendController controller{SendRunHost{doc.prompts, doc.frame},
                                  testing::UniformTimeouts()};
        bool paused = false;
        SetBlockingHook([&] {
          if (!paused && server.MessageCount() >= 5) {
            paused = true;
            controller.OnPause();
          }
        });
        UserSettings sender{.realName = "Harbour Library",
                            .returnAddress = "library@example.com",
                            .smtpServer = server.address()};
        const SendRunResult run = controller.OnSend(doc.document, sender);
        SetBlockingHook({});
        ASSERT_TRUE(run.paused);
        ASSERT_LT(server.MessageCount(), 10);
        firstRun = server.MessagesPerRecipient();
      }

      // As a spreadsheet saves: the same file truncated and written again.
      WriteList(rotated);
      doc.prompts.ClearRecords();
      ASSERT_TRUE(doc.document.OnSaveDocument(target).ok());
      EXPECT_TRUE(doc.prompts.ShowedMessageContaining(
          "The entries' statuses and selection stay as they were last saved."))
          << ::testing::PrintToString(doc.prompts.messageTexts());
      // A journal is spoken of only where there is one.
      EXPECT_EQ(doc.prompts.ShowedMessageContaining("kept in the send journal \"" + target +
                                                    ".journal\""),
                saveCase.sends)
          << ::testing::PrintToString(doc.prompts.messageTexts());
      EXPECT_EQ(doc.prompts.ShowedMessageContaining("send journal"), saveCase.sends);
      EXPECT_EQ(fs::exists(target + ".journal"), saveCase.sends);
    }
    // Set aside, never applied nor lost.
    EXPECT_EQ(fs::exists(target + ".journal.unfit"), saveCase.overAnother);

    const std::string oldProject = project;
    project = target;
    // Entry by entry, as it last was on disk. The untitled project never had
    // one: its run's own choice, every entry, comes back from the journal.
    EXPECT_EQ(Selection(), saveCase.untitled ? std::string(kEntries, '1') : everyOther);
    if (saveCase.untitled) {
      ASSERT_EQ(Cli({"select", project, "all"}).exitCode, 0);
    }
    const CliRun resumed = Send({"--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    const std::vector<std::string>& selected = saveCase.untitled ? Addresses(kEntries) : evenPeople;
    ExpectEachOnce(server, selected);
    EXPECT_EQ(server.MessagesPerRecipient().size(), selected.size());

    // The old name, resumed too, goes by its own record: those its run
    // mailed get nothing more; only the others are mailed by it again.
    if (saveCase.sends && !saveCase.untitled && target != oldProject) {
      project = oldProject;
      const CliRun old = Send({"--resume"});
      EXPECT_EQ(old.exitCode, 0) << old.err;
      std::map<std::string, int> received = server.MessagesPerRecipient();
      for (const std::string& address : evenPeople) {
        EXPECT_EQ(received[address], firstRun.count(address) != 0 ? 1 : 2) << address;
      }
      EXPECT_EQ(received.size(), evenPeople.size());
    }
  }
}

TEST_F(ExactlyOnceTest, ARowWithDoubledQuotesMarkedABadAddressByTheOlderReadingIsMailedOnResume) {
  // Read with a doubled quote as a closing one, the rows of Bo and Cy gave
  // "B" and "C" as their address, and a run marked them bad addresses.
  const std::string list =
      "Name,Email\n\"Bo \"\"B\"\" Berg\",bo@example.com\nAnn,ann@example.com\n"
      "\"Cy \"\"C\"\"\",cy@example.com\nDee,dee@example.com\n";
  struct Case {
    const char* name;
    std::string marks;  // Bo, Ann, Cy, Dee, as the older program saved them
    std::vector<std::pair<std::string, std::string>> replies;
    bool runFirst;  // a run under this reading before the resume
    std::vector<std::string> mailed;
    const char* statuses;
    int resumeExit;
  };
  const std::vector<Case> cases = {
      {"marked by the older reading", "\x82\x81\x82\x80", {}, false,
       {"bo@example.com", "cy@example.com", "dee@example.com"}, "1111", 0},
      // The mark is the server's, and the resume does not ask it again.
      {"refused by the server under this reading", "\x80\x80\x80\x80",
       {{"RCPT:bo@", "550 5.1.1 No such user"}}, true,
       {"ann@example.com", "cy@example.com", "dee@example.com"}, "2111", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir.File("project"));
    fs::create_directories(dir.File("project"));
    ScriptedSmtpServer server({.replies = c.replies});
    settings = dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\nReturnAddress="
                                         "library@example.com\nSMTPServer=" + server.address() +
                                         "\nLog=0\n");
    const std::string listPath = dir.Write("project/members.csv", list);
    const std::string letter =
        dir.Write("project/letter.txt", "To: \nFrom:  \nSubject: Spring\nDear [[Name]],\n");
    project = dir.File("project/members.prj");
    ASSERT_EQ(Cli({"new", project, "--list", listPath, "--comma", "--email-field", "Email",
                   "--message", letter}).exitCode, 0);
    dir.Write("project/members.prh", c.marks + std::string(32000 - c.marks.size(), '\0'));
    fs::remove(dir.File("project/members.prh.selected"));
    // Paused at Dee.
    std::string keys = testing::ReadFileBytes(project);
    keys.replace(keys.find("LastIndexSent=0"), 15, "LastIndexSent=3");
    dir.Write("project/members.prj", keys);
    if (c.runFirst) {
      ASSERT_EQ(Send({"--from-start"}).exitCode, 3);
    }
    const CliRun resumed = Send({"--resume"});
    EXPECT_EQ(resumed.exitCode, c.resumeExit) << resumed.err;
    EXPECT_EQ(resumed.err.find("2 entries marked as a bad address have a good one") !=
                  std::string::npos,
              !c.runFirst)
        << resumed.err;
    ExpectEachOnce(server, c.mailed);
    EXPECT_EQ(server.MessageCount(), static_cast<int>(c.mailed.size()));
    EXPECT_EQ(Statuses(), c.statuses);
    const std::vector<std::string> commands = server.Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& line) {
                              return line.find("bo@example.com") != std::string::npos;
                            }),
              1);
  }
}

}  // namespace
}  // namespace postrider
