#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "project/open_checks.h"
#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr const char* kList = "Name\tEmail\tCity\nAnn\tann@x.org\tOslo\nBob\tbob@x.org\tRome\n";

class ProjectOpenChecksTest : public ::testing::Test {
 protected:
  TestProject Project(const std::string& list = kList) {
    TestProject project(list);
    project.emailFieldIndex = 1;
    project.emailFieldName = "Email";
    return project;
  }
  void Open(const TestProject& project) {
    doc.prompts.ClearRecords();
    ASSERT_TRUE(doc.Open(dir.path(), project));
  }
  std::string StoredKey(const char* key) {
    return ProfileFile::Load(dir.File("project.prj"))->GetString("Settings", key, "<none>");
  }

  TempDir dir;
  RecordedDocument doc;
  CPostridrDoc& document = doc.document;
};

TEST_F(ProjectOpenChecksTest, TheNamedEmailFieldIsFoundWhereverItsColumnMoved) {
  // Someone put a column in front of Email since the project was saved.
  Open(Project("Name\tCity\tEmail\nAnn\tOslo\tann@x.org\n"));
  EXPECT_EQ(document.GetEmailFieldIndex(), 2);
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The email field \"Email\" is column 3 of the mailing list; the project had "
                  "column 2. Addresses are taken from \"Email\"."});
  ListRecord record;
  ASSERT_TRUE(document.ReadListRecord(0, record));
  EXPECT_EQ(record.ValueAt(document.GetEmailFieldIndex()), "ann@x.org");

  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  EXPECT_EQ(StoredKey("EmailFieldIndex"), "2");
  Open(Project("Name\tCity\tEmail\nAnn\tOslo\tann@x.org\n"));
  EXPECT_EQ(document.GetEmailFieldIndex(), 2);

  // Where the name still matches, nothing is said.
  Open(Project());
  EXPECT_EQ(document.GetEmailFieldIndex(), 1);
  EXPECT_TRUE(doc.prompts.messages().empty());
}

TEST_F(ProjectOpenChecksTest, OfTwoColumnsNamedLikeTheEmailFieldTheChosenOneStaysOrNoneIsGuessed) {
  // A work and a home address under one name; the project mails the home one.
  TestProject project = Project("Name\tEmail\tEmail\nAnn\twork@x.org\thome@x.org\n");
  project.emailFieldIndex = 2;
  Open(project);
  EXPECT_EQ(document.GetEmailFieldIndex(), 2);
  EXPECT_TRUE(doc.prompts.messages().empty());
  EXPECT_EQ(document.GetRecipientAddress(0), "home@x.org");
  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  EXPECT_EQ(StoredKey("EmailFieldIndex"), "2");

  // The Name column moved to the end: the chosen column is no longer at its
  // place, and which one it was is not known, so none is taken until the
  // user chooses.
  project = Project("Email\tEmail\tName\nwork@x.org\thome@x.org\tAnn\n");
  project.emailFieldIndex = 2;
  Open(project);
  EXPECT_EQ(document.GetEmailFieldIndex(), -1);
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The mailing list has 2 columns named \"Email\" (column 1 and column 2), and "
                  "the project's email field was column 3; choose the email field before "
                  "sending."});
}

TEST_F(ProjectOpenChecksTest, AnEmailFieldOutsideTheListIsReportedAndBecomesNone) {
  TestProject project = Project();
  project.emailFieldIndex = 99999;
  project.emailFieldName = "";
  Open(project);
  EXPECT_EQ(document.GetEmailFieldIndex(), -1);
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The project's email field, column 100000, is not in the mailing list, which "
                  "has 3 columns; choose the email field before sending."});

  project.emailFieldName = "E-mail";
  Open(project);
  EXPECT_EQ(document.GetEmailFieldIndex(), -1);
  EXPECT_TRUE(doc.prompts.ShowedMessageContaining("column 100000 (\"E-mail\")"));

  // A renamed column at the stored place is still the email field.
  project.emailFieldIndex = 1;
  Open(project);
  EXPECT_EQ(document.GetEmailFieldIndex(), 1);
  EXPECT_TRUE(doc.prompts.messages().empty());
}

TEST_F(ProjectOpenChecksTest, AResumePointPastTheEndOfTheListIsReportedAndStartsOver) {
  TestProject project = Project();
  project.lastIndexSent = 999999;
  Open(project);
  EXPECT_EQ(document.GetLastIndexSent(), 0);
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The project's last send stopped at entry 1000000, but the mailing list has 2 "
                  "entries; the next send starts from the first entry."});

  project.lastIndexSent = 2;  // the list's length: a resumed run would send nothing
  Open(project);
  EXPECT_EQ(document.GetLastIndexSent(), 0);
  project.lastIndexSent = 1;
  Open(project);
  EXPECT_EQ(document.GetLastIndexSent(), 1);
  EXPECT_TRUE(doc.prompts.messages().empty());
}

