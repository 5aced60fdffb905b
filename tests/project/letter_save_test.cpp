#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "project/message_file.h"
#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

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

  doc.messageView.body = "Hello [[Name]]\n";
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
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

}  // namespace
}  // namespace postrider
