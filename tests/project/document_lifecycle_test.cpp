#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "project/postridr_doc.h"
#include "project/project_wizard.h"
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

constexpr const char* kList = "Name\tEmail\nAnn\tann@x.org\nBob\tbob@x.org\nCid\tcid@x.org\n";

std::string Key(const std::string& projectPath, const char* key) {
  return ProfileFile::Load(projectPath)->GetString("Settings", key, "<none>", 4096);
}

// Wizard pages answered by the test; by default every page goes on.
class ScriptedPages : public IProjectWizardPages {
 public:
  using Result = WizardPageResult;
  std::function<Result(WizardMessagePage&)> message = [](auto&) { return Result::Next; };
  std::function<Result(WizardListPage&)> list = [](auto&) { return Result::Next; };
  std::function<Result(WizardEmailFieldPage&)> email = [](WizardEmailFieldPage& page) {
    page.emailFieldIndex = 1;
    page.emailFieldName = page.fieldNames.at(1);
    return Result::Next;
  };
  std::function<Result(WizardFinishPage&)> finish = [](auto&) { return Result::Next; };
  std::vector<std::string> shown;

  Result ShowMessagePage(WizardMessagePage& page) override {
    return Show("message", message, page);
  }
  Result ShowListPage(WizardListPage& page) override { return Show("list", list, page); }
  Result ShowEmailFieldPage(WizardEmailFieldPage& page) override {
    return Show("email", email, page);
  }
  Result ShowFinishPage(WizardFinishPage& page) override { return Show("finish", finish, page); }

 private:
  template <typename Page>
  Result Show(const char* name, std::function<Result(Page&)>& fn, Page& page) {
    shown.push_back(name);
    if (shown.size() > 50) return Result::Cancel;  // a driver that loops gives up here
    return fn(page);
  }
};

class DocumentLifecycleTest : public ::testing::Test {
 protected:
  ScriptedPages PagesFor(const std::string& listPath) {
    ScriptedPages pages;
    pages.list = [listPath](WizardListPage& page) {
      page.listFilePath = listPath;
      return WizardPageResult::Next;
    };
    return pages;
  }

  TempDir dir;
  RecordedDocument doc;
  CPostridrDoc& document = doc.document;
};

