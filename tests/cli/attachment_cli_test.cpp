#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/sha256.h"
#include "support/cli_runner.h"
#include "support/python_mail_parser.h"
#include "support/scripted_smtp_server.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::CliRun;
using testing::ScriptedSmtpServer;
using testing::TempDir;
namespace fs = std::filesystem;

// A project whose letter carries a file of each recipient's own; entry 1's
// file is missing and entry 2's value would lead out of the folder.
class AttachmentCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir.File("tickets"));
    ticket = "%PDF-1.4\n" + std::string(5000, '\x01') + "\xff\xfe end";
    dir.Write("tickets/T-0.pdf", ticket);
    dir.Write("tickets/T-3.pdf", ticket + " three");
    dir.Write("list.txt", "Name\tEmail\tTicket\nAnn\tann@example.com\tT-0\nBob\tbob@example.com\tT-1\n"
                          "Cy\tcy@example.com\t../../etc/passwd\nDi\tdi@example.com\tT-3\n");
    dir.Write("letter.txt", "To: \nFrom: \nSubject: Your ticket\n[[Attachment:  " + dir.File("tickets") +
                                "/[[Ticket]].pdf]]\nDear [[Name]],\nyour ticket.\n");
    const CliRun made = Cli({"new", dir.File("p.prj"), "--list", dir.File("list.txt"),
                             "--email-field", "Email", "--message", dir.File("letter.txt")});
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  std::string Settings(const std::string& server) const {
    return dir.Write("settings.ini", "[Settings]\nRealName=Box Office\n"
                                     "ReturnAddress=tickets@example.com\nSMTPServer=" + server + "\n");
  }
  CliRun Cli(const std::vector<std::string>& args) const {
    return testing::RunPostriderCli(args, dir.path(), {{"XDG_STATE_HOME=" + dir.File("state")}});
  }

  TempDir dir;
  std::string ticket;
};

TEST_F(AttachmentCliTest, SendStopsOnProblemsOrSkipsTheirEntriesWithSkipUnready) {
  ScriptedSmtpServer server;
  CliRun run = Cli({"send", dir.File("p.prj"), "--settings", Settings(server.address())});
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_NE(run.err.find("attachment: entry 1 <bob@example.com>: " + dir.File("tickets") +
                         "/T-1.pdf: the file does not exist\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("attachment: entry 2 <cy@example.com>: "), std::string::npos) << run.err;
  EXPECT_EQ(server.MessageCount(), 0);

  run = Cli({"send", dir.File("p.prj"), "--settings", Settings(server.address()), "--skip-unready"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessagesPerRecipient(),
            (std::map<std::string, int>{{"ann@example.com", 1}, {"di@example.com", 1}}));
  // The summary names the entries left out again.
  const std::size_t summary =
      run.out.find("Unselected before the run, their files could not go (2 entries):\n");
  ASSERT_NE(summary, std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  entry 1 <bob@example.com>", summary), std::string::npos) << run.out;
  const std::string received = dir.Write("ann.eml", server.Message(1));
  EXPECT_EQ(testing::AttachmentsParsedByPython(received),
            "T-0.pdf\tapplication/pdf\t" + std::to_string(ticket.size()) + "\t" + Sha256Hex(ticket) + "\n");
}

// A file that goes after the check leaves its entry for a resume: the run
// goes on, but its exit status never says everyone was mailed.
TEST_F(AttachmentCliTest, AFileGoneDuringTheRunExitsWith1AndTheResumeMailsItsEntryOnce) {
  ScriptedSmtpServer server({.delays = {{".", 1.0}}});
  const std::string settings = Settings(server.address());
  testing::CliOptions options;
  options.environment = {"XDG_STATE_HOME=" + dir.File("state")};
  options.whileRunning = [&](pid_t) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit && server.MessageCount() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fs::remove(dir.File("tickets/T-3.pdf"));
  };
  CliRun run = testing::RunPostriderCli(
      {"send", dir.File("p.prj"), "--settings", settings, "--skip-unready"}, dir.path(), options);
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("entry 3: not sent di@example.com: The attachment \"" +
                         dir.File("tickets") + "/T-3.pdf\" cannot be sent: the file does not exist"),
            std::string::npos)
      << run.err;
  // The summary numbers the entry as the notice and `entries` do.
  EXPECT_NE(run.out.find("\nEntry 3, di@example.com: The attachment"), std::string::npos)
      << run.out;
  EXPECT_EQ(server.MessagesPerRecipient(), (std::map<std::string, int>{{"ann@example.com", 1}}));

  dir.Write("tickets/T-3.pdf", ticket);
  run = Cli({"send", dir.File("p.prj"), "--settings", settings, "--resume"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessagesPerRecipient(),
            (std::map<std::string, int>{{"ann@example.com", 1}, {"di@example.com", 1}}));
}

TEST_F(AttachmentCliTest, ComposePrintsTheWholeMessageAsItGoesAfterData) {
  const CliRun run = Cli({"compose", dir.File("p.prj"), "3", "--settings", Settings("localhost")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Content-Type: multipart/mixed;"), std::string::npos);
  const std::string printed = dir.Write("di.eml", run.out);
  EXPECT_EQ(testing::AttachmentsParsedByPython(printed),
            "T-3.pdf\tapplication/pdf\t" + std::to_string(ticket.size() + 6) + "\t" +
                Sha256Hex(ticket + " three") + "\n");
  // An entry whose file cannot go: no message, and why.
  const CliRun missing = Cli({"compose", dir.File("p.prj"), "1", "--settings", Settings("localhost")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("T-1.pdf\" cannot be sent: the file does not exist"), std::string::npos)
      << missing.err;
}

}  // namespace
}  // namespace postrider
