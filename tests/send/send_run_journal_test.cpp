// The send run keeps its journal as it goes: outcomes a project never saved
// are not forgotten, and a message the server may have is named.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/blocking_call.h"
#include "project/postridr_doc.h"
#include "project/send_journal_reader.h"
#include "send/send_run.h"
#include "support/entry_lists.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::TempDir;
using testing::TestProject;
namespace fs = std::filesystem;

std::string Address(int i) { return "person" + std::to_string(i) + "@example.com"; }

std::string ListOf(int entries) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < entries; ++i) {
    list += "Person " + std::to_string(i) + "\t" + (i == 1 ? "not an address" : Address(i)) + "\n";
  }
  return list;
}

using testing::Statuses;

class SendRunJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    projectPath = testing::WriteTestProject(folder.path(), TestProject(ListOf(5), std::string(32000, '\x80')));
    ASSERT_TRUE(recorded.document.OnOpenDocument(projectPath));
    recorded.prompts.ClearRecords();
  }
  void TearDown() override { SetBlockingHook({}); }

  SendRunResult Send(const ScriptedSmtpServer& server) {
    settings.smtpServer = server.address();
    return controller.OnSend(recorded.document, settings);
  }
  // The project as the next program to open it finds it, unsaved.
  std::vector<std::string> ReopenedNotices(std::vector<int>* statuses = nullptr) {
    RecordedDocument reopened;
    EXPECT_TRUE(reopened.document.OnOpenDocument(projectPath));
    if (statuses != nullptr) *statuses = Statuses(reopened.document);
    return reopened.prompts.messageTexts();
  }
  std::string JournalPath() { return recorded.document.GetSendJournalPath(); }

  TempDir folder;
  std::string projectPath;
  RecordedDocument recorded;
  UserSettings settings{.realName = "Sender", .returnAddress = "sender@example.com"};
  SendController controller{SendRunHost{recorded.prompts, recorded.frame},
                            testing::UniformTimeouts()};
};

TEST_F(SendRunJournalTest, EveryOutcomeIsKeptSoARunThatIsNeverSavedIsNotForgotten) {
  ScriptedSmtpServer server({.replies = {{"RCPT:" + Address(3), "550 5.1.1 No such user"}}});
  ASSERT_TRUE(Send(server).reachedEnd);
  ASSERT_TRUE(fs::exists(JournalPath()));

  std::vector<int> statuses;
  EXPECT_EQ(ReopenedNotices(&statuses),
            std::vector<std::string>{
                "The last send run of this project was not saved: 3 messages had been accepted "
                "by the server; their entries are marked sent."});
  EXPECT_EQ(statuses, Statuses(recorded.document));
  EXPECT_EQ(statuses, (std::vector<int>{StatusSent, StatusBadAddress, StatusSent,
                                        StatusBadAddress, StatusSent}));

  ASSERT_TRUE(recorded.document.OnSaveDocument(projectPath).ok());
  EXPECT_FALSE(fs::exists(JournalPath()));
  EXPECT_TRUE(ReopenedNotices().empty());
}

