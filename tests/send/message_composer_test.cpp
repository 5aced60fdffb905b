#include "send/message_composer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "project/document_views.h"
#include "project/project_file.h"
#include "support/scoped_time_zone.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ScopedTimeZone;

constexpr std::time_t kDecember8 = 1796706478;  // 2026-12-08 05:07:58 UTC
constexpr const char* kId = "<fixed.1@example.net>";

// A message pane whose working copy differs from the saved letter.
class EditedMessageView : public IMessageView {
 public:
  EditedMessageView(CPostridrDoc& doc, std::string body) : doc_(doc), body_(std::move(body)) {}
  void LoadFromDocument() override {}
  void UpdateDocument() override { doc_.SetBody(body_); }
  void InsertAtCaret(const std::string&) override {}
  void InsertAtStart(const std::string&) override {}

 private:
  CPostridrDoc& doc_;
  std::string body_;
};

// A project on real files: a tab-delimited list of three entries, a letter,
// and the project file naming them.
class ComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.realName = "Sam Sender";
    settings_.returnAddress = "sam@example.net";
  }

  void OpenProject(const std::string& subject, const std::string& body,
                   int emailFieldIndex = 1) {
    const std::string list = dir_.Write("list.txt",
                                        "Name\tEmail\tCity\tNote\n"
                                        "Ann Smith\tann@example.com\tOslo\tok\n"
                                        "Bob\tbob@example.org\t[[Name]]\tM\xFCnchen\n"
                                        "Eve\tevil@example.com\rBcc: all@example.com\n");
    const std::string letter =
        dir_.Write("letter.txt", "To: Email\nFrom: \nSubject: " + subject + "\n" + body);
    ProjectFileKeys keys;
    keys.messageFile = letter;
    keys.listFile = list;
    keys.listSourceType = 0;
    keys.emailFieldName = "Email";
    keys.emailFieldIndex = emailFieldIndex;
    keys.entryStateFile = dir_.File("project.prh");
    const std::string project = dir_.File("project.prj");
    ASSERT_TRUE(WriteProjectFile(project, keys));
    ASSERT_TRUE(doc_.OnOpenDocument(project));
    ASSERT_EQ(doc_.GetEntryCount(), 3);
  }

  std::string Compose(int entry) {
    ComposeMessage(doc_, entry, settings_, kDecember8, kId, message_);
    return message_.text;
  }

  testing::TempDir dir_;
  CPostridrDoc doc_;
  UserSettings settings_;
  ComposedMessage message_;
  ScopedTimeZone zone_{"CET-1CEST,M3.5.0,M10.5.0/3"};
};

TEST_F(ComposeTest, SevenBitMessageGoesAsWritten) {
  OpenProject("Hello [[Name]]", "Dear [[Name]],\r\nGreetings to [[City]].\n[[Attachment:  /tmp/a.pdf]]\nBye");
  EXPECT_EQ(Compose(0),
            "To: ann@example.com\r\n"
            "From: Sam Sender <sam@example.net>\r\n"
            "Subject: Hello [[Name]]\r\n"
            "Date: Tue, 08 Dec 2026 06:07:58 +0100\r\n"
            "Message-ID: <fixed.1@example.net>\r\n"
            "\r\n"
            "Dear Ann Smith,\r\nGreetings to Oslo.\nBye");
  EXPECT_EQ(message_.attachments, std::vector<std::string>{"/tmp/a.pdf"});
}

