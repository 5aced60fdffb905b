#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

TEST_F(LetterSaveTest, ALetterWhoseFileIsGoneIsWrittenAgain) {
  fs::remove(Letter());
  ASSERT_TRUE(doc.document.OnSaveDocument(dir.File("project.prj")).ok());
  EXPECT_EQ(ReadFileBytes(Letter()), "To: \nFrom:  \nSubject: Hello\nDear [[Name]],\n");
}

}  // namespace
}  // namespace postrider
