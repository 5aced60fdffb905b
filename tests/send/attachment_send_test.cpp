#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "send/attachment_problems_prompt.h"
#include "send/send_run.h"
#include "support/entry_lists.h"
#include "support/python_mail_parser.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::Statuses;
using testing::TempDir;
using testing::TestProject;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

class RecordingProblemsPrompt : public IAttachmentProblemsPrompt {
 public:
  bool UnselectAndGoOn(const std::vector<AttachmentProblem>& problems) override {
    asked.push_back(problems);
    return answer;
  }
  bool answer = false;
  std::vector<std::vector<AttachmentProblem>> asked;
};

// Runs `action` when the run takes up entry `at` (counted from 1).
class ProgressHook : public ISendRunReport {
 public:
  void EntryRefused(int, const std::string&, const std::string&) override {}
  void EntryBadAddress(int, const std::string&, const std::string&) override {}
  void EntryNotSent(int entry, const std::string& address, const std::string& reason) override {
    notSent.push_back(std::to_string(entry) + " " + address + ": " + reason);
  }
  void Progress(int takenUp, int) override {
    if (takenUp == at && action) action();
  }
  int at = 0;
  std::function<void()> action;
  std::vector<std::string> notSent;
};

// A programme for everyone and an invoice of each recipient's own, beside a
// secret outside the invoices' folder that no list value may reach.
class AttachmentSendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    invoices = folder.path() + "/invoices/";
    std::filesystem::create_directories(invoices);
    programme = RandomBytes(300 * 1000, 1);
    folder.Write("Programm für alle.pdf", "%PDF-1.4\n" + programme);
    folder.Write("secret.txt", "not for the list");
    std::filesystem::create_symlink(folder.path() + "/secret.txt", invoices + "link.pdf");
  }

  void Open(const std::vector<std::string>& invoiceValues, bool withFiles = true) {
    std::string list = "Name\tEmail\tInvoice\n";
    for (std::size_t i = 0; i < invoiceValues.size(); ++i) {
      list += "P" + std::to_string(i) + "\tp" + std::to_string(i) + "@example.com\t" +
              invoiceValues[i] + "\n";
    }
    TestProject project(list, std::string(32000, '\x80'));
    project.letterText = "To: \nFrom: \nSubject: Your invoice\n" +
                         (withFiles ? "[[Attachment:  Programm für alle.pdf]]\n"
                                      "[[Attachment:  " + invoices + "[[Invoice]].pdf]]\n"
                                    : std::string()) +
                         "Dear [[Name]],\nyour invoice [[Invoice]] is attached.\n";
    ASSERT_TRUE(recorded.Open(folder.path(), project));
  }

  std::string WriteInvoice(const std::string& name, unsigned seed) {
    const std::string bytes = "%PDF-1.4\n" + RandomBytes(20000 + seed * 7, seed);
    folder.Write("invoices/" + name + ".pdf", bytes);
    return bytes;
  }

  // What Python's mail package finds attached to the server's n-th message.
  std::string Received(const ScriptedSmtpServer& server, int n) {
    const std::string path = folder.Write("received-" + std::to_string(n) + ".eml", server.Message(n));
    return testing::AttachmentsParsedByPython(path);
  }

  std::string Expected(const std::string& invoiceName, const std::string& invoice) {
    return "Programm für alle.pdf\tapplication/pdf\t" + std::to_string(programme.size() + 9) + "\t" +
           Sha256Hex("%PDF-1.4\n" + programme) + "\n" + invoiceName + ".pdf\tapplication/pdf\t" +
           std::to_string(invoice.size()) + "\t" + Sha256Hex(invoice) + "\n";
  }

  SendRunResult Send(const ScriptedSmtpServer& server) {
    settings.smtpServer = server.address();
    return controller.OnSend(recorded.document, settings);
  }

  TempDir folder;
  std::string invoices;
  std::string programme;
  RecordedDocument recorded;
  UserSettings settings{.realName = "Club", .returnAddress = "club@example.com"};
  RecordingProblemsPrompt problems;
  ProgressHook report;
  SendController controller{
      SendRunHost{.prompts = recorded.prompts, .frame = recorded.frame, .report = &report,
                  .attachmentProblems = &problems},
      testing::UniformTimeouts()};
};