TEST_F(DocumentLifecycleTest, WizardFinishMakesAFullySelectedModifiedProjectWithoutAName) {
  TestProject previous(kList);
  previous.lastIndexSent = 2;
  ASSERT_TRUE(doc.Open(dir.path(), previous));
  doc.frame.projectPaths.clear();

  ScriptedPages pages = PagesFor(dir.Write("list.txt", kList));
  ASSERT_TRUE(document.OnNewDocument(pages));
  EXPECT_EQ(pages.shown, (Names{"message", "list", "email", "finish"}));
  EXPECT_EQ(document.GetFieldNames(), (Names{"Name", "Email"}));
  EXPECT_EQ(document.GetEmailFieldIndex(), 1);
  EXPECT_EQ(document.GetEmailFieldName(), "Email");
  EXPECT_EQ(document.GetSelectedCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(document.IsEntrySelected(i), 1);
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(document.GetPathName(), "");
  EXPECT_EQ(document.GetBody(), "");
  EXPECT_EQ(document.GetLastIndexSent(), 0);  // nothing carried over from the last project
  EXPECT_EQ(doc.frame.attached, &document);
  EXPECT_EQ(doc.frame.projectPaths, Names{""});
  EXPECT_EQ(doc.frame.selectedCounts.back(), 3);
  EXPECT_EQ(doc.frame.helpShown, 0);
  EXPECT_EQ(doc.messageView.emailFieldIndex, 1);
  EXPECT_GE(doc.projectView.fillCount, 1);
}

TEST_F(DocumentLifecycleTest, WizardBackShowsRememberedValuesAndReadsTheHeaderAgain) {
  const std::string first = dir.Write("first.txt", "A\tB\n");
  const std::string second = dir.Write("second.csv", "Name,Email,City\nAnn,ann@x.org,Oslo\n");
  ScriptedPages pages;
  int listShowings = 0;
  pages.message = [&](WizardMessagePage&) {
    // The first page's Back shows it again.
    return pages.shown.size() == 1 ? WizardPageResult::Back : WizardPageResult::Next;
  };
  pages.list = [&](WizardListPage& page) {
    if (++listShowings == 1) {
      page.listFilePath = first;
      return WizardPageResult::Next;
    }
    EXPECT_EQ(page.listFilePath, first);
    page.listFilePath = second;
    page.listSourceType = DBTypeComma;
    return WizardPageResult::Next;
  };
  std::vector<Names> offered;
  pages.email = [&](WizardEmailFieldPage& page) {
    offered.push_back(page.fieldNames);
    EXPECT_EQ(page.emailFieldIndex, -1);  // nothing chosen at a new showing
    if (offered.size() == 1) return WizardPageResult::Back;
    page.emailFieldIndex = 1;
    page.emailFieldName = "Email";
    return WizardPageResult::Next;
  };
  pages.finish = [&](WizardFinishPage& page) {
    page.showHelpChoice = WizardFinishPage::kShowHelp;
    return WizardPageResult::Next;
  };
  ASSERT_TRUE(document.OnNewDocument(pages));
  EXPECT_EQ(pages.shown, (Names{"message", "message", "list", "email", "list", "email", "finish"}));
  EXPECT_EQ(offered, (std::vector<Names>{{"A", "B"}, {"Name", "Email", "City"}}));
  EXPECT_EQ(document.GetListSourceType(), DBTypeComma);
  EXPECT_EQ(document.GetEntryCount(), 1);
  EXPECT_EQ(doc.frame.helpShown, 1);
}

TEST_F(DocumentLifecycleTest, WizardReadsABrowsedLetterEvenWhenNewMessageIsChosenAgain) {
  const std::string letter = dir.Write("letter.txt", "To: \nFrom:  \nSubject: Hi\nDear [[Name]]\n");
  ScriptedPages pages = PagesFor(dir.Write("list.txt", kList));
  pages.message = [&](WizardMessagePage& page) {
    page.messageChoice = WizardMessagePage::kNewMessage;
    page.messageFilePath = letter;
    return WizardPageResult::Next;
  };
  ASSERT_TRUE(document.OnNewDocument(pages));
  EXPECT_EQ(document.GetSubject(), "Hi");
  EXPECT_EQ(doc.messageView.body, "Dear [[Name]]\n");
}

TEST_F(DocumentLifecycleTest, AShortLetterPathFromTheWizardIsNotReadAndTheLetterStartsEmpty) {
  ScriptedPages pages = PagesFor(dir.Write("list.txt", kList));
  pages.message = [&](WizardMessagePage& page) {
    page.messageChoice = WizardMessagePage::kNewMessage;
    page.messageFilePath = "ab";
    return WizardPageResult::Next;
  };
  ASSERT_TRUE(document.OnNewDocument(pages));
  EXPECT_EQ(document.GetMessageFilePath(), "ab");
  EXPECT_EQ(document.GetBody(), "");
  EXPECT_TRUE(document.GetLoadProblems().empty());
  ASSERT_TRUE(document.OnSaveDocument(dir.File("june.prj")));
  EXPECT_EQ(Key(dir.File("june.prj"), "MessageFile"), dir.File("june.txt"));
}

TEST_F(DocumentLifecycleTest, ACancelledWizardLeavesAnEmptyDocumentThatCannotOverwriteTheOldOne) {
  const std::string letterBytes = "To: \nFrom:  \nSubject: Hello\nDear [[Name]],\n";
  for (int cancelAt = 0; cancelAt < 4; ++cancelAt) {
    SCOPED_TRACE(cancelAt);
    ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList, std::string(1, '\x80'))));
    const int attachesBefore = doc.frame.attachCount;
    const auto cancelIf = [&](int page) {
      return page == cancelAt ? WizardPageResult::Cancel : WizardPageResult::Next;
    };
    ScriptedPages pages;
    pages.message = [&](auto&) { return cancelIf(0); };
    pages.list = [&](WizardListPage& page) {
      page.listFilePath = dir.File("project.list");
      return cancelIf(1);
    };
    pages.email = [&](WizardEmailFieldPage& page) {
      page.emailFieldIndex = 0;
      return cancelIf(2);
    };
    pages.finish = [&](auto&) { return cancelIf(3); };
    EXPECT_FALSE(document.OnNewDocument(pages));
    EXPECT_EQ(document.GetEntryCount(), 0);
    EXPECT_EQ(document.GetPathName(), "");
    EXPECT_FALSE(document.IsModified());
    EXPECT_EQ(doc.frame.attachCount, attachesBefore);

    // Saving what is left makes a new project; the old letter stays as it was.
    ASSERT_TRUE(document.OnSaveDocument(dir.File("other.prj")));
    EXPECT_EQ(ReadFileBytes(dir.File("project-letter.txt")), letterBytes);
    // Each round's new letter leaves the one an earlier round made alone.
    const std::string newLetter = Key(dir.File("other.prj"), "MessageFile");
    const std::vector<std::string> expected = {"other.txt", "other-letter.txt",
                                               "other-letter2.txt", "other-letter3.txt"};
    EXPECT_EQ(newLetter, dir.File(expected[static_cast<std::size_t>(cancelAt)]));
    EXPECT_EQ(ReadFileBytes(newLetter), "To: \nFrom:  \nSubject: \n");
  }
}

