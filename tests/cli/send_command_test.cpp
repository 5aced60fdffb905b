#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_runner.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_sink_server.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::CliOptions;
using testing::CliRun;
using testing::ReadFileBytes;
using testing::ScriptedSmtpServer;
using testing::TempDir;
namespace fs = std::filesystem;

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  const std::size_t newline = trimmed.rfind('\n');
  return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

// The example project copied into a fresh folder, with settings of its own.
class SendCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("POSTRIDER_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy(fs::path(source) / "examples", dir.File("examples"));
  }

  std::string Project() const { return dir.File("examples/example.prj"); }
  std::string Settings(const std::string& server) const {
    return dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\n"
                                     "ReturnAddress=library@example.com\nSMTPServer=" +
                                         server + "\nLog=1\n");
  }
  CliRun Cli(const std::vector<std::string>& args, CliOptions options = {}) const {
    options.environment.push_back("XDG_STATE_HOME=" + dir.File("state"));
    return testing::RunPostriderCli(args, dir.path(), options);
  }
  std::string Info() const { return Cli({"info", Project()}).out; }
  std::string ErrPath() const { return dir.path() + "/cli-stderr"; }
  // The STATUS column of `entries`.
  std::string Statuses() const {
    std::string statuses;
    const std::string out = Cli({"entries", Project()}).out;
    for (std::size_t line = 0; line < out.size(); line = out.find('\n', line) + 1) {
      const std::size_t tab = out.find('\t', out.find('\t', line) + 1);
      statuses += out[tab + 1];
    }
    return statuses;
  }
  void SetLastIndexSent(int index) const {
    std::string project = ReadFileBytes(Project());
    project.replace(project.find("LastIndexSent=0"), 15, "LastIndexSent=" + std::to_string(index));
    dir.Write("examples/example.prj", project);
  }

  TempDir dir;
};

TEST_F(SendCommandTest, SendDeliversTheExampleProjectMarksEveryEntryAndSavesIt) {
  testing::SmtpSinkServer sink;
  const CliRun run = Cli({"send", Project(), "--settings", Settings(sink.address())});

  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The total is what the server took; the three bad addresses are said.
  EXPECT_EQ(LastLine(run.out), "Send Complete! Total Messages Sent: 9 of 12 (bad address: 3)");
  EXPECT_EQ(run.err.rfind("Connecting...\nStarting Send\nSending 1 of 12\n", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("entry 2: bad address grace hopper@example.com: "), std::string::npos)
      << run.err;
  // The run's figures follow its last status line.
  EXPECT_NE(run.err.find("Sending 12 of 12\nComplete\nAccepted by the server: 9\n"
                         "Refused by the server: 0\nBad address: 3\nNot reached: 0\n"),
            std::string::npos)
      << run.err;
  // Entries 2, 5 and 8 hold addresses that fail the check.
  EXPECT_EQ(Statuses(), "112112112111");
  EXPECT_NE(Info().find("last-index-sent: 0\n"), std::string::npos);
  const std::string log = ReadFileBytes(dir.File("state/postrider/postrider.log"));
  EXPECT_NE(log.find("ada.lovelace@example.com\tIndex=0\tStatus=0\n"), std::string::npos);
}

// A list's addresses reach the log as they are: each record stays one line of
// three fields, safe to show on a terminal, naming its address exactly.
TEST_F(SendCommandTest, TheLogKeepsEachHostileAddressToOneTruthfulLine) {
  const std::string longAddress = std::string(10000, 'a') + "@example.com";
  const struct {
    std::string address;  // as the list holds it
    std::string logged;
  } rows[] = {
      {"ann@example.com", "ann@example.com\tIndex=0\tStatus=0"},
      {"esc@example.com\x1B[2J\x1B]0;x\x07",
       "esc@example.com\\x1B[2J\\x1B]0;x\\x07\tIndex=1\tStatus=-2"},
      {"cr@example.com\rbob@example.com",
       "cr@example.com\\rbob@example.com\tIndex=2\tStatus=-2"},
      {"tab@example.com\tIndex=9\tStatus=0",
       "tab@example.com\\tIndex=9\\tStatus=0\tIndex=3\tStatus=-2"},
      {std::string("nul@example.com\0bob", 19), "nul@example.com\\x00bob\tIndex=4\tStatus=-2"},
      {longAddress, longAddress + "\tIndex=5\tStatus=-2"},
  };
  std::string list = "Name,Email\r\n";
  for (const auto& row : rows) list += "n,\"" + row.address + "\"\r\n";
  dir.Write("hostile.csv", list);
  dir.Write("hostile.txt", "To: \nFrom:  \nSubject: Hello\nHello [[Name]]\n");
  const std::string project = dir.File("hostile.prj");
  ASSERT_EQ(Cli({"new", project, "--list", dir.File("hostile.csv"), "--comma", "--email-field",
                 "Email", "--message", dir.File("hostile.txt")})
                .exitCode,
            0);
  testing::SmtpSinkServer sink;
  const CliRun run = Cli({"send", project, "--settings", Settings(sink.address())});
  EXPECT_EQ(run.exitCode, 0) << run.err;

  const std::string log = ReadFileBytes(dir.File("state/postrider/postrider.log"));
  std::vector<std::string> records;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\tIndex=") != std::string::npos) records.push_back(line);
  }
  ASSERT_EQ(records.size(), std::size(rows)) << log.substr(0, 2000);
  for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i], rows[i].logged);
}

