#include "send/attachment_check.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "send/attachment_composition.h"
#include "send/attachment_run_check.h"
#include "send/message_composer.h"
#include "support/python_mail_parser.h"
#include "send/message_preview.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

// A letter with a programme for everyone and an invoice of each recipient's
// own, for a list whose invoice values are all that can go wrong.
class AttachmentCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Readable to anyone, for the part of the test that runs as nobody.
    std::filesystem::permissions(folder.path(), std::filesystem::perms(0755));
    invoices = folder.path() + "/invoices/";
    std::filesystem::create_directories(invoices + "folder.pdf");
    programme = folder.Write("programme.pdf", "%PDF-1.4 programme");
    folder.Write("secret.pdf", "%PDF-1.4 not for the list");
    folder.Write("invoices/INV-17.pdf", "%PDF-1.4 invoice 17");
    folder.Write("invoices/big.pdf", std::string(300 * 1000, 'b'));
    folder.Write("invoices/locked.pdf", "%PDF-1.4 locked");
    chmod((invoices + "locked.pdf").c_str(), 0);
    mkfifo((invoices + "pipe.pdf").c_str(), 0644);
    TestProject project(
        "Name\tEmail\tInvoice\n"
        "Ann\tann@example.com\tINV-17\n"
        "Bob\tbob@example.com\t../secret\n"
        "Cy\tcy@example.com\tINV-99\n"
        "Di\tdi@example.com\tbig\n"
        "Ed\ted@example.com\tfolder\n"
        "Flo\tflo@example.com\tpipe\n"
        "Gus\tgus@example.com\tlocked\n");
    project.letterText = "To: \nFrom: \nSubject: Your invoice\n"
                         "[[Attachment:  " + programme + "]]\n"
                         "[[Attachment:  invoices/[[Invoice]].pdf]]\n"
                         "Dear [[Name]],\n";
    ASSERT_TRUE(recorded.Open(folder.path(), project));
    recorded.document.SelectAll();
    settings.returnAddress = "office@example.net";
  }

  RunAttachmentCheck Check(std::optional<std::uint64_t> sizeLimit = std::nullopt) {
    return CheckRunAttachments(recorded.document, {0, 1, 2, 3, 4, 5, 6}, settings, sizeLimit);
  }

  TempDir folder;
  std::string invoices;
  std::string programme;
  RecordedDocument recorded;
  UserSettings settings;
};

// The reason found for entry 6's locked file by a user it is locked for.
std::string LockedReasonAsNobody(const std::function<RunAttachmentCheck()>& check) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(1);
    std::string reason = "no problem for entry 6";
    for (const AttachmentProblem& problem : check().problems) {
      if (problem.entry == 6) reason = problem.reason;
    }
    (void)!write(pipe[1], reason.data(), reason.size());
    _exit(0);
  }
  close(pipe[1]);
  std::string reason;
  char buffer[512];
  for (ssize_t got; (got = read(pipe[0], buffer, sizeof buffer)) > 0;) reason.append(buffer, got);
  close(pipe[0]);
  waitpid(child, nullptr, 0);
  return reason;
}

TEST_F(AttachmentCheckTest, EveryEntryWhoseFileCannotGoIsNamedWithItsReason) {
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, programme.c_str(), IN_OPEN), 0);
  ASSERT_GE(inotify_add_watch(watch, (folder.path() + "/secret.pdf").c_str(), IN_OPEN), 0);

  const RunAttachmentCheck result = Check(200 * 1000);
  EXPECT_TRUE(result.hasAttachments);
  std::vector<std::string> found;
  for (const AttachmentProblem& problem : result.problems) {
    found.push_back(std::to_string(problem.entry) + " " + problem.recipient + " " + problem.path +
                    ": " + problem.reason);
  }
  std::vector<std::string> expected = {
      "1 bob@example.com " + invoices + "../secret.pdf: unsafe: the list's value \"../secret\" holds "
      "\"/\", which could lead out of " + invoices,
      "2 cy@example.com " + invoices + "INV-99.pdf: the file does not exist",
      "3 di@example.com " + invoices + "big.pdf: with its attachments the message would be about "
      "412 KB, more than the 200 KB the server takes",
      "4 ed@example.com " + invoices + "folder.pdf: it is a folder, not a file",
      "5 flo@example.com " + invoices + "pipe.pdf: it is not a regular file",
  };
  if (geteuid() != 0) {
    expected.push_back("6 gus@example.com " + invoices + "locked.pdf: the file cannot be read: Permission denied");
  }
  EXPECT_EQ(found, expected);

  // The programme every message carries was opened once for seven entries,
  // and the file outside the invoices' folder never.
  char events[4096];
  const ssize_t got = read(watch, events, sizeof events);
  ASSERT_GT(got, 0);
  EXPECT_EQ(static_cast<std::size_t>(got), sizeof(inotify_event));
  EXPECT_EQ(reinterpret_cast<const inotify_event*>(events)->wd, 1);
  close(watch);

  // Root reads what it likes; the user it is locked for cannot.
  if (geteuid() == 0) {
    EXPECT_EQ(LockedReasonAsNobody([this] { return Check(); }),
              "the file cannot be read: Permission denied");
  }

  // A file of many gigabytes named by a list value is refused though the
  // server names no limit: its message would be built whole in memory.
  std::filesystem::resize_file(invoices + "big.pdf", 300ull * 1000 * 1000);
  std::string bigReason = "no problem for entry 3";
  for (const AttachmentProblem& problem : Check().problems) {
    if (problem.entry == 3) bigReason = problem.reason;
  }
  EXPECT_EQ(bigReason, "with its attachments the message would be about 410.5 MB, more than the "
                       "250.0 MB Postrider sends in one message");
}

