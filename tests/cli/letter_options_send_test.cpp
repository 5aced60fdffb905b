#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "support/cli_runner.h"
#include "support/html5_outline.h"
#include "support/python_mail_parser.h"
#include "support/scripted_smtp_server.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::CliRun;
using testing::HeaderParsedByPython;
using testing::HtmlOutline;
using testing::MimeOutlineByPython;
using testing::ParseHtml5;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::TempDir;

const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02" "D\x01\x00;",
    43);

// Ann's Name holds everything a value could try; Bob's Cc is refused by the
// server; Cleo has no copies at all.
const std::string kList =
    "Name\tEmail\tCopies\tHidden\tId\n"
    "<script>alert(1)</script> **Ann** ](javascript:alert(1))\tann@example.com\t"
    "Bo Smith <bo@example.org>\tboss@example.org\t7&x=1\n"
    "Bob\tbob@example.com\trefused@example.org\t\t8\n"
    "Cleo\tcleo@example.com\t\t\t9\n";

const std::string kLetter =
    "To: \nFrom:  \nSubject: News for [[Name]]\n"
    "# Hello [[Name]]\n"
    "\n"
    "Your [page](https://example.org/p?id=[[Id]]).\n"
    "\n"
    "![Logo](logo.gif)\n";

const std::string kOptions =
    "MessageFormat=markdown\nMergeSubject=1\nCcField=Copies\nBccField=Hidden\n"
    "Bcc=me@example.org\nReplyTo=office@example.org\nUnsubscribeMailto=off@example.org\n"
    "UnsubscribeUrl=https://example.org/u?id=[[Id]]\n";

std::string Unescaped(const std::string& line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += line[i];
    }
  }
  return out;
}

// The decoded content under the outline's line that starts with `type`.
std::string PartContent(const std::string& outline, const std::string& type) {
  const std::size_t at = outline.find(type);
  if (at == std::string::npos) return {};
  const std::size_t start = outline.find_first_not_of(' ', outline.find('\n', at) + 1);
  return Unescaped(outline.substr(start, outline.find('\n', start) - start));
}

class LetterOptionsSendTest : public ::testing::Test {
 protected:
  std::string WriteProject(const std::string& options) const {
    dir.Write("letter.txt", kLetter);
    dir.Write("list.txt", kList);
    dir.Write("logo.gif", kGif);
    // Every entry selected.
    dir.Write("project.prh", std::string(3, '\x80') + std::string(32000 - 3, '\0'));
    return dir.Write("project.prj",
                     "[Settings]\nMessageFile=letter.txt\nDBFile=list.txt\nDBFileType=0\n"
                     "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=project.prh\n"
                     "LastIndexSent=0\n" + options);
  }
  std::string Settings(const std::string& server) const {
    return dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\n"
                                     "ReturnAddress=library@example.com\nSMTPServer=" +
                                         server + "\n");
  }
  CliRun Cli(const std::vector<std::string>& args) const {
    testing::CliOptions options;
    options.environment.push_back("XDG_STATE_HOME=" + dir.File("state"));
    return testing::RunPostriderCli(args, dir.path(), options);
  }
  std::string Statuses(const std::string& project) const {
    std::string statuses;
    const std::string out = Cli({"entries", project}).out;
    for (std::size_t line = 0; line < out.size(); line = out.find('\n', line) + 1) {
      const std::size_t tab = out.find('\t', out.find('\t', line) + 1);
      statuses += out[tab + 1];
    }
    return statuses;
  }

  TempDir dir;
};