// Two entries chosen by hand and not saved, the run never saved either, the
// list re-sorted with a row put in before the project opens again.
TEST_F(SendRunJournalTest, ARunOnAChoiceNotSavedIsItsPeoplesAgainInAListEditedSince) {
  CPostridrDoc& document = recorded.document;
  document.UnselectAll();
  document.ToggleEntrySelection(2);
  document.ToggleEntrySelection(4);
  ScriptedSmtpServer server;
  ASSERT_TRUE(Send(server).reachedEnd);
  std::string edited = "Name\tEmail\nNew\t" + Address(9) + "\n";
  for (int i = 4; i >= 0; --i) {
    edited += "Person " + std::to_string(i) + "\t" + (i == 1 ? "not an address" : Address(i)) + "\n";
  }
  folder.Write("project.list", edited);

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  std::vector<int> selection;
  for (int i = 0; i < reopened.document.GetEntryCount(); ++i) {
    selection.push_back(reopened.document.IsEntrySelected(i));
  }
  EXPECT_EQ(selection, (std::vector<int>{0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{0, StatusSent, 0, StatusSent, 0, 0}));
  std::string notices;
  for (const std::string& text : reopened.prompts.messageTexts()) notices += text + "\n";
  EXPECT_NE(notices.find("The selection is the one the run was started with, which had not been "
                         "saved."),
            std::string::npos)
      << notices;
}

TEST_F(SendRunJournalTest, ASecondPauseCutsTheWaitForTheAnswerShortAndNamesTheRecipient) {
  ScriptedSmtpServer server({.delays = {{".", 5.0}}});
  int pauses = 0;
  SetBlockingHook([&] {
    if (pauses < 2 && server.MessageCount() >= 1) {
      ++pauses;
      controller.OnPause();
    }
  });

  const SendRunResult result = Send(server);
  SetBlockingHook({});

  EXPECT_TRUE(result.paused);
  EXPECT_EQ(result.failure.number(), 10004);
  EXPECT_EQ(recorded.document.GetEntryStatus(0), StatusNone);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
      "The message to " + Address(0) + " (entry 1) had been handed to the server, but its "
      "answer never came: it may have been delivered, and a resumed run sends it again."));

  const std::vector<std::string> notices = ReopenedNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("Entry 1 (" + Address(0) + ") had been handed to the server"),
            std::string::npos)
      << notices[0];
}

TEST_F(SendRunJournalTest, AConnectionLostAfterTheWholeMessageLeavesItInDoubt) {
  ScriptedSmtpServer server({.dropOn = {"."}});
  const SendRunResult result = Send(server);

  EXPECT_FALSE(result.reachedEnd);
  EXPECT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(recorded.document.GetEntryStatus(0), StatusNone);
  // The box names the entry by one number, as the desktop counts its rows.
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("Sending 1 of "));
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining(
      "The message to " + Address(0) + " (entry 1) had been handed to the server, but its "
      "answer never came: it may have been delivered"));
  const std::vector<std::string> notices = ReopenedNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("Entry 1 (" + Address(0) + ")"), std::string::npos) << notices[0];
}

TEST_F(SendRunJournalTest, AMessageTheServerRefusesAtItsEndIsSettledAsNotSent) {
  ScriptedSmtpServer server({.replies = {{".", "554 5.6.0 Message rejected"}}});
  const SendRunResult result = Send(server);

  EXPECT_EQ(result.failure.number(), 554);
  EXPECT_FALSE(recorded.prompts.ShowedMessageContaining("may have been delivered"));
  Result<std::optional<SendJournalContents>> journal = ReadSendJournal(JournalPath());
  ASSERT_TRUE(journal.ok() && journal->has_value());
  ASSERT_EQ((*journal)->runs.size(), 1u);
  const std::vector<JournalEvent>& events = (*journal)->runs[0].events;
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].handedOver);
  EXPECT_FALSE(events[1].handedOver);
  EXPECT_EQ(events[1].status, StatusNone);
  EXPECT_EQ((*journal)->runs[0].lastIndexSent, 0);
}

TEST_F(SendRunJournalTest, AJournalThatCannotBeWrittenStopsTheRunBeforeAnythingIsSent) {
  fs::create_directories(JournalPath());
  ScriptedSmtpServer server;
  const SendRunResult result = Send(server);

  EXPECT_FALSE(result.connected);
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(5, StatusNone));
  // The box that says why is the run's one box: no figures of a run that never was.
  EXPECT_TRUE(result.notBegun);
  ASSERT_EQ(recorded.prompts.messages().size(), 1u);
  EXPECT_NE(recorded.prompts.messages()[0].text.find(JournalPath()), std::string::npos);
  EXPECT_NE(recorded.prompts.messages()[0].text.find("Nothing was sent"), std::string::npos);
}

TEST_F(SendRunJournalTest, ARunThatNeverReachesTheServerLeavesNoJournal) {
  ScriptedSmtpServer server;
  server.Stop();
  const SendRunResult result = Send(server);
  EXPECT_FALSE(result.connected);
  EXPECT_FALSE(fs::exists(JournalPath()));
}

}  // namespace
}  // namespace postrider