TEST_F(AttachmentCheckTest, AProblemOfTheLetterIsNamedOnceForEveryEntry) {
  std::filesystem::remove(programme);
  std::string eleven;
  for (int i = 0; i < 11; ++i) eleven += "[[Attachment:  " + folder.path() + "/" + std::to_string(i) + "]]\n";
  for (int i = 0; i < 11; ++i) folder.Write(std::to_string(i), "x");
  const std::string huge = folder.Write("huge.iso", "");
  std::filesystem::resize_file(huge, 300ull * 1000 * 1000);
  const struct Case {
    std::string letter;
    std::string path;
    std::string reason;
  } cases[] = {
      {"[[Attachment:  " + programme + "]]\nHi\n", programme, "the file does not exist"},
      {"[[Attachment:  [[Invoice]].pdf]]\n", "[[Invoice]].pdf",
       "unsafe: the path names no folder before its first merge field, so the list's values "
       "would choose the folder"},
      {eleven, folder.path() + "/10",
       "the letter has 11 attachment lines; a message carries at most 10 files"},
      {"[[Attachment:  " + huge + "]]\n", "",
       "the files every message carries make it about 410.5 MB, more than the 250.0 MB "
       "Postrider sends in one message"},
  };
  for (const Case& c : cases) {
    recorded.messageView.body = c.letter;
    const RunAttachmentCheck result = Check();
    ASSERT_EQ(result.problems.size(), 1u) << c.letter;
    EXPECT_TRUE(result.problems[0].ForEveryEntry());
    EXPECT_EQ(result.problems[0].path, c.path);
    EXPECT_EQ(result.problems[0].reason, c.reason);
  }
  // A file for everyone too large for the server: once, not seven times.
  folder.Write("0", std::string(300 * 1000, 'x'));
  recorded.messageView.body = "[[Attachment:  " + folder.path() + "/0]]\n";
  const RunAttachmentCheck tooLarge = Check(100 * 1000);
  ASSERT_EQ(tooLarge.problems.size(), 1u);
  EXPECT_TRUE(tooLarge.problems[0].ForEveryEntry());
  // Without attachment lines there is nothing to check.
  recorded.messageView.body = "Dear [[Name]],\n";
  EXPECT_FALSE(Check().hasAttachments);
  EXPECT_TRUE(Check(10).problems.empty());
}

TEST_F(AttachmentCheckTest, PreviewListsEachFileWithItsTypeAndSizeAndSaysWhichCannotGo) {
  const MessagePreview ann = PreviewMessage(recorded.document, 0, settings);
  ASSERT_EQ(ann.attachments.size(), 2u);
  EXPECT_EQ(ann.attachments[0].name, "programme.pdf");
  EXPECT_EQ(ann.attachments[0].contentType, "application/pdf");
  EXPECT_EQ(ann.attachments[0].size, 18u);
  EXPECT_EQ(ann.attachments[1].name, "INV-17.pdf");
  EXPECT_EQ(ann.attachments[1].path, invoices + "INV-17.pdf");
  EXPECT_EQ(ann.attachments[1].problem, "");
  EXPECT_EQ(ann.skipReason, "");

  const MessagePreview cy = PreviewMessage(recorded.document, 2, settings);
  ASSERT_EQ(cy.attachments.size(), 2u);
  EXPECT_EQ(cy.attachments[1].problem, "the file does not exist");
  EXPECT_EQ(cy.skipReason,
            "An attachment of this entry cannot go (listed below): Send names it before the run "
            "begins, to unselect this entry or to cancel.");
  EXPECT_EQ(PreviewMessage(recorded.document, 1, settings).attachments[1].problem.rfind("unsafe: ", 0), 0u);
}