TEST_F(LetterOptionsSendTest, EachRecipientGetsAFormattedMessageWithItsOwnHeadersAndCopies) {
  const std::string project = WriteProject(kOptions);
  ServerScript script;
  script.replies.push_back({"RCPT:refused@", "550 5.1.1 <refused@example.org>: no such user"});
  ScriptedSmtpServer server(script);
  const CliRun run = Cli({"send", project, "--settings", Settings(server.address())});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  server.WaitForMessages(3);

  // The envelope: the main recipient first, then Cc, the Bcc field's, the Bcc address.
  std::vector<std::string> rcpts;
  for (const std::string& command : server.Commands()) {
    if (command.rfind("RCPT", 0) == 0) rcpts.push_back(command);
  }
  EXPECT_EQ(rcpts, (std::vector<std::string>{
                       "RCPT TO:<ann@example.com>", "RCPT TO:<bo@example.org>",
                       "RCPT TO:<boss@example.org>", "RCPT TO:<me@example.org>",
                       "RCPT TO:<bob@example.com>", "RCPT TO:<refused@example.org>",
                       "RCPT TO:<me@example.org>", "RCPT TO:<cleo@example.com>",
                       "RCPT TO:<me@example.org>"}));
  // The refused Cc is told with the server's words; Bob's entry is sent all the same.
  EXPECT_NE(run.err.find("refused@example.org"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("550 5.1.1 <refused@example.org>: no such user"), std::string::npos)
      << run.err;
  EXPECT_EQ(Statuses(project), "111");

  const std::string ann = dir.Write("ann.eml", server.Message(1));
  const std::string name = "<script>alert(1)</script> **Ann** ](javascript:alert(1))";
  EXPECT_EQ(HeaderParsedByPython(ann, "Subject"), "News for " + name);
  EXPECT_EQ(HeaderParsedByPython(ann, "Cc"), "Bo Smith\tbo@example.org");
  EXPECT_EQ(HeaderParsedByPython(ann, "Bcc"), "None");
  EXPECT_EQ(server.Message(1).find("boss@"), std::string::npos);
  EXPECT_EQ(server.Message(1).find("me@example.org"), std::string::npos);
  EXPECT_EQ(HeaderParsedByPython(ann, "Reply-To"), "\toffice@example.org");
  EXPECT_EQ(HeaderParsedByPython(ann, "List-Unsubscribe"),
            "<mailto:off@example.org>, <https://example.org/u?id=7%26x%3D1>");
  EXPECT_EQ(HeaderParsedByPython(ann, "List-Unsubscribe-Post"), "List-Unsubscribe=One-Click");

  const std::string outline = MimeOutlineByPython(ann);
  EXPECT_EQ(outline.find("defects"), std::string::npos) << outline;
  EXPECT_EQ(outline.rfind("multipart/related type=multipart/alternative\n"
                          "  multipart/alternative\n"
                          "    text/plain charset=utf-8",
                          0),
            0u)
      << outline;
  EXPECT_NE(outline.find("\n  image/gif cte=base64 cid=<"), std::string::npos) << outline;
  // The plain part is the merged letter as written.
  EXPECT_EQ(PartContent(outline, "text/plain"),
            "# Hello " + name + "\n\nYour [page](https://example.org/p?id=7&x=1).\n\n"
            "![Logo](logo.gif)\n");
  const HtmlOutline html = ParseHtml5(PartContent(outline, "text/html"));
  ASSERT_TRUE(html.parsed);
  EXPECT_FALSE(html.HasTag("script"));
  EXPECT_FALSE(html.HasTag("strong"));
  EXPECT_NE(html.text.find("Hello " + name), std::string::npos) << html.text;
  EXPECT_EQ(html.Attribute("a.href"),
            std::vector<std::string>{"https://example.org/p?id=7%26x%3D1"});
  EXPECT_EQ(html.Attribute("img.src").at(0).rfind("cid:", 0), 0u);
  EXPECT_EQ(html.title, "News for " + name);

  const std::string cleo = dir.Write("cleo.eml", server.Message(3));
  EXPECT_EQ(HeaderParsedByPython(cleo, "Cc"), "None");
}

TEST_F(LetterOptionsSendTest, AFormattedLetterWithFilesIsMixedAroundItsFormattedParts) {
  const std::string pdf = "%PDF-1.4\n" + std::string(3000, '\x02') + "\xff end";
  dir.Write("guide.pdf", pdf);
  std::filesystem::create_directories(dir.File("tickets"));
  dir.Write("tickets/7.pdf", pdf + " seven");
  const std::string project = WriteProject(kOptions);
  // One file for everyone, one of each recipient's own; only Ann's exists.
  dir.Write("list.txt", "Name\tEmail\tCopies\tHidden\tId\n"
                        "<b>Ann</b>\tann@example.com\tBo <bo@example.org>\t\t7\n");
  dir.Write("letter.txt", "To: \nFrom:  \nSubject: News for [[Name]]\n"
                          "[[Attachment:  " + dir.File("guide.pdf") + "]]\n"
                          "[[Attachment:  " + dir.File("tickets") + "/[[Id]].pdf]]\n" +
                          kLetter.substr(kLetter.find("# Hello")));
  ScriptedSmtpServer server;
  const CliRun run = Cli({"send", project, "--settings", Settings(server.address())});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  server.WaitForMessages(1);
  std::vector<std::string> rcpts;
  for (const std::string& command : server.Commands()) {
    if (command.rfind("RCPT", 0) == 0) rcpts.push_back(command);
  }
  EXPECT_EQ(rcpts, (std::vector<std::string>{"RCPT TO:<ann@example.com>",
                                             "RCPT TO:<bo@example.org>",
                                             "RCPT TO:<me@example.org>"}));

  const std::string ann = dir.Write("ann.eml", server.Message(1));
  EXPECT_EQ(HeaderParsedByPython(ann, "Cc"), "Bo\tbo@example.org");
  const std::string outline = MimeOutlineByPython(ann);
  EXPECT_EQ(outline.find("defects"), std::string::npos) << outline;
  EXPECT_EQ(outline.rfind("multipart/mixed\n"
                          "  multipart/related type=multipart/alternative\n"
                          "    multipart/alternative\n"
                          "      text/plain charset=utf-8",
                          0),
            0u)
      << outline;
  EXPECT_NE(outline.find("\n    image/gif cte=base64 cid=<"), std::string::npos) << outline;
  // The attachment lines are in neither the text part nor the HTML.
  EXPECT_EQ(PartContent(outline, "text/plain"),
            "# Hello <b>Ann</b>\n\nYour [page](https://example.org/p?id=7).\n\n"
            "![Logo](logo.gif)\n");
  const HtmlOutline html = ParseHtml5(PartContent(outline, "text/html"));
  ASSERT_TRUE(html.parsed);
  EXPECT_FALSE(html.HasTag("b"));
  EXPECT_EQ(html.text.find("Attachment"), std::string::npos) << html.text;
  EXPECT_EQ(testing::AttachmentsParsedByPython(ann),
            "guide.pdf\tapplication/pdf\t" + std::to_string(pdf.size()) + "\t" + Sha256Hex(pdf) +
                "\n7.pdf\tapplication/pdf\t" + std::to_string(pdf.size() + 6) + "\t" +
                Sha256Hex(pdf + " seven") + "\n");

  // compose prints the same structure, files included.
  const CliRun composed = Cli({"compose", project, "0", "--settings", dir.File("settings.ini")});
  ASSERT_EQ(composed.exitCode, 0) << composed.err;
  EXPECT_EQ(MimeOutlineByPython(dir.Write("composed.eml", composed.out)).rfind(
                outline.substr(0, outline.find('\n')), 0),
            0u);
  EXPECT_EQ(testing::AttachmentsParsedByPython(dir.File("composed.eml")),
            testing::AttachmentsParsedByPython(ann));
}

TEST_F(LetterOptionsSendTest, WithPipeliningAMessageWithCopiesNeverGoesAheadWithoutThem) {
  const std::string project = WriteProject("CcField=Copies\n");
  ServerScript script;
  script.pipelining = true;
  script.replies.push_back({"RCPT:refused@", "550 5.1.1 <refused@example.org>: no such user"});
  ScriptedSmtpServer server(script);
  const CliRun run = Cli({"send", project, "--settings", Settings(server.address())});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  server.WaitForMessages(3);
  std::vector<std::string> rcpts;
  for (const std::string& command : server.Commands()) {
    if (command.rfind("RCPT", 0) == 0) rcpts.push_back(command);
  }
  EXPECT_EQ(rcpts, (std::vector<std::string>{
                       "RCPT TO:<ann@example.com>", "RCPT TO:<bo@example.org>",
                       "RCPT TO:<bob@example.com>", "RCPT TO:<refused@example.org>",
                       "RCPT TO:<cleo@example.com>"}));
  EXPECT_EQ(server.MessageCount(), 3);
  EXPECT_EQ(Statuses(project), "111");
  EXPECT_NE(run.err.find("entry 1: copy refused refused@example.org: 550 5.1.1"),
            std::string::npos)
      << run.err;
}

TEST_F(LetterOptionsSendTest, AnUnusableCcIsReportedBeforeTheRunAndNothingIsSent) {
  dir.Write("list.txt", "");
  const std::string project = WriteProject(kOptions);
  dir.Write("list.txt", "Name\tEmail\tCopies\tHidden\tId\nAnn\tann@example.com\tbo@\t\t1\n"
                        "Bob\tbob@example.com\t\t\t2\n");
  ScriptedSmtpServer server;
  const CliRun run = Cli({"send", project, "--settings", Settings(server.address())});
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("Entry 0 (ann@example.com): The Cc field \"Copies\": \"bo@\""),
            std::string::npos)
      << run.err;
  EXPECT_EQ(server.MessageCount(), 0);
  EXPECT_EQ(Statuses(project), "00");
}