TEST_F(DocumentLifecycleTest, OpenTakesStoredRelativePathsFromTheProjectsFolder) {
  std::string marks(32000, '\0');
  marks[0] = static_cast<char>(0x80 | StatusSent);
  marks[2] = static_cast<char>(0x80);
  fs::create_directory(dir.File("sub"));
  TestProject files(kList, marks);
  files.lastIndexSent = 2;
  const std::string project = testing::WriteTestProject(dir.File("sub"), files);
  // Not from the project's folder: relative paths must not follow the working folder.
  ASSERT_NE(fs::current_path(), fs::path(dir.File("sub")));
  ASSERT_TRUE(document.OnOpenDocument(project));

  EXPECT_TRUE(doc.prompts.messages().empty()) << doc.prompts.messageTexts().at(0);
  EXPECT_EQ(document.GetListFilePath(), dir.File("sub/project.list"));
  EXPECT_EQ(document.GetMessageFilePath(), dir.File("sub/project-letter.txt"));
  EXPECT_EQ(document.GetEntryStateFilePath(), dir.File("sub/project.prh"));
  EXPECT_EQ(document.GetFieldNames(), (Names{"Name", "Email"}));
  EXPECT_EQ(document.GetEntryCount(), 3);
  EXPECT_EQ(document.GetSubject(), "Hello");
  EXPECT_EQ(document.GetEntryStatus(0), StatusSent);
  EXPECT_EQ(document.GetSelectedCount(), 2);
  EXPECT_EQ(document.GetLastIndexSent(), 2);
  EXPECT_EQ(document.GetPathName(), project);
  // Opening alone changes nothing: closing must not offer to save.
  EXPECT_FALSE(document.IsModified());
  EXPECT_EQ(doc.frame.attached, &document);
  EXPECT_EQ(doc.frame.projectPaths, Names{project});
  EXPECT_EQ(doc.frame.selectedCounts, std::vector<long>{2});
  EXPECT_EQ(doc.messageView.subject, "Hello");
  EXPECT_GE(doc.projectView.fillCount, 1);
}

TEST_F(DocumentLifecycleTest, AProjectSavedAndReopenedGivesTheSameProject) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
  document.ToggleEntrySelection(1);
  document.SetEntryStatus(2, StatusHalted);
  document.SetLastIndexSent(2);
  doc.messageView.subject = "New subject";
  doc.messageView.body = "Hi [[Name]],\r\n";
  doc.messageView.emailFieldIndex = 0;

  fs::create_directory(dir.File("elsewhere"));
  const std::string saved = dir.File("elsewhere/copy.prj");
  ASSERT_TRUE(document.OnSaveDocument(saved));
  EXPECT_FALSE(document.IsModified());
  EXPECT_EQ(document.GetPathName(), saved);
  EXPECT_EQ(doc.frame.projectPaths.back(), saved);
  EXPECT_EQ(ReadFileBytes(dir.File("elsewhere/copy.prh")).size(), 32000u);

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(saved));
  const CPostridrDoc& again = reopened.document;
  EXPECT_EQ(again.GetEntryMarks().block(), document.GetEntryMarks().block());
  EXPECT_EQ(again.GetListFilePath(), document.GetListFilePath());
  EXPECT_EQ(again.GetMessageFilePath(), dir.File("project-letter.txt"));
  EXPECT_EQ(again.GetEntryStateFilePath(), dir.File("elsewhere/copy.prh"));
  EXPECT_EQ(again.GetEmailFieldIndex(), 0);
  // The name follows the choice, so that the field is found again by name.
  EXPECT_EQ(again.GetEmailFieldName(), "Name");
  EXPECT_EQ(again.GetLastIndexSent(), 2);
  EXPECT_EQ(again.GetSubject(), "New subject");
  EXPECT_EQ(again.GetBody(), "Hi [[Name]],\r\n");
  EXPECT_EQ(again.GetSelectedCount(), 1);
}