TEST_F(AttachmentCheckTest, AComposedMessageCarriesTheFileForEveryoneAndTheRecipientsOwn) {
  MessageAttachments attachments = AttachmentsOfDocument(
      recorded.document, CheckRunAttachments(recorded.document, {0}, settings, {}).checked);
  ComposedMessage composed;
  ComposeMessage(recorded.document, 0, settings, composed);
  const std::string plain = composed.text;
  ASSERT_TRUE(attachments.Carry(composed).ok());
  const std::string path = folder.Write("ann.eml", composed.text);
  EXPECT_EQ(testing::AttachmentsParsedByPython(path),
            "programme.pdf\tapplication/pdf\t18\t" + Sha256Hex("%PDF-1.4 programme") + "\n" +
                "INV-17.pdf\tapplication/pdf\t19\t" + Sha256Hex("%PDF-1.4 invoice 17") + "\n");
  const std::string parsed = testing::ParsedByPython(path);
  EXPECT_EQ(parsed.rfind("Your invoice\noffice@example.net\nann@example.com\n", 0), 0u) << parsed;
  EXPECT_TRUE(parsed.ends_with("Dear Ann,|")) << parsed;
  // The header lines are the plain message's, its body's MIME headers aside.
  EXPECT_EQ(composed.text.rfind(HeadLinesOf(plain) + "MIME-Version: 1.0\r\n", 0), 0u);
  EXPECT_EQ(HeadLinesOf("To: a\r\nMIME-Version: 1.0\r\nContent-Type: text/plain;\r\n charset=UTF-8\r\n"
                        "Date: x\r\n\r\nbody"),
            "To: a\r\nDate: x\r\n");

  // A recipient whose file cannot go gets no message, and the reason.
  ComposeMessage(recorded.document, 2, settings, composed);
  const std::string plainOfCy = composed.text;
  const Status missing = attachments.Carry(composed);
  EXPECT_EQ(missing.message(),
            "The attachment \"" + invoices + "INV-99.pdf\" cannot be sent: the file does not exist");
  EXPECT_EQ(composed.text, plainOfCy);

  // A file too large for any message fails its recipient's message before
  // memory is taken for it, checked before the run or not.
  std::filesystem::resize_file(invoices + "big.pdf", 300ull * 1000 * 1000);
  MessageAttachments unchecked = AttachmentsOfDocument(recorded.document);
  ComposeMessage(recorded.document, 3, settings, composed);
  const std::string plainOfDi = composed.text;
  EXPECT_EQ(unchecked.Carry(composed).message(),
            "The attachment \"" + invoices + "big.pdf\" cannot be sent: with it the message would "
            "be more than the 250.0 MB Postrider sends in one message");
  // Not printed when it fails: it would be the whole 400 MB message.
  EXPECT_TRUE(composed.text == plainOfDi) << "a message of " << composed.text.size() << " bytes";

  // More lines than a message carries: no message, never ten of them quietly.
  std::string lines;
  for (int i = 0; i < 11; ++i) lines += "[[Attachment:  " + folder.File("programme.pdf") + "]]\n";
  recorded.messageView.body = lines + "Dear [[Name]],\n";
  ComposeMessage(recorded.document, 0, settings, composed);
  const std::string plainOfEleven = composed.text;
  EXPECT_EQ(attachments.Carry(composed).message(),
            "the letter has more than 10 attachment lines; a message carries at most 10 files");
  EXPECT_EQ(composed.text, plainOfEleven);

  // A letter without attachment lines: the message is left as it is.
  recorded.messageView.body = "Dear [[Name]],\n";
  ComposeMessage(recorded.document, 0, settings, composed);
  const std::string without = composed.text;
  ASSERT_TRUE(attachments.Carry(composed).ok());
  EXPECT_EQ(composed.text, without);
}

}  // namespace
}  // namespace postrider
