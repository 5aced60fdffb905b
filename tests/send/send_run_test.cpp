#include "send/send_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/blocking_call.h"
#include "project/postridr_doc.h"
#include "support/entry_lists.h"
#include "support/free_port.h"
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
using testing::TempDir;
using testing::TestProject;

std::string Address(int i) { return "person" + std::to_string(i) + "@example.com"; }

// A tab list of Name and Email; `addresses` overrides chosen entries' addresses.
std::string ListOf(int entries, const std::vector<std::pair<int, std::string>>& addresses = {}) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < entries; ++i) {
    std::string address = Address(i);
    for (const auto& [index, text] : addresses) {
      if (index == i) address = text;
    }
    list += "Person " + std::to_string(i) + "\t" + address + "\n";
  }
  return list;
}

using testing::Statuses;

// The RCPT arguments the server saw, in order.
std::vector<std::string> Recipients(const ScriptedSmtpServer& server) {
  std::vector<std::string> recipients;
  for (const std::string& line : server.Commands()) {
    if (line.rfind("RCPT TO:<", 0) == 0) recipients.push_back(line.substr(9, line.size() - 10));
  }
  return recipients;
}

class ConfigureDialogDouble : public IConfigureDialog {
 public:
  bool Run(UserSettings& settings) override {
    ++shown;
    settings = answer;
    return true;
  }
  UserSettings answer;
  int shown = 0;
};

class SendRunTest : public ::testing::Test {
 protected:
  // Every entry starts selected unless the test gives marks of its own.
  void OpenProject(TestProject project) {
    if (project.marks == std::string(32000, '\0')) project.marks.assign(32000, '\x80');
    ASSERT_TRUE(recorded.Open(folder.path(), project));
    recorded.prompts.ClearRecords();
  }
  void Select(const std::vector<int>& entries) {
    recorded.document.UnselectAll();
    for (int i : entries) recorded.document.ToggleEntrySelection(i);
  }
  SendRunResult Send(const std::string& server) {
    settings.smtpServer = server;
    return controller.OnSend(recorded.document, settings);
  }
  std::string FinalBox() const {
    const auto& messages = recorded.prompts.messages();
    return messages.empty() ? "" : messages.back().text;
  }

  TempDir folder;
  RecordedDocument recorded;
  UserSettings settings{.realName = "Sender", .returnAddress = "sender@example.com"};
  ConfigureDialogDouble configure;
  SendController controller{SendRunHost{recorded.prompts, recorded.frame, &configure},
                            testing::UniformTimeouts()};
};

TEST_F(SendRunTest, TwoSelectedEntriesAreSentMarkedAndLoggedInOrder) {
  OpenProject(TestProject(ListOf(3)));
  Select({0, 2});
  const std::string logPath = folder.File("send.log");
  controller.SetLogPath(logPath);
  settings.log = 1;
  ScriptedSmtpServer server;

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(Statuses(recorded.document), (std::vector<int>{StatusSent, StatusNone, StatusSent}));
  EXPECT_EQ(Recipients(server), (std::vector<std::string>{Address(0), Address(2)}));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 0);
  EXPECT_EQ(recorded.frame.statusText, "Complete");
  EXPECT_EQ(FinalBox(), "Send Complete! Total Messages Sent: 2");
  const std::string time = R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}\n)";
  const std::regex log("\n-{51}\nStart Send at " + time + "\n" + Address(0) +
                       "\tIndex=0\tStatus=0\n" + Address(2) + "\tIndex=2\tStatus=0\n" +
                       "Send Complete at " + time + "\n\n");
  EXPECT_TRUE(std::regex_match(testing::ReadFileBytes(logPath), log))
      << testing::ReadFileBytes(logPath);
}