TEST_F(DocumentLifecycleTest, MarksPastTheListsEndSurviveOpenAndSave) {
  // A state file longer than the block, every mark selected and sent, on a
  // list of three: a save keeps the marks a longer list would need.
  const std::string marks(40000, static_cast<char>(0x80 | StatusSent));
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList, marks)));
  EXPECT_EQ(document.GetSelectedCount(), 3);
  document.UnselectAll();
  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  const std::string saved = ReadFileBytes(dir.File("project.prh"));
  ASSERT_EQ(saved.size(), 32000u);
  EXPECT_EQ(saved.substr(0, 3), std::string(3, static_cast<char>(StatusSent)));
  EXPECT_EQ(saved.substr(3), marks.substr(3, 32000 - 3));
}

TEST_F(DocumentLifecycleTest, FirstSaveOfANewProjectNamesTheLetterAndStateFileAfterIt) {
  ScriptedPages pages = PagesFor(dir.Write("list.txt", kList));
  ASSERT_TRUE(document.OnNewDocument(pages));
  doc.messageView.subject = "June";
  ASSERT_TRUE(document.OnSaveDocument(dir.File("june.prj")));
  EXPECT_EQ(Key(dir.File("june.prj"), "MessageFile"), dir.File("june.txt"));
  EXPECT_EQ(Key(dir.File("june.prj"), "HelperFile"), dir.File("june.prh"));
  EXPECT_EQ(ReadFileBytes(dir.File("june.txt")), "To: \nFrom:  \nSubject: June\n");
  const std::string marks = ReadFileBytes(dir.File("june.prh"));
  ASSERT_EQ(marks.size(), 32000u);
  EXPECT_EQ(marks.substr(0, 4), "\x80\x80\x80" + std::string(1, '\0'));

  // Save As moves the entry state file; the letter keeps its name.
  ASSERT_TRUE(document.OnSaveDocument(dir.File("july.prj")));
  EXPECT_EQ(Key(dir.File("july.prj"), "MessageFile"), dir.File("june.txt"));
  EXPECT_EQ(Key(dir.File("july.prj"), "HelperFile"), dir.File("july.prh"));
  EXPECT_FALSE(fs::exists(dir.File("july.txt")));
}

TEST_F(DocumentLifecycleTest, ANewLetterIsNeverWrittenOverTheListOrTheProjectFile) {
  const std::string list = dir.Write("june.txt", kList);
  ScriptedPages pages = PagesFor(list);
  ASSERT_TRUE(document.OnNewDocument(pages));
  ASSERT_TRUE(document.OnSaveDocument(dir.File("june.prj")));
  EXPECT_EQ(ReadFileBytes(list), kList);
  EXPECT_EQ(Key(dir.File("june.prj"), "MessageFile"), dir.File("june-letter.txt"));
  EXPECT_EQ(ReadFileBytes(dir.File("june-letter.txt")), "To: \nFrom:  \nSubject: \n");

  ASSERT_TRUE(document.OnNewDocument(pages));
  ASSERT_TRUE(document.OnSaveDocument(dir.File("notes.txt")));
  EXPECT_EQ(Key(dir.File("notes.txt"), "MessageFile"), dir.File("notes-letter.txt"));

  // Nor over a file of the user's that happens to have the project's name.
  dir.Write("july.txt", "my own notes");
  ASSERT_TRUE(document.OnNewDocument(pages));
  ASSERT_TRUE(document.OnSaveDocument(dir.File("july.prj")));
  EXPECT_EQ(ReadFileBytes(dir.File("july.txt")), "my own notes");
  EXPECT_EQ(Key(dir.File("july.prj"), "MessageFile"), dir.File("july-letter.txt"));
}