// A list as a spreadsheet saves it as CSV, a quote in a cell doubled: each
// person is mailed at the address in their own row, and the name merges whole.
TEST_F(SendCommandTest, ASpreadsheetsDoubledQuotesKeepEveryRowsAddressInPlace) {
  dir.Write("club.csv", "Name,Email,\"Town \"\"now\"\"\"\n"
                        "\"Bo \"\"B\"\" Berg\",bo@example.com,Oslo\n"
                        "\"Ann \"\"\"\"\",ann@example.com,\"Bergen, Vestland\"\n");
  dir.Write("club.txt", "To: \nFrom:  \nSubject: Hello\nDear [[Name]] of [[Town \"now\"]],\n");
  const std::string project = dir.File("club.prj");
  ASSERT_EQ(Cli({"new", project, "--list", dir.File("club.csv"), "--comma", "--email-field",
                 "Email", "--message", dir.File("club.txt")})
                .exitCode,
            0);
  EXPECT_EQ(Cli({"fields", project}).out, "Name\nEmail\nTown \"now\"\n");

  ScriptedSmtpServer server;
  const CliRun run = Cli({"send", project, "--settings", Settings(server.address())});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessagesPerRecipient(),
            (std::map<std::string, int>{{"bo@example.com", 1}, {"ann@example.com", 1}}));
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_NE(server.Message(1).find("Dear Bo \"B\" Berg of Oslo,"), std::string::npos)
      << server.Message(1);
  EXPECT_NE(server.Message(2).find("Dear Ann \"\" of Bergen, Vestland,"), std::string::npos)
      << server.Message(2);
}

