// One project, one writer: the lock between documents and between processes.

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "project/postridr_doc.h"
#include "project/project_lock.h"
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

std::string ThisProcess() {
  return std::string(program_invocation_short_name) + " (process " + std::to_string(getpid()) + ")";
}

TEST(ProjectLockTest, ASecondTakerIsToldWhoHoldsItAndTwoSpellingsOfOneProjectShareIt) {
  TempDir dir;
  fs::create_directories(dir.File("real"));
  fs::create_directory_symlink(dir.File("real"), dir.File("alias"));
  const std::string project = dir.Write("real/june.prj", "");

  ProjectLockAttempt first = ProjectLock::Take(project);
  ASSERT_TRUE(first.lock) << first.problem;
  EXPECT_TRUE(fs::exists(project + ".lock"));

  const ProjectLockAttempt second = ProjectLock::Take(dir.File("alias/../alias/june.prj"));
  EXPECT_FALSE(second.lock);
  ASSERT_TRUE(second.holder);
  EXPECT_EQ(second.holder->Describe(), ThisProcess());
  ASSERT_TRUE(ProjectLock::FindHolder(dir.File("alias/june.prj")));

  // Opening and closing the lock file elsewhere, as any program may, keeps the lock.
  const int other = open((project + ".lock").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  close(other);
  EXPECT_TRUE(ProjectLock::Take(project).holder);

  first.lock.reset();
  EXPECT_FALSE(fs::exists(project + ".lock"));
  EXPECT_FALSE(ProjectLock::FindHolder(project));
  EXPECT_TRUE(ProjectLock::Take(dir.File("alias/june.prj")).lock);
}

TEST(ProjectLockTest, ALockLeftByAKilledProcessIsNoObstacle) {
  TempDir dir;
  const std::string project = dir.Write("june.prj", "");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Holds the lock and dies without letting it go.
    const ProjectLockAttempt held = ProjectLock::Take(project);
    if (held.lock) raise(SIGKILL);
    _exit(1);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_NE(ReadFileBytes(project + ".lock").find(std::to_string(child)), std::string::npos);

  EXPECT_FALSE(ProjectLock::FindHolder(project));
  ProjectLockAttempt taken = ProjectLock::Take(project);
  ASSERT_TRUE(taken.lock) << taken.problem;
  EXPECT_EQ(ReadFileBytes(project + ".lock").find(std::to_string(child) + "\n"), std::string::npos);

  // Nor is a link where the lock file goes, which no holder can lock
  // through: it gives way to a lock file, and what it names is left alone.
  taken.lock.reset();
  const std::string target = dir.Write("target", "precious");
  for (const std::string& pointee : {target, dir.File("nowhere")}) {
    fs::create_symlink(pointee, project + ".lock");
    const ProjectLockAttempt linked = ProjectLock::Take(project);
    ASSERT_TRUE(linked.lock) << linked.problem;
    EXPECT_FALSE(fs::is_symlink(project + ".lock"));
    EXPECT_EQ(ReadFileBytes(target), "precious");
    EXPECT_FALSE(fs::exists(dir.File("nowhere")));
  }
}

constexpr const char* kList = "Name\tEmail\nAnn\tann@x.org\nBob\tbob@x.org\nCid\tcid@x.org\n";

class DocumentAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    projectPath = testing::WriteTestProject(
        dir.path(), TestProject(kList, "\x81\x80\x80" + std::string(32000 - 3, '\0')));
    writer.document.SetProjectAccess(ProjectAccess::Exclusive);
    ASSERT_TRUE(writer.document.OnOpenDocument(projectPath));
  }
  std::string Files() const {
    return ReadFileBytes(projectPath) + ReadFileBytes(dir.File("project.prh"));
  }

  TempDir dir;
  std::string projectPath;
  RecordedDocument writer;
};