TEST_F(ProjectOpenChecksTest, ALetterWithoutItsFromLineIsReportedAndNotRewrittenUnchanged) {
  TestProject project = Project();
  const std::string letter = "To: team\nSubject: Minutes\nFirst line of the text\nSecond line\n";
  project.letterText = letter;
  Open(project);
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The letter " + dir.File("project-letter.txt") +
                  " does not start with To:, From: and Subject: lines; its first lines are read "
                  "as headers."});

  document.ToggleEntrySelection(0);
  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  ASSERT_TRUE(document.OnSaveDocument(dir.File("renamed.prj")));
  EXPECT_EQ(ReadFileBytes(dir.File("project-letter.txt")), letter);

  // A letter changed by the user is written, with the program's header lines.
  doc.messageView.subject = "New";
  document.UpdateFromMessageViews();
  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  EXPECT_EQ(ReadFileBytes(dir.File("project-letter.txt")),
            "To: team\nFrom:  \nSubject: New\nSecond line\n");

  for (const std::string& whole :
       {std::string("To: a\nFrom: b\nSubject: c\nText\n"),
        std::string("Just a text\nof two lines\n"), std::string("To: only a To line")}) {
    project.letterText = whole;
    Open(project);
    EXPECT_TRUE(doc.prompts.messages().empty()) << whole;
  }
}

TEST_F(ProjectOpenChecksTest, AProjectNamedLikeItsEntryStateFileIsNotSavedOverIt) {
  Open(Project());
  document.ToggleEntrySelection(0);
  const std::string target = dir.File("x.prh");
  const Status status = document.OnSaveDocument(target);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("entry state file"), std::string::npos) << status.message();
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(document.GetPathName(), dir.File("project.prj"));
}

TEST_F(ProjectOpenChecksTest, IndexesOutsideTheListAreNeitherSelectedNorMarked) {
  std::string marks(32000, '\0');
  marks[500] = static_cast<char>(0x80 | StatusHalted);
  TestProject project = Project();
  project.marks = marks;
  Open(project);
  document.SelectAll();
  for (const int index : {-1, 2, 500, 31999, 32000, INT_MAX, INT_MIN}) {
    EXPECT_EQ(document.IsEntrySelected(index), 0) << index;
    EXPECT_EQ(document.GetEntryStatus(index), 0) << index;
  }
  EXPECT_EQ(document.IsEntrySelected(1), 1);
}

// A value with a line break is told at opening and in every summary of the
// list; its lines read as entries without values, so nothing merges or goes
// out from them, while their marks stay theirs.
TEST_F(ProjectOpenChecksTest, TheEntriesOfAValueWithALineBreakAreToldOfAndReadAsNoValues) {
  std::string marks(32000, '\0');
  marks[1] = static_cast<char>(0x80 | StatusHalted);
  TestProject project("Name,Email\nAnn,ann@x.org\nBob,\"12 Main St\nApt 4\",bob@x.org\n"
                      "Cy,cy@x.org\n",
                      marks, DBTypeComma);
  Open(project);
  const std::string notice =
      "A value with a line break cannot be read: entries 2 to 3 of the mailing list are parts "
      "of such values (a quoted value that goes on to the next line), so they are not sent. "
      "Save the list without line breaks in cells.";
  EXPECT_EQ(doc.prompts.messageTexts(), Names{notice});
  EXPECT_EQ(document.LeftOutListPartsText(), notice);
  ASSERT_EQ(document.GetEntryCount(), 4);
  ListRecord record;
  record.values = {"stale"};
  EXPECT_FALSE(document.ReadListRecord(1, record));
  EXPECT_TRUE(record.values.empty());
  EXPECT_EQ(record.selection, 0x80);
  EXPECT_EQ(record.sendStatus, StatusHalted);
  EXPECT_FALSE(document.ReadListRecord(2, record));
  ASSERT_TRUE(document.ReadListRecord(3, record));
  EXPECT_EQ(record.values, (Names{"Cy", "cy@x.org"}));

  // The same bytes as a TAB list have no quotes across lines.
  project.listSourceType = DBTypeTab;
  Open(project);
  for (const std::string& text : doc.prompts.messageTexts()) {
    EXPECT_EQ(text.find("line break"), std::string::npos) << text;
  }
  EXPECT_TRUE(document.ReadListRecord(2, record));
}

TEST(BrokenValuesNotice, NamesRunsOfEntriesAndOnlyTheFirstEight) {
  const std::pair<std::vector<int>, std::string> rows[] = {
      {{}, ""},
      {{6}, "entry 7 of the mailing list is part of such a value (a quoted value that goes on to "
            "the next line), so it is not sent."},
      {{0, 1, 3, 4, 5}, "entries 1 to 2 and 4 to 6 of the mailing list are parts"},
      {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 19, 31999},
       "entries 1, 3, 5, 7, 9, 11, 13, 15 and 3 more of the mailing list"},
  };
  for (const auto& [entries, part] : rows) {
    const std::string notice = BrokenValuesNotice(entries);
    if (part.empty()) {
      EXPECT_EQ(notice, "");
    } else {
      EXPECT_NE(notice.find(part), std::string::npos) << notice;
    }
  }
}

}  // namespace
}  // namespace postrider
