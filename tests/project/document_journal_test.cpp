#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_file.h"
#include "project/postridr_doc.h"
#include "project/project_paths.h"
#include "project/project_wizard.h"
#include "project/send_journal.h"
#include "support/entry_lists.h"
#include "support/list_only_wizard_pages.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;
namespace fs = std::filesystem;

constexpr const char* kList =
    "Name\tEmail\nAnn\tann@x.org\nBob\tbob@x.org\nCid\tcid@x.org\nDee\tdee@x.org\n";

using testing::Statuses;

std::string StoredLastIndexSent(const std::string& project) {
  return ProfileFile::Load(project)->GetString("Settings", "LastIndexSent", "<none>", 64);
}

class DocumentJournalTest : public ::testing::Test {
 protected:
  // An opened project whose four entries were all sent by an earlier run.
  void SetUp() override {
    TestProject project(kList, std::string(4, '\x81') + std::string(32000 - 4, '\0'));
    projectPath = testing::WriteTestProject(dir.path(), project);
    ASSERT_TRUE(doc.document.OnOpenDocument(projectPath));
    journalPath = doc.document.GetSendJournalPath();
  }

  // What a run that was killed wrote: it began again at entry 0 (clearing
  // every status), sent 0, found 1 bad, and had handed 2 over.
  void WriteKilledRun() {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal->RunStarted(doc.document.GetJournalIdentity(), 0).ok());
    ASSERT_TRUE(journal->HandedOver(0, "ann@x.org").ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent).ok());
    ASSERT_TRUE(journal->Outcome(1, StatusBadAddress).ok());
    ASSERT_TRUE(journal->HandedOver(2, "cid\r\n@x.org").ok());
  }

  TempDir dir;
  RecordedDocument doc;
  std::string projectPath;
  std::string journalPath;
};

TEST_F(DocumentJournalTest, TheJournalLiesBesideTheProjectFile) {
  EXPECT_EQ(journalPath, projectPath + ".journal");
  EXPECT_EQ(SendJournalPath("/p/june.prj"), "/p/june.prj.journal");
}

TEST_F(DocumentJournalTest, OpeningAppliesAKilledRunTellsTheUserNamesTheMessageInFlightAndSaves) {
  WriteKilledRun();

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  CPostridrDoc& document = reopened.document;
  EXPECT_EQ(Statuses(document), (std::vector<int>{StatusSent, StatusBadAddress, 0, 0}));
  EXPECT_EQ(document.GetLastIndexSent(), 2);
  EXPECT_EQ(document.GetSelectedCount(), 4);
  // Nothing to ask on closing: the journal stays beside the project until a
  // save folds it in, so what it recovered is not lost unsaved.
  EXPECT_FALSE(document.IsModified());
  EXPECT_TRUE(fs::exists(journalPath));
  ASSERT_EQ(reopened.prompts.messages().size(), 1u);
  EXPECT_EQ(reopened.prompts.messages()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(reopened.prompts.messages()[0].text,
            "The last send run of this project did not finish: 1 message had been accepted by "
            "the server; its entry is marked sent.\n"
            "Entry 3 (cid??@x.org) had been handed to the server, but the server's answer never "
            "came. It is marked not sent, so a resumed run sends it again: this one recipient "
            "may get the message twice.");
  // The views were filled after the outcomes were in.
  EXPECT_GE(reopened.projectView.fillCount, 1);

  ASSERT_TRUE(document.OnSaveDocument(projectPath).ok());
  EXPECT_FALSE(fs::exists(journalPath));
  EXPECT_EQ(ReadFileBytes(dir.File("project.prh")).substr(0, 4), "\x81\x82\x80\x80");
  EXPECT_EQ(StoredLastIndexSent(projectPath), "2");

  RecordedDocument third;
  ASSERT_TRUE(third.document.OnOpenDocument(projectPath));
  EXPECT_TRUE(third.prompts.messages().empty());
  EXPECT_EQ(Statuses(third.document), Statuses(document));
}

TEST_F(DocumentJournalTest, AKilledRunWhoseFirstLineWasDamagedIsStillAppliedByAddress) {
  doc.document.ClearStatus(0);
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  testing::JournalAKilledRun(doc.document);
  if (HasFatalFailure()) return;
  std::string bytes = ReadFileBytes(journalPath);
  const std::size_t run = bytes.find("\nrun ");
  ASSERT_NE(run, std::string::npos);
  bytes[run + 8] ^= 1;
  std::ofstream(journalPath, std::ios::binary | std::ios::trunc) << bytes;

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{StatusSent, StatusBadAddress, 0, 0}));
  EXPECT_EQ(reopened.document.GetLastIndexSent(), 2);
  ASSERT_EQ(reopened.prompts.messages().size(), 1u);
  const std::string& notice = reopened.prompts.messages()[0].text;
  EXPECT_NE(notice.find("Entry 3 (cid@x.org) had been handed to the server"), std::string::npos)
      << notice;
  EXPECT_NE(notice.find("1 line of the send journal"), std::string::npos) << notice;
}

