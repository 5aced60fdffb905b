#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "project/postridr_doc.h"
#include "support/list_only_wizard_pages.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

// A list pane that keeps rows the way the desktop's does: it takes the entry
// count at FillList and drops its rows at the notice. What it can read at the
// notice tells whether the old list was still open then.
class RowKeepingView : public IProjectView {
 public:
  explicit RowKeepingView(const CPostridrDoc& document) : document_(document) {}

  void FillList() override { rows = document_.GetEntryCount(); }
  void RedrawList() override {}
  void ShowEntry(int index) override { events.push_back("show " + std::to_string(index)); }
  void ListAboutToChange() override {
    ListRecord record;
    readableAtNotice.push_back(rows > 0 && document_.ReadListRecord(0, record)
                                   ? record.ValueAt(0)
                                   : std::string("-"));
    rows = 0;
  }
  void EntryMarkChanged(int index) override { events.push_back("mark " + std::to_string(index)); }

  int rows = 0;
  std::vector<std::string> readableAtNotice;
  std::vector<std::string> events;

 private:
  const CPostridrDoc& document_;
};

// Remembers how many rows the pane showed while each message box was up.
class RowCheckingPrompts : public testing::RecordingPrompts {
 public:
  explicit RowCheckingPrompts(const RowKeepingView& view) : view_(view) {}
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    rowsWhileShown.push_back(view_.rows);
    RecordingPrompts::ShowMessage(text, icon);
  }
  std::vector<int> rowsWhileShown;

 private:
  const RowKeepingView& view_;
};

class ProjectViewNoticesTest : public ::testing::Test {
 protected:
  ProjectViewNoticesTest() {
    doc.document.AddView(&view);
    doc.document.SetPrompts(&prompts);
  }
  ~ProjectViewNoticesTest() override { doc.document.RemoveView(&view); }

  TempDir dir;
  RecordedDocument doc;
  RowKeepingView view{doc.document};
  RowCheckingPrompts prompts{view};
};

TEST_F(ProjectViewNoticesTest, TheNoticeComesWhileTheOldListIsStillOpen) {
  ASSERT_TRUE(doc.document.OnOpenDocument(
      testing::WriteTestProject(dir.path(), TestProject("Name\nold-a\nold-b\n"), "first")));
  ASSERT_EQ(view.rows, 2);
  view.readableAtNotice.clear();

  ASSERT_TRUE(doc.document.OnOpenDocument(
      testing::WriteTestProject(dir.path(), TestProject("Name\nnew-a\n"), "second")));
  ASSERT_FALSE(view.readableAtNotice.empty());
  EXPECT_EQ(view.readableAtNotice.front(), "old-a");
  EXPECT_EQ(view.rows, 1);
}

TEST_F(ProjectViewNoticesTest, AWarningWhileAProjectIsHalfLoadedFindsTheRowsDropped) {
  ASSERT_TRUE(doc.document.OnOpenDocument(
      testing::WriteTestProject(dir.path(), TestProject("Name\na\nb\nc\n"), "first")));
  ASSERT_EQ(view.rows, 3);
  prompts.rowsWhileShown.clear();  // what the first project's opening said

  TestProject unreadableLetter("Name\nw\nx\ny\nz\n");
  const std::string path = testing::WriteTestProject(dir.path(), unreadableLetter, "second");
  std::remove((dir.path() + "/second-letter.txt").c_str());
  ASSERT_TRUE(doc.document.OnOpenDocument(path));

  ASSERT_EQ(prompts.rowsWhileShown.size(), 1u);  // "some of its files could not be read"
  EXPECT_EQ(prompts.rowsWhileShown[0], 0);
  EXPECT_EQ(view.rows, 4);
}

TEST_F(ProjectViewNoticesTest, TheWizardsTooLongListWarningFindsTheRowsDropped) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < kMaxListEntries + 2; ++i) list += "n\te@x.org\n";
  const std::string listPath = dir.Write("long.txt", list);
  ASSERT_TRUE(doc.document.OnOpenDocument(
      testing::WriteTestProject(dir.path(), TestProject("Name\na\nb\n"), "first")));
  prompts.rowsWhileShown.clear();

  testing::ListOnlyWizardPages pages(listPath);
  ASSERT_TRUE(doc.document.RunProjectWizard(pages));

  ASSERT_EQ(prompts.rowsWhileShown.size(), 1u);  // only the first 32000 are used
  EXPECT_EQ(prompts.rowsWhileShown[0], 0);
  EXPECT_EQ(view.rows, kMaxListEntries);
}

TEST_F(ProjectViewNoticesTest, MarkChangesNameOneEntryAndBulkChangesNone) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject("Name\na\nb\nc\n")));
  view.events.clear();

  doc.document.ToggleEntrySelection(1);
  doc.document.SetEntryStatus(2, StatusSent);
  // The row's new mark is known before it is shown.
  EXPECT_EQ(view.events, (std::vector<std::string>{"mark 1", "mark 2", "show 2"}));

  doc.document.SelectAll();
  doc.document.UnselectAll();
  doc.document.ClearStatus(0);
  EXPECT_EQ(doc.projectView.changedMarks, (std::vector<int>{1, 2}));
  EXPECT_EQ(doc.projectView.redrawCount, 3);
}

TEST_F(ProjectViewNoticesTest, ARecordReadsThroughAConstDocument) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject("Name\tEmail\nAnn\tann@x.org\nBob\tbob@x.org\n")));
  doc.document.ToggleEntrySelection(1);
  const CPostridrDoc& document = doc.document;
  ListRecord record;
  ASSERT_TRUE(document.ReadListRecord(1, record));
  EXPECT_EQ(record.ValueAt(0), "Bob");
  EXPECT_EQ(record.selection, 128);
  ASSERT_TRUE(document.ReadListRecord(0, record));  // the same record, its strings reused
  EXPECT_EQ(record.ValueAt(1), "ann@x.org");
  EXPECT_EQ(record.selection, 0);
}

}  // namespace
}  // namespace postrider
