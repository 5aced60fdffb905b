#include <gtest/gtest.h>

#include <fstream>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "project/message_file.h"
#include "project/postridr_doc.h"
#include "support/list_only_wizard_pages.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ListOnlyWizardPages;
using testing::ReadFileBytes;
using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;
namespace fs = std::filesystem;

constexpr const char* kList = "Name\tEmail\nAnn\tann@x.org\n";

// The save writes the letter only when the letter changed: one the user may
// only read does not make the save fail, and a letter edited elsewhere in the
// meantime is not written over with the same words.
class LetterSaveTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList))); }
  std::string Letter() const { return dir.File("project-letter.txt"); }

  TempDir dir;
  RecordedDocument doc;
};

TEST_F(LetterSaveTest, AnUnchangedLetterIsNotWrittenEvenAfterSaveAs) {
  dir.Write("project-letter.txt", "To: \nFrom:  \nSubject: Edited elsewhere\nmeanwhile\n");
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("copy.prj")).ok());
  EXPECT_EQ(ReadFileBytes(Letter()), "To: \nFrom:  \nSubject: Edited elsewhere\nmeanwhile\n");
}

TEST_F(LetterSaveTest, AChangedSubjectOrTextIsWrittenAndThenCountsAsUnchanged) {
  doc.messageView.subject = "New subject";
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
  EXPECT_NE(ReadFileBytes(Letter()).find("Subject: New subject\n"), std::string::npos);

  dir.Write("project-letter.txt", "replaced");
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
  EXPECT_EQ(ReadFileBytes(Letter()), "replaced");

  // Replaced elsewhere since it was written: written again once the user says so.
  doc.prompts.QueueYesNoAnswer(true);
  doc.messageView.body = "Hello [[Name]]\n";
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
  EXPECT_EQ(doc.prompts.questions().size(), 1u);
  EXPECT_NE(ReadFileBytes(Letter()).find("Hello [[Name]]\n"), std::string::npos);
}

TEST_F(LetterSaveTest, AUtf16LetterIsLeftAsItIsUntilChangedThenWrittenAsUtf8) {
  TempDir wideDir;
  TestProject project(kList);
  project.letterText = "\xFF\xFE";
  for (const char c : std::string("To: \r\nFrom:  \r\nSubject: Caf\xE9\r\nHello [[Name]]\r\n")) {
    project.letterText += std::string{c, '\0'};
  }
  RecordedDocument wide;
  ASSERT_TRUE(wide.Open(wideDir.path(), project));
  const std::string letter = wideDir.File("project-letter.txt");
  ASSERT_TRUE(wide.document.OnSaveDocument(wideDir.File("project.prj")).ok());
  EXPECT_EQ(ReadFileBytes(letter), project.letterText);

  wide.messageView.body = "Hello again [[Name]]\r\n";
  ASSERT_TRUE(wide.document.OnSaveDocument(wideDir.File("project.prj")).ok());
  EXPECT_EQ(ReadFileBytes(letter).find('\0'), std::string::npos);
  Result<MessageContents> back = ReadMessageFile(letter);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->subject, "Caf\xC3\xA9");
  EXPECT_EQ(back->body, "Hello again [[Name]]\r\n");
}

TEST_F(LetterSaveTest, ALetterWhoseFileIsGoneIsWrittenAgain) {
  fs::remove(Letter());
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
  EXPECT_EQ(ReadFileBytes(Letter()), "To: \nFrom:  \nSubject: Hello\nDear [[Name]],\n");
}