TEST_F(DocumentJournalTest, AFinishedRunThatWasNotSavedIsAppliedWithItsOwnResumePoint) {
  {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal->RunStarted(doc.document.GetJournalIdentity(), 0).ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent).ok());
    ASSERT_TRUE(journal->Outcome(1, StatusSent).ok());
    ASSERT_TRUE(journal->Outcome(2, StatusHalted).ok());
    ASSERT_TRUE(journal->RunEnded(2).ok());
  }
  // The user answered No to saving, and a later Open of another project
  // does not lose the run either.
  RecordedDocument reopened;
  reopened.document.OnOpenDocument(projectPath);
  EXPECT_EQ(reopened.prompts.messageTexts(),
            std::vector<std::string>{
                "The last send run of this project was not saved: 2 messages had been accepted "
                "by the server; their entries are marked sent."});
  EXPECT_EQ(Statuses(reopened.document),
            (std::vector<int>{StatusSent, StatusSent, StatusHalted, 0}));
  EXPECT_EQ(reopened.document.GetLastIndexSent(), 2);
}

TEST_F(DocumentJournalTest, AKilledRunClearsOnlyTheEntriesItsOwnUnsavedSelectionTookUp) {
  // On disk all four are selected and sent. The user unselects Ann and Bob
  // and selects Cid and Dee again, sends from the top, and the program is
  // killed before anything is saved: Ann and Bob were never taken up.
  CPostridrDoc& document = doc.document;
  document.ToggleEntrySelection(0);
  document.ToggleEntrySelection(1);
  {
    auto journal = document.OpenSendJournal().value();
    ASSERT_TRUE(journal
                    ->RunStarted(document.GetJournalIdentity(), 0, false,
                                 &document.GetEntryMarks())
                    .ok());
    document.ClearStatus(0, StatusClearing::kSelected);
    ASSERT_TRUE(journal->HandedOver(2, "cid@x.org").ok());
    ASSERT_TRUE(journal->Outcome(2, StatusSent).ok());
    ASSERT_TRUE(journal->HandedOver(3, "dee@x.org").ok());
  }
  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{StatusSent, StatusSent, StatusSent, 0}));
  EXPECT_EQ(reopened.document.GetLastIndexSent(), 3);

  // The other way round: Ann, unselected on disk, is selected for a send to
  // everyone again, and that run's clearing took her mark too.
  reopened.document.ToggleEntrySelection(0);
  ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
  RecordedDocument again;
  ASSERT_TRUE(again.document.OnOpenDocument(projectPath));
  again.document.ToggleEntrySelection(0);
  {
    auto journal = again.document.OpenSendJournal().value();
    ASSERT_TRUE(journal
                    ->RunStarted(again.document.GetJournalIdentity(), 0, false,
                                 &again.document.GetEntryMarks())
                    .ok());
    ASSERT_TRUE(journal->HandedOver(0, "ann@x.org").ok());
  }
  RecordedDocument last;
  ASSERT_TRUE(last.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(last.document), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(DocumentJournalTest, AJournalWhoseOutcomesAreAlreadySavedIsTakenInSilently) {
  {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal->RunStarted(doc.document.GetJournalIdentity(), 0).ok());
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(journal->Outcome(i, StatusSent).ok());
    ASSERT_TRUE(journal->RunEnded(0).ok());
  }
  // As when a crash came after the save wrote its files, before the journal went.
  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_TRUE(reopened.prompts.messages().empty());
  ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
  EXPECT_FALSE(fs::exists(journalPath));
}