TEST_F(AttachmentSendTest, EachRecipientGetsTheFileForEveryoneAndTheirOwnByteForByte) {
  const std::string first = WriteInvoice("INV-1", 1);
  const std::string second = WriteInvoice("Überweisung Nr. 2", 2);
  const std::string third = WriteInvoice("INV-3", 3);
  Open({"INV-1", "Überweisung Nr. 2", "INV-3"});
  ScriptedSmtpServer server({.pipelining = true});

  const SendRunResult result = Send(server);

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 3);
  EXPECT_TRUE(problems.asked.empty());
  ASSERT_EQ(server.MessageCount(), 3);
  EXPECT_EQ(Received(server, 1), Expected("INV-1", first));
  EXPECT_EQ(Received(server, 2), Expected("Überweisung Nr. 2", second));
  EXPECT_EQ(Received(server, 3), Expected("INV-3", third));
  const std::string text = testing::ParsedByPython(folder.path() + "/received-2.eml");
  EXPECT_TRUE(text.ends_with("Dear P1,|your invoice Überweisung Nr. 2 is attached.|")) << text;
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(3, StatusSent));
}

TEST_F(AttachmentSendTest, ProblemsBeforeTheRunSendNothingOrUnselectTheirEntries) {
  const std::string good = WriteInvoice("INV-1", 1);
  const std::string big = WriteInvoice("big", 9);
  folder.Write("invoices/big.pdf", std::string(80 * 1000, 'b'));
  // A missing file, values that lead out of the folder, a link out of it,
  // a file too large for the server's SIZE.
  Open({"INV-1", "INV-404", "../secret", "~/secret", "link", "big"});
  ScriptedSmtpServer server({.pipelining = true, .sizeLimit = 450 * 1000});
  recorded.frame.selectedCounts.clear();

  SendRunResult result = Send(server);

  ASSERT_EQ(problems.asked.size(), 1u);
  std::vector<std::string> found;
  for (const AttachmentProblem& problem : problems.asked[0]) {
    found.push_back(std::to_string(problem.entry) + " " + problem.recipient + " " +
                    problem.reason.substr(0, problem.reason.find(',')));
  }
  EXPECT_EQ(found, (std::vector<std::string>{
                       "1 p1@example.com the file does not exist",
                       "2 p2@example.com unsafe: the list's value \"../secret\" holds \"/\"",
                       "3 p3@example.com unsafe: the list's value \"~/secret\" holds \"/\"",
                       "4 p4@example.com unsafe: a symbolic link in it leads out of " + invoices,
                       "5 p5@example.com with its attachments the message would be about 521 KB"}));
  // Cancelled: not a single MAIL, no mark changed.
  EXPECT_EQ(server.MessageCount(), 0);
  for (const std::string& command : server.Commands()) EXPECT_FALSE(command.starts_with("MAIL"));
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(6, StatusNone));
  EXPECT_EQ(result.accepted, 0);
  // The pane shows the selection again, as before the Send.
  EXPECT_EQ(recorded.frame.selectedCounts, std::vector<long>{6});

  problems.answer = true;
  result = Send(server);
  EXPECT_EQ(problems.asked.size(), 2u);
  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 1);
  ASSERT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(server.MessagesPerRecipient(), (std::map<std::string, int>{{"p0@example.com", 1}}));
  EXPECT_EQ(Received(server, 1), Expected("INV-1", good));
  for (int entry = 1; entry < 6; ++entry) EXPECT_EQ(recorded.document.IsEntrySelected(entry), 0);
  (void)big;
}