TEST_F(ComposeTest, EightBitMessageGetsMimeHeadersAndEncodings) {
  settings_.realName = "J\xC3\xB6rg M\xC3\xBCller";
  OpenProject("Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln",
              "Liebe [[Name]],\nsch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e = viele Gr\xC3\xBC\xC3\x9F" "e \n");
  EXPECT_EQ(Compose(0),
            "To: ann@example.com\r\n"
            "From: =?UTF-8?B?SsO2cmcgTcO8bGxlcg==?= <sam@example.net>\r\n"
            "Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\r\n"
            "Date: Tue, 08 Dec 2026 06:07:58 +0100\r\n"
            "Message-ID: <fixed.1@example.net>\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "Liebe Ann Smith,\r\nsch=C3=B6ne Gr=C3=BC=C3=9Fe =3D viele Gr=C3=BC=C3=9Fe=20\r\n");
}

TEST_F(ComposeTest, EncodingIsDecidedOnTheMergedTextOfEachMessage) {
  OpenProject("Hi", "Note: [[Note]]");
  EXPECT_EQ(Compose(0).find("MIME-Version"), std::string::npos);
  EXPECT_NE(message_.text.find("\r\n\r\nNote: ok"), std::string::npos);

  // Bob's value is Latin-1: it is read as such, and his message alone is encoded.
  EXPECT_NE(Compose(1).find("charset=UTF-8\r\n"), std::string::npos);
  EXPECT_NE(message_.text.find("\r\n\r\nNote: M=C3=BCnchen"), std::string::npos);

  // A paragraph typed as one long line.
  doc_.SetBody(std::string(999, 'x'));
  EXPECT_NE(Compose(0).find("charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable"),
            std::string::npos);
  doc_.SetBody(std::string(998, 'x') + "\n" + std::string(998, 'x'));
  EXPECT_EQ(Compose(0).find("MIME-Version"), std::string::npos);
}

TEST_F(ComposeTest, EmptyLetterGivesOnlyTheHeaderLines) {
  settings_.realName = "";
  OpenProject("", "");
  EXPECT_EQ(Compose(1),
            "To: bob@example.org\r\n"
            "From:  <sam@example.net>\r\n"
            "Subject: \r\n"
            "Date: Tue, 08 Dec 2026 06:07:58 +0100\r\n"
            "Message-ID: <fixed.1@example.net>\r\n"
            "\r\n");
  EXPECT_TRUE(message_.attachments.empty());
}

TEST_F(ComposeTest, ValuesAreInsertedOnceAndNotScannedAgain) {
  OpenProject("Hi", "[[City]] [[name]] [[Name]][[City]]");
  const std::string text = Compose(1);
  EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "[[Name]] [[name]] Bob[[Name]]");
}

TEST_F(ComposeTest, LineBreaksInHeaderValuesBecomeBlanks) {
  settings_.realName = "Sam\r\nBcc: all@example.com";
  settings_.returnAddress = "sam@example.net\nX-Injected: 1";
  OpenProject("Hi", "Body");
  doc_.SetSubject("Hi\r\nBcc: all@example.com");
  const std::string text = Compose(2);
  const std::string header = text.substr(0, text.find("\r\n\r\n") + 2);
  EXPECT_EQ(header.find("\nBcc"), std::string::npos);
  EXPECT_EQ(header.find("\nX-Injected"), std::string::npos);
  EXPECT_NE(header.find("To: evil@example.com Bcc: all@example.com\r\n"), std::string::npos);
  EXPECT_NE(header.find("Subject: Hi  Bcc: all@example.com\r\n"), std::string::npos);
  EXPECT_NE(header.find("<sam@example.net X-Injected: 1>\r\n"), std::string::npos);
}

TEST_F(ComposeTest, TakesTheMessageViewsWorkingCopyFirst) {
  OpenProject("Hi", "saved text");
  EditedMessageView view(doc_, "edited for [[Name]]");
  doc_.AddView(&view);
  const std::string text = Compose(0);
  doc_.RemoveView(&view);
  EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "edited for Ann Smith");
}

TEST_F(ComposeTest, RecipientAddressIsTheEmailFieldsValue) {
  OpenProject("Hi", "x", 1);
  EXPECT_EQ(GetRecipientAddress(doc_, 0), "ann@example.com");
  EXPECT_EQ(GetRecipientAddress(doc_, 2), "evil@example.com\rBcc: all@example.com");
  EXPECT_EQ(GetRecipientAddress(doc_, 3), "");  // no such entry
  doc_.SetEmailFieldIndex(-1);
  EXPECT_EQ(GetRecipientAddress(doc_, 0), "");
  EXPECT_EQ(Compose(0).substr(0, 6), "To: \r\n");
}