// A save renames the entry state file, the sent addresses, then the project
// file, and only then removes the journal: a crash after any of the renames
// leaves the journal to give the same statuses again.
TEST_F(DocumentJournalTest, ASaveCutShortBetweenItsRenamesLosesNoOutcome) {
  WriteKilledRun();
  const std::vector<std::string> renamed = {dir.File("project.prh"),
                                            dir.File("project.prh.sent"), projectPath};
  const auto contents = [&renamed] {
    std::vector<std::optional<std::string>> files;
    for (const std::string& path : renamed) {
      files.push_back(fs::exists(path) ? std::optional(ReadFileBytes(path)) : std::nullopt);
    }
    return files;
  };
  const auto before = contents();
  const std::string journal = ReadFileBytes(journalPath);
  {
    RecordedDocument applied;
    ASSERT_TRUE(applied.document.OnOpenDocument(projectPath));
    ASSERT_TRUE(applied.document.OnSaveDocument(projectPath).ok());
  }
  const auto after = contents();
  ASSERT_NE(after, before);

  for (std::size_t done = 0; done <= renamed.size(); ++done) {
    SCOPED_TRACE(std::to_string(done) + " files renamed");
    for (std::size_t i = 0; i < renamed.size(); ++i) {
      const std::optional<std::string>& file = i < done ? after[i] : before[i];
      if (file) {
        dir.Write(fs::path(renamed[i]).filename().string(), *file);
      } else {
        fs::remove(renamed[i]);
      }
    }
    dir.Write(fs::path(journalPath).filename().string(), journal);
    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    EXPECT_EQ(Statuses(reopened.document),
              (std::vector<int>{StatusSent, StatusBadAddress, 0, 0}));
    EXPECT_EQ(reopened.document.GetLastIndexSent(), 2);
    const std::string told = reopened.prompts.messageTexts().empty()
                                 ? std::string()
                                 : reopened.prompts.messageTexts().back();
    EXPECT_NE(told.find("Entry 3 (cid??@x.org) had been handed to the server"), std::string::npos)
        << told;
  }
}

TEST_F(DocumentJournalTest, AJournalForAnEditedListIsKeptUntouchedAndRefusedToTheNextRun) {
  WriteKilledRun();
  const std::string journal = ReadFileBytes(journalPath);
  dir.Write("project.list", std::string(kList) + "Eve\teve@x.org\n");

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{1, 1, 1, 1, 0}));
  ASSERT_EQ(reopened.prompts.messages().size(), 1u);
  const std::string& notice = reopened.prompts.messages()[0].text;
  EXPECT_NE(notice.find(journalPath), std::string::npos) << notice;
  EXPECT_NE(notice.find("4 entries"), std::string::npos) << notice;
  EXPECT_NE(notice.find("5 entries"), std::string::npos) << notice;

  ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
  EXPECT_EQ(ReadFileBytes(journalPath), journal);

  // Set aside, its outcomes would be lost to the marks without a word.
  Result<std::unique_ptr<SendJournal>> next = reopened.document.OpenSendJournal();
  ASSERT_FALSE(next.ok());
  EXPECT_NE(next.status().message().find(journalPath + "\" holds outcomes"), std::string::npos)
      << next.status().message();
  EXPECT_EQ(ReadFileBytes(journalPath), journal);
  EXPECT_FALSE(fs::exists(journalPath + ".unfit"));
  EXPECT_EQ(reopened.document.UnappliedSendJournal(), journalPath);
}