// A spreadsheet saves a cell with a line break as a quoted value over two or
// more lines. Each line stays an entry, but none of those halves is mailed: one
// would go out with a value cut short, and a later line can hold an address
// that is no recipient at all (bob's, in Ann's notes).
TEST_F(SendCommandTest, TheLinesOfAValueWithALineBreakAreToldOfAndNeverMailed) {
  dir.Write("notes.csv", "Email,Name,Notes\n"
                         "ann@example.com,Ann,\"Assistant:\n"
                         "bob@example.com, cc him\"\n"
                         "cy@example.com,Cy,plain\n"
                         "dee@example.com,Dee,\"one\r\n"
                         "eve@example.com,two\r\n"
                         "three\"\n"
                         "fay@example.com,Fay,\"x, y\"\n");
  dir.Write("notes.txt", "To: \nFrom:  \nSubject: Hello\nDear [[Name]] ([[Notes]]),\n");
  const std::string project = dir.File("notes.prj");
  const CliRun made = Cli({"new", project, "--list", dir.File("notes.csv"), "--comma",
                           "--email-field", "Email", "--message", dir.File("notes.txt")});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string notice =
      "A value with a line break cannot be read: entries 0 to 1 and 3 to 5 of the mailing list "
      "are parts of such values";
  EXPECT_NE(made.err.find(notice), std::string::npos) << made.err;
  // Every command that opens the project says it again, before any run.
  EXPECT_NE(Cli({"info", project}).err.find(notice), std::string::npos);

  ScriptedSmtpServer server;
  const CliRun run = Cli({"send", project, "--settings", Settings(server.address())});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessagesPerRecipient(),
            (std::map<std::string, int>{{"cy@example.com", 1}, {"fay@example.com", 1}}));
  // The closing summary says why five entries went unsent.
  EXPECT_NE(run.out.find("Send Complete! Total Messages Sent: 2 of 7 (bad address: 5)\n" + notice),
            std::string::npos)
      << run.out;
  std::string statuses;
  const std::string entries = Cli({"entries", project}).out;
  for (std::size_t line = 0; line < entries.size(); line = entries.find('\n', line) + 1) {
    statuses += entries[entries.find('\t', entries.find('\t', line) + 1) + 1];
  }
  EXPECT_EQ(statuses, "2212221");
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(SendCommandTest, ALogThatCannotBeWrittenIsToldOfOnceAndTheRunGoesOn) {
  // A link planted at the log's path must not take every address elsewhere.
  const std::string log = dir.File("state/postrider/postrider.log");
  fs::create_directories(dir.File("state/postrider"));
  const std::string elsewhere = dir.Write("elsewhere.txt", "not for the log\n");
  fs::create_symlink(elsewhere, log);
  {
    ScriptedSmtpServer server;
    const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(server.MessageCount(), 9);
    EXPECT_EQ(Occurrences(run.err, "The send log"), 1u) << run.err;
    EXPECT_NE(run.err.find("The send log \"" + log +
                           "\" cannot be written: it is a symbolic link, and Postrider writes "
                           "no file through one. This run goes on without it.\n"),
              std::string::npos)
        << run.err;
  }
  EXPECT_EQ(ReadFileBytes(elsewhere), "not for the log\n");
  EXPECT_TRUE(fs::is_symlink(log));

  // No folder for the log at all: a file stands where it would be made.
  fs::remove_all(dir.File("state"));
  dir.Write("state", "a file where the state folder should be");
  ScriptedSmtpServer server;
  const CliRun run =
      Cli({"send", Project(), "--from-start", "--settings", Settings(server.address())});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessageCount(), 9);
  EXPECT_EQ(Occurrences(run.err, "The send log"), 1u) << run.err;
  EXPECT_NE(run.err.find("Not a directory. This run goes on without it.\n"), std::string::npos)
      << run.err;
}

TEST_F(SendCommandTest, AProjectFileThatIsASymbolicLinkIsRefusedBeforeAnythingIsSent) {
  const std::string prh = dir.File("examples/example.prh");
  const std::string kept = dir.File("kept.prh");
  fs::rename(prh, kept);
  fs::create_symlink(kept, prh);
  const std::string before = ReadFileBytes(kept);
  ScriptedSmtpServer server;

  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())});

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Cannot write \"" + prh + "\": it is a symbolic link"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(ReadFileBytes(kept), before);
  EXPECT_TRUE(fs::is_symlink(prh));
}

TEST_F(SendCommandTest, MissingSettingsPrintTheSettingsTextAndSendNothing) {
  const CliRun run = Cli({"send", Project(), "--settings", dir.Write("empty.ini", "")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("Some settings, such as your SMTP server name and return address, have "
                         "not been configured.  Please configure these settings now."),
            std::string::npos);
  EXPECT_EQ(Statuses(), "000000000000");
}

TEST_F(SendCommandTest, AProjectWhoseLetterCannotBeReadIsNeitherSentNorSaved) {
  fs::remove(dir.File("examples/letter.txt"));
  const std::string project = ReadFileBytes(Project());
  ScriptedSmtpServer server;

  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())});

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("letter.txt"), std::string::npos) << run.err;
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(ReadFileBytes(Project()), project);
  EXPECT_FALSE(fs::exists(dir.File("examples/letter.txt")));
}