TEST_F(SendRunTest, BadAddressesAreMarkedCountedAndNeverSent) {
  OpenProject(TestProject(
      ListOf(5, {{0, "no-at-sign.example.com"}, {1, "has blank@example.com"}, {2, "a@b."},
                 {3, ".dot@example.com"}})));
  controller.SetLogPath(folder.File("send.log"));
  settings.log = 1;
  ScriptedSmtpServer server;

  Send(server.address());

  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusBadAddress, StatusBadAddress, StatusBadAddress,
                              StatusBadAddress, StatusSent}));
  EXPECT_EQ(Recipients(server), (std::vector<std::string>{Address(4)}));
  EXPECT_EQ(FinalBox(), "Send Complete! Total Messages Sent: 1 of 5 (bad address: 4)");
  const std::string log = testing::ReadFileBytes(folder.File("send.log"));
  EXPECT_EQ(log.find("Index=0"), std::string::npos);
  EXPECT_NE(log.find(Address(4) + "\tIndex=4\tStatus=0\n"), std::string::npos);
}

TEST_F(SendRunTest, RecipientRefusedWith550IsMarkedBadAndTheRunGoesOn) {
  OpenProject(TestProject(ListOf(3)));
  controller.SetLogPath(folder.File("send.log"));
  settings.log = 1;
  ScriptedSmtpServer server({.replies = {{"RCPT:" + Address(1), "550 5.1.1 No such user"}}});

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusBadAddress, StatusSent}));
  EXPECT_EQ(server.MessageCount(), 2);
  EXPECT_NE(testing::ReadFileBytes(folder.File("send.log")).find(Address(1) + "\tIndex=1\tStatus=550\n"),
            std::string::npos);
}

TEST_F(SendRunTest, ErrorAtEntryNineStopsThereAndAResumedRunSendsOnlyTheRest) {
  OpenProject(TestProject(ListOf(20)));
  {
    ScriptedSmtpServer failing({.replies = {{"RCPT:" + Address(9), "421 4.3.2 Shutting down"}}});
    const SendRunResult result = Send(failing.address());
    EXPECT_FALSE(result.reachedEnd);
    EXPECT_EQ(result.failure.number(), 421);
  }
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 9);
  EXPECT_EQ(recorded.frame.statusText, "Sending 10 of 20 - Error 421");
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("Shutting down"));
  std::vector<int> expected(20, StatusNone);
  std::fill(expected.begin(), expected.begin() + 9, StatusSent);
  EXPECT_EQ(Statuses(recorded.document), expected);

  recorded.prompts.QueueYesNoAnswer(false);  // No: go on from where it stopped
  ScriptedSmtpServer resumed;
  const SendRunResult result = Send(resumed.address());

  EXPECT_TRUE(result.reachedEnd);
  ASSERT_EQ(recorded.prompts.questions().size(), 1u);
  std::vector<std::string> rest;
  for (int i = 9; i < 20; ++i) rest.push_back(Address(i));
  EXPECT_EQ(Recipients(resumed), rest);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(20, StatusSent));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 0);
}

TEST_F(SendRunTest, AnUnsafeReturnAddressStopsTheRunInsteadOfFailingEveryRecipient) {
  TestProject project(ListOf(4));
  project.lastIndexSent = 1;
  OpenProject(project);
  recorded.prompts.QueueYesNoAnswer(false);
  settings.returnAddress = "Me <me@example.com>";
  ScriptedSmtpServer server;

  const SendRunResult result = Send(server.address());

  EXPECT_FALSE(result.reachedEnd);
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(Statuses(recorded.document), std::vector<int>(4, StatusNone));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 1);
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("return address"));
}

TEST_F(SendRunTest, ResumeAnsweredYesStartsFromTheBeginning) {
  TestProject project(ListOf(4));
  project.lastIndexSent = 2;
  OpenProject(project);
  recorded.prompts.QueueYesNoAnswer(true);
  ScriptedSmtpServer server;

  Send(server.address());

  EXPECT_EQ(Recipients(server),
            (std::vector<std::string>{Address(0), Address(1), Address(2), Address(3)}));
}