TEST_F(DocumentJournalTest, AJournalThatCannotBeReadIsALoadProblemAndIsNeverMovedAside) {
  fs::create_directories(journalPath + "/in-the-way");
  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  ASSERT_EQ(reopened.document.GetLoadProblems().size(), 1u);
  EXPECT_NE(reopened.document.GetLoadProblems()[0].find(journalPath), std::string::npos);
  ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
  EXPECT_TRUE(fs::exists(journalPath + "/in-the-way"));
  EXPECT_FALSE(reopened.document.OpenSendJournal().ok());
  EXPECT_TRUE(fs::exists(journalPath + "/in-the-way"));
  EXPECT_FALSE(fs::exists(journalPath + ".unfit"));
}

TEST_F(DocumentJournalTest, SaveAsTakesTheJournalInAndLeavesItForTheOldNameToApply) {
  WriteKilledRun();
  const std::string copy = dir.File("copy.prj");
  dir.Write("copy.prj.journal", "a journal of the project that was called copy.prj\n");

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  ASSERT_TRUE(reopened.document.OnSaveDocument(copy).ok());
  EXPECT_FALSE(fs::exists(copy + ".journal"));
  EXPECT_EQ(reopened.document.GetSendJournalPath(), copy + ".journal");
  EXPECT_EQ(ReadFileBytes(dir.File("copy.prh")).substr(0, 3), "\x81\x82\x80");
  // The old name's files were not written: it applies the run when opened again.
  const std::vector<int> statuses = Statuses(reopened.document);
  RecordedDocument old;
  ASSERT_TRUE(old.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(old.document), statuses);
  ASSERT_TRUE(old.document.OnSaveDocument(projectPath).ok());
  EXPECT_FALSE(fs::exists(journalPath));
  EXPECT_EQ(ReadFileBytes(dir.File("project.prh")).substr(0, 3), "\x81\x82\x80");
}

TEST_F(DocumentJournalTest, SaveAsCarriesAJournalItCouldNotApplyAndKeepsItUnapplied) {
  WriteKilledRun();
  const std::string journal = ReadFileBytes(journalPath);
  dir.Write("project.list", std::string(kList) + "Eve\teve@x.org\n");
  const std::string copy = dir.File("copy.prj");
  dir.Write("copy.prj.journal", "a journal of the project that was called copy.prj\n");

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  ASSERT_EQ(reopened.document.UnappliedSendJournal(), journalPath);
  ASSERT_TRUE(reopened.document.OnSaveDocument(copy).ok());
  EXPECT_EQ(ReadFileBytes(copy + ".journal"), journal);
  EXPECT_EQ(ReadFileBytes(copy + ".journal.unfit"),
            "a journal of the project that was called copy.prj\n");
  // The old name's marks do not hold its outcomes either: it keeps its own.
  EXPECT_EQ(ReadFileBytes(journalPath), journal);
  EXPECT_EQ(reopened.document.UnappliedSendJournal(), copy + ".journal");
  // Saved again under its own name, it is still kept.
  ASSERT_TRUE(reopened.document.OnSaveDocument(copy).ok());
  EXPECT_EQ(ReadFileBytes(copy + ".journal"), journal);
  // And the old name still sends nothing before it is dealt with.
  RecordedDocument old;
  ASSERT_TRUE(old.document.OnOpenDocument(projectPath));
  EXPECT_EQ(old.document.UnappliedSendJournal(), journalPath);
  EXPECT_FALSE(old.document.OpenSendJournal().ok());
}