TEST_F(SendCommandTest, AnUnfinishedRunIsResumedOnlyWhenToldHow) {
  SetLastIndexSent(9);
  ScriptedSmtpServer server;
  const std::string settings = Settings(server.address());

  const CliRun asked = Cli({"send", Project(), "--settings", settings});
  EXPECT_EQ(asked.exitCode, 2);
  EXPECT_NE(asked.err.find("Your last send operation did not complete."), std::string::npos);
  EXPECT_EQ(server.MessageCount(), 0);

  const CliRun resumed = Cli({"send", Project(), "--resume", "--settings", settings});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(server.MessageCount(), 3);  // entries 9, 10 and 11
  EXPECT_EQ(Statuses(), "000000000111");
}

TEST_F(SendCommandTest, AGroupMailedBeforeIsNotMailedAgainWhenTheWholeListIsResumed) {
  ScriptedSmtpServer server;
  const std::string settings = Settings(server.address());
  const auto sendTo = [&](const std::vector<std::string>& selection,
                          const std::vector<std::string>& how) {
    std::vector<std::string> select = {"select", Project()};
    select.insert(select.end(), selection.begin(), selection.end());
    ASSERT_EQ(Cli(select).exitCode, 0);
    std::vector<std::string> send = {"send", Project(), "--settings", settings};
    send.insert(send.end(), how.begin(), how.end());
    Cli(send);
  };
  sendTo({"query", "MemberSince", "less than", "2019"}, {});
  EXPECT_EQ(server.MessageCount(), 3);  // two of the five addresses are bad
  sendTo({"query", "MemberSince", "greater than or equal", "2019"}, {});
  EXPECT_EQ(server.MessageCount(), 9);
  EXPECT_EQ(Statuses(), "112112112111");

  sendTo({"all"}, {"--resume"});
  sendTo({"all"}, {});
  EXPECT_EQ(server.MessageCount(), 9);
  EXPECT_EQ(Statuses(), "112112112111");
}

TEST_F(SendCommandTest, ARunStoppedByTheServerExitsWith1AndKeepsItsPlace) {
  ScriptedSmtpServer server({.replies = {{"RCPT:edsger@", "421 4.3.2 Going down"}}});
  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())});

  EXPECT_EQ(run.exitCode, 1);
  // Never "Send Complete!": the closing line says the run stopped, with its figures.
  EXPECT_EQ(LastLine(run.out),
            "Send stopped by an error before the end of the list. Accepted by the server: 2, "
            "refused by the server: 0, bad address: 1, not reached: 9.");
  EXPECT_NE(run.err.find("Sending 4 of 12 - Error 421"), std::string::npos);
  EXPECT_NE(run.err.find("Going down"), std::string::npos);
  EXPECT_EQ(Statuses(), "112000000000");
  EXPECT_NE(Info().find("last-index-sent: 3\n"), std::string::npos);
}

// When a second interrupt comes after the one the program acts on.
enum class Second { None, AtOnce, Later };

// Interrupts once the server has the first message's text, while the program
// waits for its answer; then perhaps once more after the program has said
// that it waits: at once (a hasty second Ctrl+C, or the second signal
// timeout(1) and a kill of the process group bring), or a while later.
CliOptions InterruptOnceTheFirstMessageIsIn(const ScriptedSmtpServer& server, Second second,
                                            std::string errPath) {
  CliOptions options;
  options.whileRunning = [&server, second, errPath = std::move(errPath)](pid_t pid) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < limit && server.MessageCount() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGINT);
    if (second == Second::None) return;
    while (std::chrono::steady_clock::now() < limit &&
           ReadFileBytes(errPath).find("Pausing: waiting") == std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Past the second within which a repeat counts as the same request.
    if (second == Second::Later) std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    kill(pid, SIGINT);
  };
  return options;
}