// A save that would write the letter over what another program put in its
// file since asks first, naming the file; No, the answer Enter gives, leaves
// that file as it is and the project unsaved and modified, with the user's
// words still in it. Only a real difference counts: a file gone, touched or
// written again the same is no reason to ask.
TEST(LetterChangedElsewhereTest, AskedBeforeItIsReplacedAndNoKeepsIt) {
  const std::string kMine = "To: \nFrom:  \nSubject: Hello\nMy own words\n";
  // What the other program does to the letter's file.
  using Change = std::function<void(const TempDir&, const std::string&)>;
  const auto later = [](const std::string& path) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
  };
  const Change append = [](const TempDir&, const std::string& path) {
    std::ofstream(path, std::ios::app) << "P.S. added in an editor\n";
  };
  struct Case {
    const char* what;
    Change change;
    bool savedBefore;            // the user's words saved once before the change
    std::optional<bool> answer;  // none: must not be asked
    bool replaced;               // the file holds the user's letter afterwards
  };
  const std::vector<Case> cases = {
      {"appended to, No", append, false, false, false},
      {"appended to, Yes", append, false, true, true},
      {"appended to after the user's own save", append, true, false, false},
      {"renamed over, same size",
       [](const TempDir& dir, const std::string& path) {
         std::string other = ReadFileBytes(path);
         other.back() = '!';
         dir.Write("other.txt", other);
         fs::rename(dir.File("other.txt"), path);
       },
       false, false, false},
      {"written in place with as many bytes, later",
       [later](const TempDir& dir, const std::string& path) {
         std::string other = ReadFileBytes(path);
         other.back() = '!';
         dir.Write("project-letter.txt", other);
         later(path);
       },
       false, false, false},
      {"deleted", [](const TempDir&, const std::string& path) { fs::remove(path); }, false,
       std::nullopt, true},
      {"touched", [later](const TempDir&, const std::string& path) { later(path); }, false,
       std::nullopt, true},
      {"written again the same",
       [later](const TempDir& dir, const std::string& path) {
         dir.Write("project-letter.txt", ReadFileBytes(path));
         later(path);
       },
       true, std::nullopt, true},
      {"left alone", [](const TempDir&, const std::string&) {}, true, std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    RecordedDocument doc;
    ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
    const std::string letter = dir.File("project-letter.txt");
    const std::string project = dir.File("project.prj");
    if (c.savedBefore) {
      doc.messageView.body = "My earlier words\n";
      ASSERT_TRUE(doc.document.OnSaveDocument(project).ok());
    }
    doc.messageView.body = "My own words\n";
    c.change(dir, letter);
    const std::string before = ReadFileBytes(letter);
    if (c.answer) doc.prompts.QueueYesNoAnswer(*c.answer);

    const bool saved = doc.document.OnSaveDocument(project).ok();

    ASSERT_EQ(doc.prompts.questions().size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_NE(doc.prompts.questions()[0].find("\"" + letter + "\""), std::string::npos);
    }
    EXPECT_EQ(saved, c.replaced);
    EXPECT_EQ(doc.document.IsModified(), !c.replaced);
    EXPECT_EQ(ReadFileBytes(letter), c.replaced ? kMine : before);
    EXPECT_EQ(doc.document.GetBody(), "My own words\n");
    // Not saved is not saved: no box claims otherwise, and no box says it failed.
    EXPECT_TRUE(doc.prompts.messages().empty());
  }
}

// A new letter the wizard named is not there yet: one another program makes
// before the first save is theirs, not an empty file to write over.
TEST(LetterChangedElsewhereTest, ANewLetterMadeElsewhereBeforeTheFirstSaveIsAskedAbout) {
  TempDir dir;
  struct NamedLetterPages : ListOnlyWizardPages {
    using ListOnlyWizardPages::ListOnlyWizardPages;
    WizardPageResult ShowMessagePage(WizardMessagePage& page) override {
      page.messageFilePath = letter;
      return WizardPageResult::Next;
    }
    std::string letter;
  } pages(dir.Write("people.list", kList));
  pages.letter = dir.File("june.txt");
  RecordedDocument doc;
  ASSERT_TRUE(doc.document.OnNewDocument(pages));
  dir.Write("june.txt", "Written by someone else\n");
  doc.messageView.body = "Mine\n";
  EXPECT_FALSE(doc.document.OnSaveDocument(dir.File("june.prj")).ok());
  EXPECT_EQ(doc.prompts.questions().size(), 1u);
  EXPECT_EQ(ReadFileBytes(dir.File("june.txt")), "Written by someone else\n");
}

}  // namespace
}  // namespace postrider