// Saved under a new name once the list was written to in place, the project
// takes the marks as last saved and the journal kept along; when either
// cannot go, nothing is saved and nothing moves.
TEST_F(DocumentJournalTest, SaveAsAfterTheListWasRewrittenTakesMarksAndJournalAlongOrNothing) {
  WriteKilledRun();
  const std::string journal = ReadFileBytes(journalPath);
  const std::string marks = ReadFileBytes(dir.File("project.prh"));
  // Two rows swapped in the same file, as a spreadsheet saves it.
  dir.Write("project.list", "Name\tEmail\nBob\tbob@x.org\nAnn\tann@x.org\nCid\tcid@x.org\n"
                            "Dee\tdee@x.org\n");
  const std::string copy = dir.File("copy.prj");
  // A folder where a file has to be read or made.
  const std::vector<std::pair<const char*, std::string>> obstacles = {
      {"the marks cannot be read", dir.File("project.prh")},
      {"the journal cannot be put beside the new name", copy + ".journal.moving"},
  };
  for (const auto& [name, inTheWay] : obstacles) {
    SCOPED_TRACE(name);
    fs::remove(inTheWay);
    fs::create_directory(inTheWay);
    EXPECT_FALSE(doc.document.OnSaveDocument(copy).ok());
    for (const char* file : {"copy.prj", "copy.prh", "copy.prj.journal"}) {
      EXPECT_FALSE(fs::exists(dir.File(file))) << file;
    }
    EXPECT_EQ(ReadFileBytes(journalPath), journal);
    EXPECT_EQ(doc.document.GetPathName(), projectPath);
    fs::remove_all(inTheWay);
  }
  dir.Write("project.prh", marks);

  ASSERT_TRUE(doc.document.OnSaveDocument(copy).ok());
  EXPECT_EQ(ReadFileBytes(dir.File("copy.prh")), marks);
  EXPECT_EQ(ReadFileBytes(copy + ".journal"), journal);
  EXPECT_EQ(ReadFileBytes(journalPath), journal);
  EXPECT_FALSE(fs::exists(copy + ".journal.moving"));
}

// Each name keeps a journal file of its own: a run under the new name is no
// part of what the old name's record says.
TEST_F(DocumentJournalTest, ARunUnderTheNewNameLeavesTheOldNamesJournalAsItWas) {
  WriteKilledRun();
  const std::string journal = ReadFileBytes(journalPath);
  dir.Write("project.list", "Name\tEmail\nBob\tbob@x.org\nAnn\tann@x.org\nCid\tcid@x.org\n"
                            "Dee\tdee@x.org\n");
  const std::string copy = dir.File("copy.prj");
  ASSERT_TRUE(doc.document.OnSaveDocument(copy).ok());
  std::vector<int> oldStatuses;
  {
    RecordedDocument old;
    ASSERT_TRUE(old.document.OnOpenDocument(projectPath));
    oldStatuses = Statuses(old.document);
  }
  {
    auto run = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(run->RunStarted(doc.document.GetJournalIdentity(), 3).ok());
    ASSERT_TRUE(run->HandedOver(3, "dee@x.org").ok());
    ASSERT_TRUE(run->Outcome(3, StatusSent, "dee@x.org").ok());
    ASSERT_TRUE(run->RunEnded(4).ok());
  }
  EXPECT_NE(ReadFileBytes(copy + ".journal"), journal);
  EXPECT_EQ(ReadFileBytes(journalPath), journal);
  RecordedDocument old;
  ASSERT_TRUE(old.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(old.document), oldStatuses);
}

TEST_F(DocumentJournalTest, TheWriteCheckNamesTheFileThatCannotBeWritten) {
  EXPECT_TRUE(doc.document.CheckSendOutcomesWritable().ok());
  fs::create_directories(journalPath);  // a folder cannot be added to
  const Status journal = doc.document.CheckSendOutcomesWritable();
  ASSERT_FALSE(journal.ok());
  EXPECT_NE(journal.message().find(journalPath), std::string::npos) << journal.message();
  fs::remove(journalPath);
}