TEST_F(AttachmentSendTest, AFileRemovedChangedOrReplacedAfterTheCheckLeavesItsEntryUnsentAndTheRunGoesOn) {
  std::vector<std::string> sent;
  for (int i = 0; i < 6; ++i) sent.push_back(WriteInvoice("INV-" + std::to_string(i), 10 + i));
  Open({"INV-0", "INV-1", "INV-2", "INV-3", "INV-4", "INV-5"});
  // Right after the check, before their messages are made (the next message
  // is made ahead while one goes out), with no wait for the file clock: entry
  // 2's file goes, entry 3's is written over with as many bytes, entry 4's is
  // replaced by another file of the same size.
  report.at = 1;
  report.action = [this, &sent] {
    std::filesystem::remove(invoices + "INV-2.pdf");
    std::string edited = sent[3];
    edited.back() ^= 1;
    folder.Write("invoices/INV-3.pdf", edited);
    folder.Write("invoices/other.tmp", sent[4]);
    std::filesystem::rename(invoices + "other.tmp", invoices + "INV-4.pdf");
  };
  ScriptedSmtpServer server({.pipelining = true});

  const SendRunResult result = Send(server);

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(result.accepted, 3);
  EXPECT_EQ(result.attachmentFailed, 3);
  EXPECT_EQ(server.MessagesPerRecipient(),
            (std::map<std::string, int>{{"p0@example.com", 1}, {"p1@example.com", 1}, {"p5@example.com", 1}}));
  EXPECT_EQ(Received(server, 3), Expected("INV-5", sent[5]));
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusSent, StatusNone, StatusNone, StatusNone, StatusSent}));
  const std::string changed = "\" cannot be sent: it changed after the check before the run";
  EXPECT_EQ(report.notSent,
            (std::vector<std::string>{
                "2 p2@example.com: The attachment \"" + invoices + "INV-2.pdf\" cannot be sent: the file does not exist",
                "3 p3@example.com: The attachment \"" + invoices + "INV-3.pdf" + changed,
                "4 p4@example.com: The attachment \"" + invoices + "INV-4.pdf" + changed}));
  const std::string finalBox = recorded.prompts.messageTexts().back();
  EXPECT_NE(finalBox.find("p2@example.com"), std::string::npos) << finalBox;
  EXPECT_NE(finalBox.find("INV-3.pdf\" cannot be sent: it changed"), std::string::npos) << finalBox;
  EXPECT_NE(finalBox.find("INV-4.pdf\" cannot be sent: it changed"), std::string::npos) << finalBox;
}

// A run that began with a letter without files, given an attachment line
// while it goes: no file was checked, so the rest wait, never sent without it.
TEST_F(AttachmentSendTest, AnAttachmentLineAddedToALetterWithoutFilesDuringTheRunLeavesTheRestUnsent) {
  WriteInvoice("INV-1", 1);
  Open({"INV-0", "INV-1", "INV-2"}, false);
  report.at = 1;
  report.action = [this] {
    recorded.messageView.InsertAtStart("[[Attachment:  " + invoices + "[[Invoice]].pdf]]\n");
  };
  ScriptedSmtpServer server({.pipelining = true});

  const SendRunResult result = Send(server);

  EXPECT_EQ(result.accepted, 1);
  EXPECT_EQ(result.attachmentFailed, 2);
  EXPECT_EQ(server.MessagesPerRecipient(), (std::map<std::string, int>{{"p0@example.com", 1}}));
  EXPECT_EQ(Statuses(recorded.document), (std::vector<int>{StatusSent, StatusNone, StatusNone}));
  ASSERT_EQ(report.notSent.size(), 2u);
  EXPECT_NE(report.notSent[0].find("INV-1.pdf\" cannot be sent: it was not checked before the run"),
            std::string::npos) << report.notSent[0];
}

TEST_F(AttachmentSendTest, APausedRunResumesWithTheFilesAndMailsEachRecipientOnce) {
  std::vector<std::string> invoicesSent;
  for (int i = 0; i < 4; ++i) invoicesSent.push_back(WriteInvoice("INV-" + std::to_string(i), 20 + i));
  Open({"INV-0", "INV-1", "INV-2", "INV-3"});
  report.at = 2;
  report.action = [this] { controller.OnPause(); };
  ScriptedSmtpServer server({.pipelining = true});

  SendRunResult result = Send(server);
  EXPECT_TRUE(result.paused);
  report.action = nullptr;
  // No: go on where the run stopped.
  recorded.prompts.QueueYesNoAnswer(false);
  result = Send(server);

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(server.MessagesPerRecipient(),
            (std::map<std::string, int>{{"p0@example.com", 1}, {"p1@example.com", 1},
                                        {"p2@example.com", 1}, {"p3@example.com", 1}}));
  EXPECT_EQ(Received(server, 4), Expected("INV-3", invoicesSent[3]));
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(4, StatusSent));
}

}  // namespace
}  // namespace postrider