TEST_F(SendCommandTest, InterruptWorksAsPauseAfterTheAnswerAndTheProjectIsStillSaved) {
  // One Ctrl+C, and one request brought by two signals.
  for (const Second second : {Second::None, Second::AtOnce}) {
    SCOPED_TRACE(static_cast<int>(second));
    fs::remove_all(dir.File("examples"));
    fs::copy(fs::path(std::getenv("POSTRIDER_SOURCE_DIR")) / "examples", dir.File("examples"));
    ScriptedSmtpServer server({.delays = {{".", 2.0}}});
    const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())},
                           InterruptOnceTheFirstMessageIsIn(server, second, ErrPath()));

    EXPECT_EQ(run.exitCode, 1);
    // A pause, not an error; the message the server had is waited for.
    EXPECT_NE(run.err.find("Paused at entry 1"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Pausing: waiting for the server to confirm the message"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Error"), std::string::npos) << run.err;
    EXPECT_EQ(LastLine(run.out), "Send paused before the end of the list. Accepted by the server: "
                                 "1, refused by the server: 0, bad address: 0, not reached: 11.");
    EXPECT_EQ(server.MessageCount(), 1);
    EXPECT_EQ(Statuses(), "130000000000");
    EXPECT_NE(Info().find("last-index-sent: 1\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(Project() + ".journal"));
  }
}

// A column gone from the list while a run was paused: the resumed run would
// mail "[[City]]" to everyone left, so it asks first, and the command answers
// only with its flag.
TEST_F(SendCommandTest, AResumeAfterTheListLostAFieldTheLetterNamesSendsOnlyWithTheFlag) {
  {
    ScriptedSmtpServer paused({.delays = {{".", 2.0}}});
    const CliRun run = Cli({"send", Project(), "--settings", Settings(paused.address())},
                           InterruptOnceTheFirstMessageIsIn(paused, Second::None, ErrPath()));
    ASSERT_EQ(run.exitCode, 1) << run.err;
    ASSERT_EQ(Statuses(), "130000000000");
  }
  // The City column deleted in a spreadsheet.
  std::string list;
  std::istringstream lines(ReadFileBytes(dir.File("examples/recipients.txt")));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream cellStream(line);
    for (std::string cell; std::getline(cellStream, cell, '\t');) cells.push_back(cell);
    cells.erase(cells.begin() + 3);
    for (std::size_t i = 0; i < cells.size(); ++i) list += (i > 0 ? "\t" : "") + cells[i];
    list += "\n";
  }
  dir.Write("examples/recipients.txt", list);

  ScriptedSmtpServer server;
  const std::string settings = Settings(server.address());
  const std::string marks = ReadFileBytes(dir.File("examples/example.prh"));
  const std::string project = ReadFileBytes(Project());
  const CliRun refused = Cli({"send", Project(), "--resume", "--settings", settings});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("The letter names a field the mailing list does not have: "
                             "[[City]]. Each recipient would get it as written. Send anyway?\n"
                             "postrider-cli: nothing was sent; give --fields-as-written"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.err.find("Not reached"), std::string::npos) << refused.err;
  EXPECT_EQ(server.MessageCount(), 0);
  // The project as the paused run left it, its marks and resume point too.
  EXPECT_TRUE(ReadFileBytes(dir.File("examples/example.prh")) == marks) << "marks changed";
  EXPECT_EQ(ReadFileBytes(Project()), project);

  const CliRun sent =
      Cli({"send", Project(), "--resume", "--fields-as-written", "--settings", settings});
  EXPECT_EQ(sent.exitCode, 0) << sent.err;
  EXPECT_EQ(server.MessageCount(), 8);  // the rest, less the three bad addresses
  EXPECT_NE(server.Message(1).find("as a member in [[City]] since"), std::string::npos)
      << server.Message(1);
  EXPECT_EQ(Statuses(), "112112112111");
}