// A project without a name keeps its journal in the state folder until its
// first save takes it in.
class UntitledJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr) previousState_ = state;
    setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
  }
  void TearDown() override {
    if (previousState_) {
      setenv("XDG_STATE_HOME", previousState_->c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
  }

  TempDir dir;

 private:
  std::optional<std::string> previousState_;
};

using testing::ListOnlyWizardPages;

TEST_F(UntitledJournalTest, ItsJournalFollowsTheProjectIntoItsFirstSave) {
  RecordedDocument doc;
  ListOnlyWizardPages pages(dir.Write("members.txt", kList));
  ASSERT_TRUE(doc.document.OnNewDocument(pages));
  const std::string untitled = doc.document.GetSendJournalPath();
  EXPECT_EQ(untitled.rfind(dir.File("state/postrider/untitled-"), 0), 0u) << untitled;
  EXPECT_EQ(doc.document.GetSendJournalPath(), untitled);
  EXPECT_TRUE(doc.document.CheckSendOutcomesWritable().ok());
  {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal->RunStarted(doc.document.GetJournalIdentity(), 0).ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent).ok());
  }
  doc.document.SetEntryStatus(0, StatusSent);
  ASSERT_TRUE(fs::exists(untitled));

  const std::string project = dir.File("june.prj");
  ASSERT_TRUE(doc.document.OnSaveDocument(project).ok());
  EXPECT_FALSE(fs::exists(untitled));
  EXPECT_FALSE(fs::exists(project + ".journal"));
  EXPECT_EQ(doc.document.GetSendJournalPath(), project + ".journal");
  EXPECT_EQ(ReadFileBytes(dir.File("june.prh"))[0], '\x81');

  // Another new project gets a journal of its own.
  ListOnlyWizardPages again(dir.File("members.txt"));
  ASSERT_TRUE(doc.document.OnNewDocument(again));
  EXPECT_NE(doc.document.GetSendJournalPath(), untitled);
}

// Its journal in a state folder on another file system than the project's,
// where no link reaches: a copy goes to the project's folder.
TEST_F(UntitledJournalTest, ItsJournalIsCopiedAcrossFileSystemsWhenTheListWasRewritten) {
  char pattern[] = "/dev/shm/postrider-test-XXXXXX";
  if (!fs::is_directory("/dev/shm") || mkdtemp(pattern) == nullptr) GTEST_SKIP() << "no /dev/shm";
  const struct Removed {
    std::string path;
    ~Removed() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } state{pattern};
  struct stat stateFolder {};
  struct stat projectFolder {};
  if (stat(state.path.c_str(), &stateFolder) != 0 || stat(dir.path().c_str(), &projectFolder) != 0 ||
      stateFolder.st_dev == projectFolder.st_dev) {
    GTEST_SKIP() << "/dev/shm is on the file system of " << dir.path();
  }
  setenv("XDG_STATE_HOME", state.path.c_str(), 1);

  RecordedDocument doc;
  ListOnlyWizardPages pages(dir.Write("members.txt", kList));
  ASSERT_TRUE(doc.document.OnNewDocument(pages));
  const std::string untitled = doc.document.GetSendJournalPath();
  {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal->RunStarted(doc.document.GetJournalIdentity(), 0).ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent, "ann@x.org").ok());
    ASSERT_TRUE(journal->RunEnded(1).ok());
  }
  const std::string journal = ReadFileBytes(untitled);
  dir.Write("members.txt", "Name\tEmail\nBob\tbob@x.org\nAnn\tann@x.org\nCid\tcid@x.org\n"
                           "Dee\tdee@x.org\n");

  const std::string project = dir.File("june.prj");
  ASSERT_TRUE(doc.document.OnSaveDocument(project).ok());
  EXPECT_EQ(ReadFileBytes(project + ".journal"), journal);
  EXPECT_FALSE(fs::exists(untitled));
  // Never saved before: nobody selected, nobody sent, but for the journal.
  EXPECT_EQ(ReadFileBytes(dir.File("june.prh")), std::string(32000, '\0'));
  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(project));
  EXPECT_TRUE(reopened.document.GetLoadProblems().empty());
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{0, StatusSent, 0, 0}));
}

}  // namespace
}  // namespace postrider