TEST_F(DocumentLifecycleTest, AProjectIsNeverSavedOverItsOwnListOrLetter) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
  document.ToggleEntrySelection(0);
  for (const char* target : {"project.list", "project-letter.txt"}) {
    doc.prompts.ClearRecords();
    EXPECT_FALSE(document.OnSaveDocument(dir.File(target))) << target;
    EXPECT_TRUE(doc.prompts.ShowedMessageContaining("choose another name")) << target;
    EXPECT_TRUE(document.IsModified());
  }
  EXPECT_EQ(ReadFileBytes(dir.File("project.list")), kList);
}

TEST_F(DocumentLifecycleTest, StoredRelativePathsStayRelativeUntilTheProjectMoves) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
  ASSERT_TRUE(document.OnSaveDocument(dir.File("project.prj")));
  EXPECT_EQ(Key(dir.File("project.prj"), "MessageFile"), "project-letter.txt");
  EXPECT_EQ(Key(dir.File("project.prj"), "DBFile"), "project.list");
  EXPECT_EQ(Key(dir.File("project.prj"), "HelperFile"), "project.prh");

  fs::create_directory(dir.File("elsewhere"));
  ASSERT_TRUE(document.OnSaveDocument(dir.File("elsewhere/copy.prj")));
  EXPECT_EQ(Key(dir.File("elsewhere/copy.prj"), "MessageFile"), dir.File("project-letter.txt"));
  EXPECT_EQ(Key(dir.File("elsewhere/copy.prj"), "DBFile"), dir.File("project.list"));
  EXPECT_EQ(Key(dir.File("elsewhere/copy.prj"), "HelperFile"), dir.File("elsewhere/copy.prh"));
}

TEST_F(DocumentLifecycleTest, ALetterOrStateFileThatCouldNotBeReadIsNotWrittenOver) {
  const std::string project = testing::WriteTestProject(dir.path(), TestProject(kList));
  // Something is there, but it cannot be read as a file.
  for (const char* name : {"project-letter.txt", "project.prh"}) {
    fs::remove(dir.File(name));
    fs::create_directory(dir.File(name));
    dir.Write(std::string(name) + "/inside", "kept");
  }
  ASSERT_TRUE(document.OnOpenDocument(project));
  EXPECT_EQ(document.GetLoadProblems().size(), 2u);

  EXPECT_TRUE(document.OnSaveDocument(project));
  for (const char* name : {"project-letter.txt", "project.prh"}) {
    EXPECT_EQ(ReadFileBytes(dir.File(std::string(name) + "/inside")), "kept") << name;
  }
}

TEST_F(DocumentLifecycleTest, SavingKeepsOtherSectionsAndKeysOfTheProjectFile) {
  const std::string project = testing::WriteTestProject(dir.path(), TestProject(kList));
  {
    std::ofstream out(project, std::ios::app);
    out << "Extra=kept\n[Notes]\nWho=me\n";
  }
  ASSERT_TRUE(document.OnOpenDocument(project));
  ASSERT_TRUE(document.OnSaveDocument(project));
  EXPECT_EQ(Key(project, "Extra"), "kept");
  EXPECT_EQ(ProfileFile::Load(project)->GetString("Notes", "Who", ""), "me");
}

TEST_F(DocumentLifecycleTest, ProjectKeysNeedAMessageFileAndAHelperFileOfThreeCharacters) {
  dir.Write("ok.prj", "[Settings]\nMessageFile=a.t\nHelperFile=b.p\n");
  ASSERT_TRUE(document.OnOpenDocument(dir.File("ok.prj")));
  // Missing keys read as 0: a tab list, the first field.
  EXPECT_EQ(document.GetListSourceType(), DBTypeTab);
  EXPECT_EQ(document.GetEmailFieldIndex(), 0);

  for (const char* text : {"[Settings]\nMessageFile=ab\nHelperFile=b.prh\n",
                           "[Settings]\nMessageFile=a.txt\nDBFile=l.txt\nDBFileType=0\n"
                           "EmailFieldString=E\nEmailFieldIndex=0\nLastIndexSent=0\n"}) {
    doc.prompts.ClearRecords();
    ASSERT_FALSE(document.OnOpenDocument(dir.Write("bad.prj", text))) << text;
    EXPECT_EQ(doc.prompts.messageTexts(), Names{"Error loading project"});
    EXPECT_EQ(document.GetEntryCount(), 0);
    EXPECT_EQ(document.GetPathName(), "");
  }
}