TEST_F(ComposeTest, ReusedBuffersCarryNothingOverBetweenMessages) {
  OpenProject("Hi", "[[Attachment:  /a]]\r\n[[Name]] in [[City]]");
  Compose(0);
  doc_.SetBody("[[Name]]");
  std::string text = Compose(1);
  EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "Bob");
  EXPECT_TRUE(message_.attachments.empty());
  // An entry that cannot be read merges empty values.
  text = Compose(7);
  EXPECT_EQ(text.substr(0, 6), "To: \r\n");
  EXPECT_EQ(text.substr(text.find("\r\n\r\n") + 4), "");
}

TEST_F(ComposeTest, LongMessagesComposeWhole) {
  std::string body;
  for (int i = 0; i < 20000; ++i) body += "Line " + std::to_string(i) + " for [[Name]].\r\n";
  OpenProject("Hi", body);
  const std::string text = Compose(0);
  EXPECT_GT(text.size(), 500000u);
  EXPECT_NE(text.find("Line 19999 for Ann Smith.\r\n"), std::string::npos);
  EXPECT_EQ(text.find("[[Name]]"), std::string::npos);
}

TEST_F(ComposeTest, StampsEveryMessageWithTheTimeAndAFreshId) {
  OpenProject("Hi", "x");
  ComposeMessage(doc_, 0, settings_, message_);
  const std::string first = message_.text;
  ComposeMessage(doc_, 0, settings_, message_);
  auto idOf = [](const std::string& text) {
    const std::size_t start = text.find("\r\nMessage-ID: <") + 15;
    return text.substr(start, text.find("\r\n", start) - start);
  };
  EXPECT_NE(idOf(first), idOf(message_.text));
  EXPECT_NE(idOf(first).find("@example.net>"), std::string::npos);
  EXPECT_NE(first.find("\r\nDate: "), std::string::npos);
}

// A run composes every message with one composer; what it keeps from one
// message to the next must never show: each message is what a composer of
// its own makes, edits made meanwhile included.
TEST_F(ComposeTest, AComposerKeptForARunMakesWhatAFreshOneMakesWhateverChangesMeanwhile) {
  OpenProject("Hi [[Name]]", "Dear [[Name]] in [[City]],\r\n[[Attachment:  /a]]\r\n[[Note]]");
  MessageComposer composer;
  ComposedMessage kept;
  const auto expectSameAsFresh = [&](int entry, const std::string& step) {
    composer.Compose(doc_, entry, settings_, kDecember8, kId, kept);
    const std::string fresh = Compose(entry);
    EXPECT_EQ(kept.text, fresh) << step;
    EXPECT_EQ(kept.recipient, message_.recipient) << step;
    EXPECT_EQ(kept.attachments, message_.attachments) << step;
  };
  for (const int entry : {0, 1, 2, 1, 7}) expectSameAsFresh(entry, "entry " + std::to_string(entry));

  doc_.SetBody("Only [[City]]\n" + std::string(995, 'x') + "[[Name]]");
  expectSameAsFresh(0, "a longer letter, whose line the value makes too long");
  expectSameAsFresh(1, "the same letter, a short value");
  doc_.SetBody("Gr\xFC\xDF [[Name]]");  // Latin-1
  expectSameAsFresh(1, "a Latin-1 letter");
  doc_.SetSubject("Gr\xC3\xBC\xC3\x9F" "e");
  expectSameAsFresh(0, "a new subject");
  settings_.realName = "A.B. Library";
  expectSameAsFresh(0, "a new sender name");
  settings_.returnAddress = "post@m\xC3\xBCnchen.example";
  expectSameAsFresh(2, "a new return address");
  doc_.SetEmailFieldIndex(2);
  expectSameAsFresh(1, "another email field");

  EditedMessageView view(doc_, "typed during the run for [[Name]]");
  doc_.AddView(&view);
  composer.Compose(doc_, 0, settings_, kDecember8, kId, kept);
  doc_.RemoveView(&view);
  EXPECT_EQ(kept.text.substr(kept.text.find("\r\n\r\n") + 4), "typed during the run for Ann Smith");
}