TEST_F(DocumentAccessTest, AProjectAnotherWriterHoldsOpensReadOnlyAndNothingOfItChanges) {
  RecordedDocument viewer;
  viewer.document.SetProjectAccess(ProjectAccess::ExclusiveOrReadOnly);
  ASSERT_TRUE(viewer.document.OnOpenDocument(projectPath));
  CPostridrDoc& document = viewer.document;
  ASSERT_TRUE(document.IsReadOnly());
  ASSERT_EQ(viewer.prompts.messages().size(), 1u);
  const std::string& notice = viewer.prompts.messages()[0].text;
  EXPECT_EQ(notice.rfind("The project \"" + projectPath + "\" is in use: " + ThisProcess() +
                             " has it open for writing.\nIt is opened read-only",
                         0),
            0u)
      << notice;
  EXPECT_FALSE(document.IsModified());
  const std::string before = Files();

  document.SelectAll();
  document.UnselectAll();
  document.ToggleEntrySelection(1);
  document.ClearStatus(0);
  document.SelectOnQuery(0, 0, "Ann", QueryJoinNone, -1, -1, "");
  document.SetEmailFieldIndex(0);
  EXPECT_EQ(testing::Statuses(document), (std::vector<int>{StatusSent, 0, 0}));
  EXPECT_EQ(document.GetSelectedCount(), 3);
  EXPECT_EQ(document.GetEmailFieldIndex(), 1);
  EXPECT_FALSE(document.IsModified());

  EXPECT_FALSE(document.OnSaveDocument(projectPath).ok());
  EXPECT_FALSE(document.OnSaveDocument(dir.File("copy.prj")).ok());
  EXPECT_FALSE(document.OpenSendJournal().ok());
  EXPECT_FALSE(document.CheckSendOutcomesWritable().ok());
  EXPECT_TRUE(document.SaveModified());
  EXPECT_TRUE(viewer.prompts.saveChangesAsked().empty());
  EXPECT_EQ(Files(), before);
  EXPECT_FALSE(fs::exists(dir.File("copy.prj")));
}

TEST_F(DocumentAccessTest, AWriterThatMayNotLookOnlyIsRefusedUntilTheHolderLetsGo) {
  RecordedDocument second;
  second.document.SetProjectAccess(ProjectAccess::Exclusive);
  EXPECT_FALSE(second.document.OnOpenDocument(projectPath));
  EXPECT_TRUE(second.prompts.ShowedMessageContaining("is in use: " + ThisProcess()));

  // A document that only looks takes no lock and is no obstacle.
  RecordedDocument looker;
  looker.document.SetProjectAccess(ProjectAccess::ReadOnly);
  ASSERT_TRUE(looker.document.OnOpenDocument(projectPath));
  EXPECT_TRUE(looker.document.IsReadOnly());
  EXPECT_TRUE(looker.prompts.messages().empty());

  testing::ListOnlyWizardPages pages(dir.File("project.list"));
  ASSERT_TRUE(writer.document.OnNewDocument(pages));  // lets the project go
  EXPECT_TRUE(second.document.OnOpenDocument(projectPath));
  EXPECT_FALSE(second.document.IsReadOnly());
}

TEST_F(DocumentAccessTest, SaveAsTakesTheNewNamesLockAndIsRefusedWhereAnotherWriterIs) {
  const std::string copy = dir.File("copy.prj");
  ASSERT_TRUE(writer.document.OnSaveDocument(copy).ok());
  EXPECT_FALSE(ProjectLock::FindHolder(projectPath));
  EXPECT_TRUE(ProjectLock::FindHolder(copy));

  RecordedDocument other;
  other.document.SetProjectAccess(ProjectAccess::Exclusive);
  ASSERT_TRUE(other.document.OnOpenDocument(projectPath));
  const std::string before = Files();
  const Status refused = writer.document.OnSaveDocument(projectPath);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("is in use"), std::string::npos) << refused.message();
  EXPECT_EQ(Files(), before);
  EXPECT_EQ(writer.document.GetPathName(), copy);
  EXPECT_TRUE(ProjectLock::FindHolder(copy));
}

}  // namespace
}  // namespace postrider