TEST_F(LetterOptionsSendTest, AProjectWithoutOptionsOrWithThemAtTheirDefaultsComposesAsBefore) {
  const auto withoutStamp = [](std::string message) {
    for (const char* name : {"Date: ", "Message-ID: "}) {
      const std::size_t at = message.find(name);
      if (at != std::string::npos) message.erase(at, message.find("\r\n", at) + 2 - at);
    }
    return message;
  };
  Settings("127.0.0.1:1");
  const std::string plain = Cli({"compose", WriteProject(""), "0", "--settings",
                                 dir.File("settings.ini")}).out;
  ASSERT_NE(plain.find("Subject: News for [[Name]]\r\n"), std::string::npos) << plain;
  const std::string defaults =
      Cli({"compose", WriteProject("MessageFormat=text\nMergeSubject=0\nCcField=\nBcc=\n"), "0",
           "--settings", dir.File("settings.ini")})
          .out;
  EXPECT_EQ(withoutStamp(defaults), withoutStamp(plain));

  // compose prints the whole formatted message.
  const std::string formatted = Cli({"compose", WriteProject(kOptions), "0", "--settings",
                                     dir.File("settings.ini")}).out;
  EXPECT_NE(formatted.find("Content-Type: multipart/related;"), std::string::npos) << formatted;
  EXPECT_NE(formatted.find("\r\nList-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace postrider