TEST_F(SendRunTest, TheQuestionBeforeARunNamesItsMessagesAndServerAndNoSendsNothing) {
  TestProject project(ListOf(6));
  project.lastIndexSent = 4;
  OpenProject(project);
  ScriptedSmtpServer server;
  const std::string address = server.address();

  // Resumed at entry 4: two messages, after the resume question.
  recorded.prompts.QueueYesNoAnswer(false);
  recorded.prompts.SetConfirmSendAnswer(false);
  const SendRunResult declined = Send(address);
  EXPECT_EQ(recorded.prompts.questions().size(), 1u);
  EXPECT_EQ(recorded.prompts.sendQuestions(),
            std::vector<std::string>{"Send 2 messages through " + address + "?"});
  EXPECT_TRUE(declined.declined);
  EXPECT_FALSE(declined.connected);
  // Not connected, nothing marked, no final box.
  EXPECT_TRUE(server.Commands().empty());
  EXPECT_TRUE(recorded.prompts.messages().empty());
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 4);
  EXPECT_FALSE(controller.IsSending());

  Select({5});
  recorded.prompts.QueueYesNoAnswer(false);
  recorded.prompts.SetConfirmSendAnswer(true);
  recorded.prompts.ClearRecords();
  EXPECT_TRUE(Send(address).reachedEnd);
  EXPECT_EQ(recorded.prompts.sendQuestions(),
            std::vector<std::string>{"Send 1 message through " + address + "?"});
  EXPECT_EQ(Recipients(server), std::vector<std::string>{Address(5)});

  // Nothing selected from the start: nothing to ask about.
  Select({});
  recorded.prompts.ClearRecords();
  Send(address);
  EXPECT_TRUE(recorded.prompts.sendQuestions().empty());
}

// Fields the list lacks are asked about once a run, a resumed one too, and
// go as written when the user says so.
TEST_F(SendRunTest, ALetterNamingFieldsTheListLacksIsAskedAboutOnceARun) {
  TestProject project(ListOf(4));
  project.letterText = "To: \nFrom:  \nSubject: Hi\nDear [[Name]], your code is [[Code]].\n";
  project.lastIndexSent = 2;
  OpenProject(project);
  ScriptedSmtpServer server;

  recorded.prompts.QueueYesNoAnswer(false);  // resume, not from the start
  recorded.prompts.QueueYesNoAnswer(true);
  EXPECT_TRUE(Send(server.address()).reachedEnd);
  ASSERT_EQ(recorded.prompts.questions().size(), 2u);
  EXPECT_EQ(recorded.prompts.questions().back(),
            "The letter names a field the mailing list does not have: [[Code]]. Each recipient "
            "would get it as written. Send anyway?");
  ASSERT_EQ(server.MessageCount(), 2);
  EXPECT_NE(server.Message(2).find("Dear Person 3, your code is [[Code]]."), std::string::npos)
      << server.Message(2);
}

TEST_F(SendRunTest, TheFinalBoxSaysHowManyRecordsAndFieldsTheListLeftOut) {
  std::string list = "Name\tEmail";
  for (int field = 2; field < 28; ++field) list += "\tF" + std::to_string(field);
  list += "\n";
  for (int i = 0; i < 32003; ++i) list += "Person\t" + Address(i) + std::string(26, '\t') + "\n";
  OpenProject(TestProject(list));
  Select({0});
  ScriptedSmtpServer server;

  Send(server.address());

  EXPECT_EQ(FinalBox(),
            "Send Complete! Total Messages Sent: 1\n"
            "The mailing list has 32003 records; only the first 32000 are used, so 3 are left "
            "out.\nThe mailing list has 28 fields; only the first 25 are used, so 3 are left out.");
}