// Runs Python's own mail parser over a composed message and gives back what
// it read: subject, sender name, sender address, body (LF line ends), the
// Date as seconds since the epoch, and the number of defects it found.
std::vector<std::string> ParseWithPython(const testing::TempDir& dir, const std::string& message) {
  const std::string script = dir.Write("parse.py", R"(
import sys, email
from email import policy
with open(sys.argv[1], 'rb') as f:
    msg = email.message_from_binary_file(f, policy=policy.default)
sender = msg['From'].addresses[0]
defects = len(msg.defects) + sum(len(msg[h].defects) for h in ('From', 'To', 'Subject'))
for text in (str(msg['Subject']), sender.display_name, sender.username + '@' + sender.domain,
             msg.get_content().replace('\r\n', '\n'),
             str(int(msg['Date'].datetime.timestamp())), str(defects)):
    print(text.encode('utf-8').hex())
)");
  const std::string file = dir.Write("message.eml", message);
  const std::string command = "/usr/bin/python3 " + script + " " + file + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string output;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  if (pclose(pipe) != 0) return {"python failed: " + output};
  std::vector<std::string> fields;
  std::istringstream lines(output);
  for (std::string hex; std::getline(lines, hex);) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    fields.push_back(text);
  }
  return fields;
}

TEST_F(ComposeTest, EightBitMessageReadsBackWithPythonsMailParser) {
  settings_.realName = "M\xC3\xBCller, J\xC3\xB6rg";
  const std::string longLine(1500, 'w');
  const std::string subject = "Gr\xC3\xBC\xC3\x9F" "e an Sie \xE2\x80\x94 " + std::string(60, 's') +
                              " \xF0\x9F\x98\x80 end";
  OpenProject(subject, "Liebe [[Name]],\r\n\xC3\xA4 = \xE2\x82\xAC\t\n.\n" + longLine + "\nEnde \n");
  const std::vector<std::string> parsed = ParseWithPython(dir_, Compose(0));
  ASSERT_EQ(parsed.size(), 6u) << (parsed.empty() ? "" : parsed[0]);
  EXPECT_EQ(parsed[0], subject);
  EXPECT_EQ(parsed[1], "M\xC3\xBCller, J\xC3\xB6rg");
  EXPECT_EQ(parsed[2], "sam@example.net");
  EXPECT_EQ(parsed[3], "Liebe Ann Smith,\n\xC3\xA4 = \xE2\x82\xAC\t\n.\n" + longLine + "\nEnde \n");
  EXPECT_EQ(parsed[4], std::to_string(kDecember8));
  EXPECT_EQ(parsed[5], "0");
}

TEST_F(ComposeTest, Latin1MessageReadsBackWithPythonsMailParser) {
  settings_.realName = "Ren\xE9 Dupont";
  OpenProject("Caf\xE9 cr\xE8me", "Ch\xE8re [[Name]],\nvoil\xE0.\n");
  const std::string text = Compose(0);
  // Read as Windows-1252 and written as UTF-8, as every message is.
  EXPECT_NE(text.find("charset=UTF-8\r\n"), std::string::npos);
  const std::vector<std::string> parsed = ParseWithPython(dir_, text);
  ASSERT_EQ(parsed.size(), 6u) << (parsed.empty() ? "" : parsed[0]);
  EXPECT_EQ(parsed[0], "Caf\xC3\xA9 cr\xC3\xA8me");
  EXPECT_EQ(parsed[1], "Ren\xC3\xA9 Dupont");
  EXPECT_EQ(parsed[3], "Ch\xC3\xA8re Ann Smith,\nvoil\xC3\xA0.\n");
  EXPECT_EQ(parsed[5], "0");
}

}  // namespace
}  // namespace postrider