TEST_F(DocumentLifecycleTest, AnOdbcProjectOpensWithoutFieldsOrEntries) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList, std::string(32000, '\0'), DBTypeODBC)));
  EXPECT_TRUE(document.GetFieldNames().empty());
  EXPECT_EQ(document.GetEntryCount(), 0);
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The project's mailing list is of type 2 (ODBC), which Postrider cannot read, "
                  "so the project has no entries."});
}

TEST_F(DocumentLifecycleTest, FilesThatCannotBeReadAreReportedAndTheProjectStillOpens) {
  const std::string project = testing::WriteTestProject(dir.path(), TestProject(kList, ""));
  fs::remove(dir.File("project.list"));
  fs::remove(dir.File("project-letter.txt"));
  ASSERT_TRUE(document.OnOpenDocument(project));
  ASSERT_EQ(doc.prompts.messages().size(), 1u);
  for (const char* name : {"project.list", "project-letter.txt", "project.prh"}) {
    EXPECT_TRUE(doc.prompts.ShowedMessageContaining(dir.File(name))) << name;
  }
  EXPECT_EQ(document.GetEntryCount(), 0);
  EXPECT_EQ(document.GetSubject(), "");
  EXPECT_EQ(document.GetPathName(), project);
}

TEST_F(DocumentLifecycleTest, AnUnwritableFileFailsTheSaveWithItsPathAndKeepsTheProjectModified) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
  document.ToggleEntrySelection(0);
  const std::string opened = document.GetPathName();
  fs::rename(dir.File("project-letter.txt"), dir.File("letter-aside"));
  // A folder in the way of each of the three files in turn.
  for (const char* blocked : {"project-letter.txt", "new.prh", "new.prj"}) {
    SCOPED_TRACE(blocked);
    const std::string path = dir.File(blocked);
    fs::create_directories(path + "/in-the-way");
    doc.prompts.ClearRecords();

    const Status status = document.OnSaveDocument(dir.File("new.prj"));
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
    ASSERT_EQ(doc.prompts.messages().size(), 1u);
    EXPECT_NE(doc.prompts.messages()[0].text.find(path), std::string::npos);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.GetPathName(), opened);
    EXPECT_EQ(document.GetEntryStateFilePath(), dir.File("project.prh"));
    fs::remove_all(path);
  }
}

TEST_F(DocumentLifecycleTest, ClosingTakesTheMessagePaneAndAsksBeforeLosingChanges) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  EXPECT_TRUE(document.CanCloseFrame());  // nothing changed, nothing asked
  EXPECT_TRUE(doc.prompts.saveChangesAsked().empty());

  doc.messageView.body = "changed";
  doc.prompts.SetSaveChoice(SaveChoice::Cancel);
  EXPECT_FALSE(document.CanCloseFrame());
  EXPECT_EQ(doc.prompts.saveChangesAsked(), Names{"project.prj"});
  doc.prompts.SetSaveChoice(SaveChoice::Yes);
  EXPECT_TRUE(document.CanCloseFrame());
  EXPECT_EQ(ReadFileBytes(dir.File("project-letter.txt")),
            "To: \nFrom:  \nSubject: Hello\nchanged");
}

TEST_F(DocumentLifecycleTest, AFailedOpenClearsTheProjectSoASaveCannotOverwriteItsFiles) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList, std::string(1, '\x80'))));
  const std::string letter = ReadFileBytes(dir.File("project-letter.txt"));
  ASSERT_FALSE(document.OnOpenDocument(dir.Write("bad.prj", "[Settings]\nMessageFile=x\n")));
  EXPECT_EQ(document.GetEntryCount(), 0);
  EXPECT_EQ(document.GetLastIndexSent(), 0);
  EXPECT_EQ(doc.messageView.body, "");

  ASSERT_TRUE(document.OnSaveDocument(dir.File("fresh.prj")));
  EXPECT_EQ(ReadFileBytes(dir.File("project-letter.txt")), letter);
}

TEST_F(DocumentLifecycleTest, InsertMergeFieldPutsTheFieldNameInBracketsAtTheCaret) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(kList)));
  doc.messageView.body = "Dear ";
  document.InsertMergeField(0);
  EXPECT_EQ(doc.messageView.body, "Dear [[Name]]");
  document.InsertMergeField(2);  // no such field: nothing
  document.InsertMergeField(-1);
  EXPECT_EQ(doc.messageView.body, "Dear [[Name]]");
}

}  // namespace
}  // namespace postrider
