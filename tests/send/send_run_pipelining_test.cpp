// A run over a server that offers PIPELINING ends every entry, the resume
// point and the journal exactly as the same run without it would.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/blocking_call.h"
#include "project/postridr_doc.h"
#include "project/send_journal_reader.h"
#include "send/send_run.h"
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

std::string Address(int i) { return "person" + std::to_string(i) + "@example.com"; }

// Entry 3's address is no address, so the run skips it between two messages.
std::string ListOf(int entries) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < entries; ++i) {
    list += "Person " + std::to_string(i) + "\t" + (i == 3 ? "not an address" : Address(i)) + "\n";
  }
  return list;
}

// What a run left behind.
struct Ending {
  SendRunResult result;
  std::vector<int> statuses;
  int lastIndexSent = -1;
  std::vector<std::string> journal;  // "handed N" and "outcome N S", in order
  std::vector<std::string> recipients;  // of the messages that arrived whole
  bool quit = false;
};

using WaitHook =
    std::function<void(SendController&, const ScriptedSmtpServer&, CPostridrDoc&)>;

// One project and one run of it against a server started from script.
Ending RunAgainst(ServerScript script, bool pipelining, const WaitHook& duringWaits = {}) {
  TempDir folder;
  RecordedDocument recorded;
  const std::string path = testing::WriteTestProject(
      folder.path(), TestProject(ListOf(6), std::string(32000, '\x80')));
  EXPECT_TRUE(recorded.document.OnOpenDocument(path));
  UserSettings settings{.realName = "Sender", .returnAddress = "sender@example.com"};
  SendController controller{SendRunHost{recorded.prompts, recorded.frame},
                            testing::UniformTimeouts()};
  script.pipelining = pipelining;
  ScriptedSmtpServer server(script);
  settings.smtpServer = server.address();
  if (duringWaits) SetBlockingHook([&] { duringWaits(controller, server, recorded.document); });

  Ending ending;
  ending.result = controller.OnSend(recorded.document, settings);
  SetBlockingHook({});
  server.Stop();
  for (int i = 0; i < recorded.document.GetEntryCount(); ++i) {
    ending.statuses.push_back(recorded.document.GetEntryStatus(i));
  }
  ending.lastIndexSent = recorded.document.GetLastIndexSent();
  const auto journal = ReadSendJournal(recorded.document.GetSendJournalPath());
  if (journal.ok() && *journal && !(*journal)->runs.empty()) {
    for (const JournalEvent& event : (*journal)->runs.back().events) {
      ending.journal.push_back(event.handedOver ? "handed " + std::to_string(event.entry)
                                                : "outcome " + std::to_string(event.entry) +
                                                      " " + std::to_string(event.status));
    }
  }
  for (int n = 1; n <= server.MessageCount(); ++n) {
    const std::string message = server.Message(n);
    const auto to = message.find("To: ");
    if (message.empty() || to == std::string::npos) continue;
    std::string line = message.substr(to + 4, message.find("\r\n", to) - to - 4);
    const auto open = line.find('<');
    if (open != std::string::npos) line = line.substr(open + 1, line.find('>') - open - 1);
    ending.recipients.push_back(line);
  }
  for (const std::string& line : server.Commands()) ending.quit = ending.quit || line == "QUIT";
  return ending;
}

// Both runs' endings, each entry's and the journal's alike.
void ExpectSameEnding(const Ending& pipelined, const Ending& plain) {
  EXPECT_EQ(pipelined.statuses, plain.statuses);
  EXPECT_EQ(pipelined.lastIndexSent, plain.lastIndexSent);
  EXPECT_EQ(pipelined.journal, plain.journal);
  EXPECT_EQ(pipelined.recipients, plain.recipients);
  // A lost connection may read as a reset or as a close, whichever the
  // socket saw first: a transport error either way.
  if (pipelined.result.failure.number() < 10000 || plain.result.failure.number() < 10000) {
    EXPECT_EQ(pipelined.result.failure.number(), plain.result.failure.number());
  }
  EXPECT_EQ(pipelined.result.paused, plain.result.paused);
  EXPECT_EQ(pipelined.result.accepted, plain.result.accepted);
  EXPECT_EQ(pipelined.result.refused, plain.result.refused);
  EXPECT_EQ(pipelined.result.badAddress, plain.result.badAddress);
  EXPECT_EQ(pipelined.result.notReached, plain.result.notReached);
}

class SendRunPipeliningTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBlockingHook({}); }
};

TEST_F(SendRunPipeliningTest, RefusedAndBadAddressesAreMarkedAndTheRunGoesOnAsWithoutPipelining) {
  const ServerScript script{.replies = {{"RCPT:" + Address(1), "550 5.1.1 No such user"}}};
  const Ending pipelined = RunAgainst(script, true);
  ExpectSameEnding(pipelined, RunAgainst(script, false));

  EXPECT_TRUE(pipelined.result.reachedEnd);
  EXPECT_EQ(pipelined.statuses, (std::vector<int>{StatusSent, StatusBadAddress, StatusSent,
                                                  StatusBadAddress, StatusSent, StatusSent}));
  EXPECT_EQ(pipelined.lastIndexSent, 0);
  EXPECT_EQ(pipelined.recipients, (std::vector<std::string>{Address(0), Address(2), Address(4),
                                                            Address(5)}));
  // Each outcome when its answer came, in the list's order.
  EXPECT_EQ(pipelined.journal,
            (std::vector<std::string>{"handed 0", "outcome 0 1", "outcome 1 2", "handed 2",
                                      "outcome 2 1", "outcome 3 2", "handed 4", "outcome 4 1",
                                      "handed 5", "outcome 5 1"}));
  EXPECT_TRUE(pipelined.quit);
}

TEST_F(SendRunPipeliningTest, EveryFaultStopsTheRunAtTheSameEntryAsWithoutPipelining) {
  struct Fault {
    std::string name;
    ServerScript script;
    int stop;     // the entry the run stops at
    int arrived;  // messages the server got whole, refused ones too
  };
  const std::vector<Fault> faults = {
      {"MAIL refused", {.firstReplies = {{"MAIL#3", "550 5.7.1 Sender refused"}}}, 2, 2},
      {"RCPT 4xx", {.firstReplies = {{"RCPT#3", "450 4.2.0 Mailbox busy"}}}, 2, 2},
      {"DATA 4xx", {.firstReplies = {{"DATA#3", "451 4.3.0 Try later"}}}, 2, 2},
      {"DATA 5xx", {.firstReplies = {{"DATA#3", "554 5.3.0 No"}}}, 2, 2},
      {"end of data 5xx", {.firstReplies = {{".#2", "554 5.6.0 Content refused"}}}, 1, 2},
      {"end of data 4xx", {.firstReplies = {{".#2", "451 4.3.0 Queue full"}}}, 1, 2},
      {"421 at MAIL", {.firstReplies = {{"MAIL#3", "421 4.3.2 Closing"}}}, 2, 2},
      {"421 at end of data", {.firstReplies = {{".#2", "421 4.3.2 Closing"}}}, 1, 2},
      {"lost after RCPT",
       {.firstReplies = {{"RCPT#3", "250 OK"}}, .dropAfterReply = {"RCPT"}}, 2, 2},
      {"lost at MAIL", {.firstReplies = {{"MAIL#3", "250 OK"}}, .dropAfterReply = {"MAIL"}}, 2, 2},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const Ending pipelined = RunAgainst(fault.script, true);
    ExpectSameEnding(pipelined, RunAgainst(fault.script, false));
    EXPECT_NE(pipelined.result.failure.number(), 0);
    EXPECT_FALSE(pipelined.result.reachedEnd);
    EXPECT_EQ(pipelined.lastIndexSent, fault.stop);
    // The entry after the one that failed never got its message.
    ASSERT_EQ(pipelined.statuses.size(), 6u);
    for (int i = fault.stop; i < 6; ++i) EXPECT_EQ(pipelined.statuses[i], StatusNone) << i;
    EXPECT_EQ(pipelined.recipients.size(), static_cast<std::size_t>(fault.arrived));
  }
}