TEST_F(SendCommandTest, ASecondInterruptStopsTheWaitAndNamesWhoMayGetTheMessageTwice) {
  ScriptedSmtpServer server({.delays = {{".", 60.0}}});
  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())},
                         InterruptOnceTheFirstMessageIsIn(server, Second::Later, ErrPath()));

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Paused at entry 0"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("The message to ada.lovelace@example.com (entry 0) had been handed to "
                         "the server, but its answer never came: it may have been delivered, "
                         "and a resumed run sends it again."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Statuses(), "000000000000");
  EXPECT_NE(Info().find("last-index-sent: 0\n"), std::string::npos);
}

// A password or token helper that hangs is ended by a signal, as the run
// would be: nothing is sent and no entry changes.
TEST_F(SendCommandTest, ASignalEndsAPasswordCommandThatHangsAndNothingIsSent) {
  ScriptedSmtpServer server;
  const std::string started = dir.File("helper-started");
  const std::string settings =
      dir.Write("settings.ini", "[Settings]\nReturnAddress=library@example.com\nSMTPServer=" +
                                    server.address() + "\nUserName=library\nAllowPlainAuth=1\n"
                                    "PasswordCommand=touch '" + started +
                                    "'; exec sleep 120; echo hunter2\n");
  CliOptions options;
  options.whileRunning = [&started](pid_t pid) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit && !fs::exists(started)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGTERM);
  };
  const CliRun run = Cli({"send", Project(), "--settings", settings}, options);

  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_NE(run.err.find("PasswordCommand was stopped before it printed the password."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("hunter2"), std::string::npos);
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(Statuses(), "000000000000");
}

// A fast run prints its progress about ten times a second, not a line a
// message, from the first entry to the last, which is always shown.
TEST(SendProgressTest, AFastRunShowsFarFewerProgressLinesThanMessagesFirstAndLastIncluded) {
  constexpr int kEntries = 3000;
  TempDir dir;
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < kEntries; ++i) {
    list += "Member " + std::to_string(i) + "\tm" + std::to_string(i) + "@example.com\n";
  }
  const std::string project =
      testing::WriteTestProject(dir.path(), testing::TestProject(list, std::string(32000, '\x80')));
  testing::SmtpSinkServer sink;
  const std::string settings = dir.Write(
      "settings.ini", "[Settings]\nReturnAddress=me@example.com\nSMTPServer=" + sink.address() + "\n");
  CliOptions options;
  options.environment.push_back("XDG_STATE_HOME=" + dir.File("state"));

  const CliRun run = testing::RunPostriderCli({"send", project, "--settings", settings}, dir.path(),
                                              options);
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::vector<int> shown;
  std::istringstream lines(run.err);
  const std::string ofAll = " of " + std::to_string(kEntries);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Sending ", 0) == 0 && line.ends_with(ofAll)) {
      shown.push_back(std::stoi(line.substr(8)));
    }
  }
  ASSERT_FALSE(shown.empty()) << run.err;
  EXPECT_EQ(shown.front(), 1);
  EXPECT_EQ(shown.back(), kEntries);
  EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end(), std::greater_equal<int>()), shown.end());
  // Held back lines: far fewer than one a message, however slow the machine.
  EXPECT_LT(shown.size(), static_cast<size_t>(kEntries / 3)) << run.err;
  EXPECT_NE(run.err.find("Sending 3000 of 3000\nComplete\nAccepted by the server: 3000\n"),
            std::string::npos)
      << run.err;
}

TEST_F(SendCommandTest, ComposePrintsExactlyTheMessageOfOneEntry) {
  const CliRun run = Cli({"compose", Project(), "1", "--settings", Settings("unused.invalid")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind("To: alan.turing@example.org\r\n"
                          "From: Harbour Library <library@example.com>\r\n"
                          "Subject: Spring readings at the Harbour Library\r\nDate: ",
                          0),
            0u)
      << run.out;
  EXPECT_NE(run.out.find("@example.com>\r\n\r\nDear Alan Turing,\n\nOur spring readings"),
            std::string::npos);
  EXPECT_EQ(run.err, "");

  EXPECT_EQ(Cli({"compose", Project(), "12"}).exitCode, 1);
  EXPECT_EQ(Cli({"compose", Project(), "first"}).exitCode, 2);
}

}  // namespace
}  // namespace postrider