// What a Send does with entries an earlier run reached: the question it
// asks, and what a No (a resume) leaves out.
TEST_F(SendRunTest, AResumeNeverMailsAnEntryMarkedSentAndSaysWhenNothingIsLeftToSend) {
  constexpr char kSelected = '\x80';
  constexpr char kSent = '\x81';
  constexpr char kHalted = '\x83';
  struct Case {
    const char* name;
    std::string marks;  // of four entries
    int lastIndexSent;
    bool answer;        // Yes: from the top
    const char* question;  // the start of the question asked, "" for none
    std::vector<int> mailed;
    int alreadySent;
  };
  const std::vector<Case> cases = {
      {"nothing marked", std::string(4, kSelected), 0, false, "", {0, 1, 2, 3}, 0},
      {"all sent, No", std::string(4, kSent), 0, false, "The last send went through", {}, 0},
      {"all sent, Yes", std::string(4, kSent), 0, true, "The last send went through",
       {0, 1, 2, 3}, 0},
      {"partly sent, No", {kSent, kSelected, kSent, kSelected}, 0, false, "2 of the 4 selected",
       {1, 3}, 2},
      {"stopped early, No", {kSent, kSent, kHalted, kSent}, 2, false, "Your last send operation",
       {2}, 1},
      {"stopped early, nothing after it", {kSent, kSent, kSent, kSent}, 2, false,
       "Your last send operation", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestProject project(ListOf(4), c.marks + std::string(32000 - 4, '\0'));
    project.lastIndexSent = c.lastIndexSent;
    std::remove(folder.File("project.prj.journal").c_str());  // the case before left one
    OpenProject(project);
    recorded.prompts.SetDefaultYesNoAnswer(c.answer);
    ScriptedSmtpServer server;

    const SendRunResult result = Send(server.address());

    std::vector<std::string> mailed;
    for (int i : c.mailed) mailed.push_back(Address(i));
    EXPECT_EQ(Recipients(server), mailed);
    if (*c.question == '\0') {
      EXPECT_TRUE(recorded.prompts.questions().empty());
    } else {
      ASSERT_EQ(recorded.prompts.questions().size(), 1u);
      EXPECT_EQ(recorded.prompts.questions()[0].rfind(c.question, 0), 0u)
          << recorded.prompts.questions()[0];
    }
    if (c.mailed.empty()) {
      // Nothing to resume: said so, and no run, no final box.
      EXPECT_TRUE(result.notBegun);
      EXPECT_TRUE(server.Commands().empty());
      EXPECT_EQ(recorded.prompts.messageTexts(),
                std::vector<std::string>{
                    c.lastIndexSent > 0
                        // Index 2 is the third of the rows, which count from 1.
                        ? "There is nothing to resume: no selected entry from entry 3 on is "
                          "waiting to be sent; each is marked sent or has a bad address. Nothing "
                          "was sent."
                        : "There is nothing to resume: no selected entry is waiting to be sent; "
                          "each is marked sent or has a bad address. Nothing was sent."});
      EXPECT_EQ(recorded.document.GetEntryMarks().block()[0], static_cast<std::uint8_t>(kSent));
    } else {
      EXPECT_TRUE(result.reachedEnd);
      EXPECT_EQ(Statuses(recorded.document), std::vector<int>(4, StatusSent));
      EXPECT_EQ(result.alreadySent, c.alreadySent);
    }
  }
}

TEST_F(SendRunTest, ConnectionThatFailsKeepsTheStartPositionAndTouchesNoEntry) {
  std::string marks(32000, '\0');
  for (int i = 0; i < 10; ++i) marks[i] = static_cast<char>(0x80 | (i < 7 ? StatusSent : StatusHalted));
  TestProject project(ListOf(10), marks);
  project.lastIndexSent = 7;
  OpenProject(project);
  recorded.prompts.QueueYesNoAnswer(false);

  const SendRunResult result =
      Send("127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()));

  EXPECT_FALSE(result.reachedEnd);
  EXPECT_NE(result.failure.number(), 0);
  EXPECT_FALSE(result.connected);
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 7);
  // What the last run did with entries 7 to 9 is not forgotten for nothing.
  std::vector<int> before(10, StatusSent);
  std::fill(before.begin() + 7, before.end(), StatusHalted);
  EXPECT_EQ(Statuses(recorded.document), before);
  EXPECT_EQ(result.notReached, 3);
  EXPECT_EQ(recorded.frame.statusText, "");
  EXPECT_TRUE(recorded.prompts.ShowedMessageContaining("Socket connect failed\n127.0.0.1 port "));
  EXPECT_EQ(FinalBox(),
            "Send stopped by an error before the first message. Accepted by the server: 0, "
            "refused by the server: 0, bad address: 0, not reached: 3.");
}

// Ended before the server was reached, with the reason told: that one box,
// no final box of figures, no entry touched.
TEST_F(SendRunTest, ARunEndedBeforeItBeganTellsWhyOnceAndTouchesNothing) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* told;
  };
  const std::vector<Case> cases = {
      {"no password at hand", [&] { settings.userName = "library"; },
       "No password is at hand for library."},
      {"settings that make no session", [&] { settings.security = "sometimes"; },
       "The setting Security=sometimes"},
      {"a journal that cannot be opened",
       [&] { std::filesystem::create_directory(recorded.document.GetSendJournalPath()); },
       "Cannot write the send journal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenProject(TestProject(ListOf(3)));
    settings.userName.clear();
    settings.security.clear();
    c.arrange();
    ScriptedSmtpServer server;

    const SendRunResult result = Send(server.address());

    EXPECT_TRUE(result.notBegun);
    EXPECT_FALSE(result.connected);
    EXPECT_TRUE(server.Commands().empty());
    ASSERT_EQ(recorded.prompts.messageTexts().size(), 1u) << FinalBox();
    EXPECT_NE(FinalBox().find(c.told), std::string::npos) << FinalBox();
    EXPECT_EQ(Statuses(recorded.document), std::vector<int>(3, StatusNone));
    std::filesystem::remove_all(recorded.document.GetSendJournalPath());
  }
}