TEST_F(SendRunPipeliningTest, PauseWhileTheServerHoldsAMessageWaitsForItThenHaltsTheNextOne) {
  const ServerScript script{.delays = {{".", 1.0}}};
  const auto pauseOnce = [paused = false](SendController& controller,
                                          const ScriptedSmtpServer& server,
                                          CPostridrDoc&) mutable {
    if (!paused && server.MessageCount() >= 1) {
      paused = true;
      controller.OnPause();
    }
  };
  const Ending pipelined = RunAgainst(script, true, pauseOnce);
  ExpectSameEnding(pipelined, RunAgainst(script, false, pauseOnce));

  EXPECT_TRUE(pipelined.result.paused);
  EXPECT_EQ(pipelined.result.failure.number(), 0);
  EXPECT_EQ(pipelined.statuses, (std::vector<int>{StatusSent, StatusHalted, StatusNone,
                                                  StatusNone, StatusNone, StatusNone}));
  EXPECT_EQ(pipelined.lastIndexSent, 1);
  EXPECT_EQ(pipelined.recipients, std::vector<std::string>{Address(0)});
  // Entry 1's data was open: a QUIT would have been its text.
  EXPECT_FALSE(pipelined.quit);
}

TEST_F(SendRunPipeliningTest, ASecondPauseCutsTheWaitShortAndLeavesTheMessageInDoubt) {
  const ServerScript script{.delays = {{".", 5.0}}};
  const auto pauseTwice = [pauses = 0](SendController& controller,
                                       const ScriptedSmtpServer& server, CPostridrDoc&) mutable {
    if (pauses < 2 && server.MessageCount() >= 1) {
      ++pauses;
      controller.OnPause();
    }
  };
  const Ending pipelined = RunAgainst(script, true, pauseTwice);
  ExpectSameEnding(pipelined, RunAgainst(script, false, pauseTwice));

  EXPECT_TRUE(pipelined.result.paused);
  EXPECT_EQ(pipelined.result.failure.number(), 10004);
  EXPECT_EQ(pipelined.statuses[0], StatusNone);
  EXPECT_EQ(pipelined.statuses[1], StatusNone);
  EXPECT_EQ(pipelined.journal, std::vector<std::string>{"handed 0"});
}

TEST_F(SendRunPipeliningTest, AnEntryUnselectedAfterItsCommandsWentAheadIsNotSentAndTheRunGoesOn) {
  const ServerScript script{.delays = {{".", 0.3}}};
  const auto unselectOnce = [done = false](SendController&, const ScriptedSmtpServer& server,
                                           CPostridrDoc& document) mutable {
    if (!done && server.MessageCount() >= 1) {
      done = true;
      document.ToggleEntrySelection(1);
    }
  };
  const Ending pipelined = RunAgainst(script, true, unselectOnce);
  ExpectSameEnding(pipelined, RunAgainst(script, false, unselectOnce));

  EXPECT_TRUE(pipelined.result.reachedEnd);
  EXPECT_EQ(pipelined.result.failure.number(), 0);
  EXPECT_EQ(pipelined.statuses, (std::vector<int>{StatusSent, StatusNone, StatusSent,
                                                  StatusBadAddress, StatusSent, StatusSent}));
  EXPECT_EQ(pipelined.recipients,
            (std::vector<std::string>{Address(0), Address(2), Address(4), Address(5)}));
}

TEST_F(SendRunPipeliningTest, DataTakenForARefusedRecipientCarriesNoTextAndTheRunGoesOn) {
  const ServerScript script{.replies = {{"RCPT:" + Address(2), "550 5.1.1 No such user"}},
                            .dataWithoutRecipients = true};
  const Ending pipelined = RunAgainst(script, true);
  EXPECT_TRUE(pipelined.result.reachedEnd);
  EXPECT_EQ(pipelined.statuses, (std::vector<int>{StatusSent, StatusSent, StatusBadAddress,
                                                  StatusBadAddress, StatusSent, StatusSent}));
  // The bare end of data brings the server an empty message, to nobody.
  EXPECT_EQ(pipelined.recipients, (std::vector<std::string>{Address(0), Address(1), Address(4),
                                                            Address(5)}));
}

}  // namespace
}  // namespace postrider
