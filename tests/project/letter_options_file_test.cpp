#include <gtest/gtest.h>

#include <string>

#include "platform/sha256.h"
#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

constexpr const char* kList = "Name\tEmail\tCopy\nAnn\tann@x.org\tboss@x.org\n";

// The project file as the program writes it for a project that uses no
// letter option: the seven keys and the list's digest, nothing more.
std::string FileWithoutOptions() {
  return "[Settings]\nMessageFile=project-letter.txt\nDBFile=project.list\nDBFileType=0\n"
         "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=project.prh\nLastIndexSent=0\n"
         "ListDigest=" +
         Sha256Hex(kList) + "\n";
}

LetterOptions EveryOption() {
  LetterOptions options;
  options.format = MessageFormat::Markdown;
  options.mergeSubject = true;
  options.ccField = "Copy";
  options.bccField = "Email";
  options.bcc = "archive@x.org";
  options.replyTo = "  desk@x.org  ";  // blanks are kept by quoting
  options.unsubscribeMailto = "leave+[[Name]]@x.org";
  options.unsubscribeUrl = "https://x.org/leave?who=[[Email]]&list=june";
  return options;
}

class LetterOptionsFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList))); }

  std::string ProjectPath() const { return dir.File("project.prj"); }

  LetterOptions Reopened() {
    RecordedDocument again;
    EXPECT_TRUE(again.document.OnOpenDocument(ProjectPath()));
    return again.document.GetLetterOptions();
  }

  TempDir dir;
  RecordedDocument doc;
  CPostridrDoc& document = doc.document;
};

TEST_F(LetterOptionsFileTest, AProjectWithoutOptionsSavesTheFileItAlwaysSaved) {
  EXPECT_EQ(document.GetLetterOptions(), LetterOptions{});
  ASSERT_TRUE(document.OnSaveDocument(ProjectPath()).ok());
  EXPECT_EQ(ReadFileBytes(ProjectPath()), FileWithoutOptions());
  // Setting what is already set changes nothing, not even the modified flag.
  document.SetLetterOptions(LetterOptions{});
  EXPECT_FALSE(document.IsModified());
  ASSERT_TRUE(document.OnSaveDocument(ProjectPath()).ok());
  EXPECT_EQ(ReadFileBytes(ProjectPath()), FileWithoutOptions());
}

TEST_F(LetterOptionsFileTest, EveryOptionComesBackAndFollowsTheProjectsOwnKeys) {
  document.SetLetterOptions(EveryOption());
  EXPECT_TRUE(document.IsModified());
  ASSERT_TRUE(document.OnSaveDocument(ProjectPath()).ok());
  EXPECT_EQ(ReadFileBytes(ProjectPath()),
            FileWithoutOptions() +
                "MessageFormat=markdown\nMergeSubject=1\nCcField=Copy\nBccField=Email\n"
                "Bcc=archive@x.org\nReplyTo=\"  desk@x.org  \"\n"
                "UnsubscribeMailto=leave+[[Name]]@x.org\n"
                "UnsubscribeUrl=https://x.org/leave?who=[[Email]]&list=june\n");
  EXPECT_EQ(Reopened(), EveryOption());
}

TEST_F(LetterOptionsFileTest, OptionsTurnedOffAgainAreStoredOff) {
  document.SetLetterOptions(EveryOption());
  ASSERT_TRUE(document.OnSaveDocument(ProjectPath()).ok());
  document.SetLetterOptions(LetterOptions{});
  ASSERT_TRUE(document.OnSaveDocument(ProjectPath()).ok());
  EXPECT_EQ(Reopened(), LetterOptions{});
  EXPECT_EQ(ReadFileBytes(ProjectPath()),
            FileWithoutOptions() +
                "MessageFormat=text\nMergeSubject=0\nCcField=\nBccField=\nBcc=\nReplyTo=\n"
                "UnsubscribeMailto=\nUnsubscribeUrl=\n");
}

TEST_F(LetterOptionsFileTest, KeysAreReadWhateverTheirCaseAndAnUnknownFormatIsText) {
  const struct {
    const char* keys;
    MessageFormat format;
    bool mergeSubject;
  } cases[] = {
      {"messageformat=MarkDown\nmergesubject=1\n", MessageFormat::Markdown, true},
      {"MessageFormat=html\nMergeSubject=yes\n", MessageFormat::Text, false},
      {"MessageFormat=\nMergeSubject=2\n", MessageFormat::Text, true},
  };
  for (const auto& c : cases) {
    dir.Write("project.prj", FileWithoutOptions() + c.keys);
    const LetterOptions options = Reopened();
    EXPECT_EQ(options.format, c.format) << c.keys;
    EXPECT_EQ(options.mergeSubject, c.mergeSubject) << c.keys;
  }
}

TEST_F(LetterOptionsFileTest, ANewProjectStartsWithoutTheOptionsOfTheLastOne) {
  document.SetLetterOptions(EveryOption());
  ASSERT_TRUE(document.OnSaveDocument(ProjectPath()).ok());
  dir.Write("plain.prj", FileWithoutOptions());
  ASSERT_TRUE(document.OnOpenDocument(dir.File("plain.prj")));
  EXPECT_EQ(document.GetLetterOptions(), LetterOptions{});
}

}  // namespace
}  // namespace postrider