TEST_F(SendRunTest, NoEntrySelectedConnectsAndCompletesWithNothingSent) {
  OpenProject(TestProject(ListOf(3)));
  Select({});
  ScriptedSmtpServer server;

  const SendRunResult result = Send(server.address());

  EXPECT_TRUE(result.reachedEnd);
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(recorded.frame.statusText, "Complete");
  EXPECT_EQ(FinalBox(), "Send Complete! Total Messages Sent: 0");
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 0);
}

// A Pause that arrives between two messages halts the run at the next entry.
class PausingProjectView : public IProjectView {
 public:
  explicit PausingProjectView(SendController& controller) : controller_(controller) {}
  void FillList() override {}
  void RedrawList() override {}
  void ShowEntry(int index) override {
    if (index == pauseAfter) controller_.OnPause();
  }
  int pauseAfter = -1;

 private:
  SendController& controller_;
};

TEST_F(SendRunTest, PauseBetweenMessagesMarksTheNextEntryHaltedAndResumesThere) {
  OpenProject(TestProject(ListOf(5)));
  PausingProjectView pausing(controller);
  pausing.pauseAfter = 1;
  recorded.document.AddView(&pausing);
  ScriptedSmtpServer server;

  const SendRunResult result = Send(server.address());
  recorded.document.RemoveView(&pausing);

  EXPECT_FALSE(result.reachedEnd);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusSent, StatusHalted, StatusNone, StatusNone}));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 2);
  EXPECT_EQ(recorded.frame.statusText, "Sending 3 of 5");
  EXPECT_EQ(FinalBox(),
            "Send paused before the end of the list. Accepted by the server: 2, refused by the "
            "server: 0, bad address: 0, not reached: 3.");
}

TEST_F(SendRunTest, PauseWhileTheServerHoldsAMessageWaitsForItsAnswerThenHalts) {
  OpenProject(TestProject(ListOf(4)));
  ScriptedSmtpServer server({.delays = {{".", 1.0}}});
  // The hook runs while the client waits; once the first message is in, Pause.
  bool paused = false;
  SetBlockingHook([&] {
    if (!paused && server.MessageCount() >= 1) {
      paused = true;
      controller.OnPause();
    }
  });

  const SendRunResult result = Send(server.address());
  SetBlockingHook({});

  // Only the server's answer tells whether it took the message: it is
  // waited for, so the recipient is neither left in doubt nor mailed again.
  EXPECT_EQ(result.failure.number(), 0);
  EXPECT_TRUE(result.paused);
  EXPECT_EQ(server.MessageCount(), 1);
  EXPECT_EQ(Statuses(recorded.document),
            (std::vector<int>{StatusSent, StatusHalted, StatusNone, StatusNone}));
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 1);
  // A pause is no error: the pane keeps its progress text, as after a halt.
  EXPECT_EQ(recorded.frame.statusText, "Sending 2 of 4");
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{
                "Send paused before the end of the list. Accepted by the server: 1, refused by "
                "the server: 0, bad address: 0, not reached: 3."});
  EXPECT_FALSE(controller.IsSending());
}

TEST_F(SendRunTest, PauseWhileWaitingForAnyOtherAnswerStopsAtThatEntryAtOnce) {
  OpenProject(TestProject(ListOf(4)));
  ScriptedSmtpServer server({.delays = {{"DATA", 5.0}}});
  SetBlockingHook([&] {
    const std::vector<std::string> commands = server.Commands();
    if (!commands.empty() && commands.back() == "DATA") controller.OnPause();
  });

  const SendRunResult result = Send(server.address());
  SetBlockingHook({});

  EXPECT_EQ(result.failure.number(), 10004);
  EXPECT_TRUE(result.paused);
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(recorded.document.GetEntryStatus(0), StatusNone);
  EXPECT_EQ(recorded.document.GetLastIndexSent(), 0);
  EXPECT_EQ(recorded.prompts.messageTexts(),
            std::vector<std::string>{
                "Send paused before the end of the list. Accepted by the server: 0, refused by "
                "the server: 0, bad address: 0, not reached: 4."});
}

TEST_F(SendRunTest, MissingSettingsAreAskedForAndTheRunUsesTheAnswer) {
  OpenProject(TestProject(ListOf(1)));
  ScriptedSmtpServer server;
  settings = UserSettings{};
  configure.answer = UserSettings{.realName = "Configured",
                                  .returnAddress = "configured@example.com",
                                  .smtpServer = server.address()};

  controller.OnSend(recorded.document, settings);

  ASSERT_GE(recorded.prompts.messages().size(), 2u);
  EXPECT_EQ(recorded.prompts.messages()[0].text,
            "Some settings, such as your SMTP server name and return address, have not been "
            "configured.  Please configure these settings now.");
  EXPECT_EQ(configure.shown, 1);
  EXPECT_EQ(server.MessageCount(), 1);
  const std::vector<std::string> commands = server.Commands();
  EXPECT_NE(std::find_if(commands.begin(), commands.end(),
                         [](const std::string& command) {
                           return command.starts_with("MAIL FROM:<configured@example.com>");
                         }),
            commands.end());
}

TEST_F(SendRunTest, SendDuringARunIsIgnored) {
  OpenProject(TestProject(ListOf(2)));
  ScriptedSmtpServer server;
  SendRunResult nested;
  SetBlockingHook([&] {
    if (!nested.started) nested = controller.OnSend(recorded.document, settings);
  });

  Send(server.address());
  SetBlockingHook({});

  EXPECT_FALSE(nested.started);
  EXPECT_EQ(server.MessageCount(), 2);
}

using testing::ParsedByPython;

TEST_F(SendRunTest, EveryMessageThatArrivesParsesToTheIntendedTextNonAsciiIncluded) {
  TestProject project("Name\tEmail\nZo\u00eb\tzoe@example.com\nJos\u00e9\tjose@example.org\n");
  project.letterText = "To: \nFrom:  \nSubject: Caf\u00e9 evening\nDear [[Name]],\r\n"
                       "see you at the caf\u00e9.\r\n";
  OpenProject(project);
  settings.realName = "Ren\u00e9e Dupont";
  ScriptedSmtpServer server;

  Send(server.address());

  ASSERT_EQ(server.MessageCount(), 2);
  const std::vector<std::pair<std::string, std::string>> recipients = {
      {"Zo\u00eb", "zoe@example.com"}, {"Jos\u00e9", "jose@example.org"}};
  for (int n = 1; n <= 2; ++n) {
    const auto& [name, address] = recipients[n - 1];
    const std::string path = folder.Write("message-" + std::to_string(n) + ".eml", server.Message(n));
    EXPECT_EQ(ParsedByPython(path), "Caf\u00e9 evening\nRen\u00e9e Dupont <sender@example.com>\n" +
                                        address + "\nDear " + name + ",|see you at the caf\u00e9.|");
  }
}

}  // namespace
}  // namespace postrider
