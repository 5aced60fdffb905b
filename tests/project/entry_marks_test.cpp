#include "project/entry_marks.h"

#include <gtest/gtest.h>

#include <string>

#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

// A project of `entries` one-field entries whose marks come from `marks`.
class EntryMarksTest : public ::testing::Test {
 protected:
  void Open(int entries, std::string marks = std::string(32000, '\0')) {
    std::string list = "Email\n";
    for (int i = 0; i < entries; ++i) list += "e" + std::to_string(i) + "@x.org\n";
    ASSERT_TRUE(doc.Open(dir.path(), TestProject(list, marks)));
    doc.frame.selectedCounts.clear();
    doc.projectView.redrawCount = 0;
    doc.document.SetModifiedFlag(false);
  }
  CPostridrDoc& document() { return doc.document; }
  std::uint8_t Mark(int index) { return document().GetEntryMarks().Mark(index); }

  TempDir dir;
  RecordedDocument doc;
};

TEST_F(EntryMarksTest, SetEntryStatusKeepsTheLowFourBitsAndEveryOtherBit) {
  std::string marks(32000, '\0');
  marks[4] = static_cast<char>(0x80 | 0x70 | StatusHalted);
  Open(10, marks);
  document().SetEntryStatus(4, 17);
  EXPECT_EQ(Mark(4), 0x80 | 0x70 | StatusSent);
  EXPECT_EQ(doc.projectView.shownEntries, std::vector<int>{4});
  // A status change alone does not make the project modified.
  EXPECT_FALSE(document().IsModified());
  EXPECT_TRUE(doc.frame.selectedCounts.empty());
}

TEST_F(EntryMarksTest, SelectAllAndUnselectAllLeaveEverySendStatus) {
  std::string marks(32000, '\0');
  marks[0] = StatusSent;
  marks[2] = static_cast<char>(0x80 | StatusBadAddress);
  Open(3, marks);
  document().SelectAll();
  EXPECT_EQ(Mark(0), 0x80 | StatusSent);
  EXPECT_EQ(Mark(2), 0x80 | StatusBadAddress);
  EXPECT_EQ(document().GetSelectedCount(), 3);
  document().UnselectAll();
  EXPECT_EQ(Mark(0), StatusSent);
  EXPECT_EQ(Mark(1), 0);
  EXPECT_EQ(Mark(2), StatusBadAddress);
  EXPECT_EQ(doc.frame.selectedCounts, (std::vector<long>{3, 0}));
  EXPECT_EQ(doc.projectView.redrawCount, 2);  // once per bulk change, not per row
  EXPECT_TRUE(document().IsModified());
}

TEST_F(EntryMarksTest, ClearStatusKeepsSelectionMarksAndShowsTheRecountedSelection) {
  std::string marks(32000, '\0');
  for (int i = 0; i < 10; ++i) marks[i] = static_cast<char>(i % 4);
  for (int i : {1, 5, 8}) marks[i] = static_cast<char>(marks[i] | 0x80);
  Open(10, marks);
  document().ClearStatus(0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Mark(i) & 0x0F, 0) << i;
  EXPECT_EQ(Mark(5), 0x80);
  EXPECT_EQ(document().GetSelectedCount(), 3);
  EXPECT_EQ(doc.frame.selectedCounts, std::vector<long>{3});
}

TEST_F(EntryMarksTest, ClearStatusFromAnIndexClearsOnlyFromThere) {
  std::string marks(32000, static_cast<char>(StatusSent));
  Open(6, marks);
  document().ClearStatus(4);
  EXPECT_EQ(Mark(3), StatusSent);
  EXPECT_EQ(Mark(4), 0);
  EXPECT_EQ(Mark(5), 0);
  // Marks past the entries are carried, never changed.
  EXPECT_EQ(Mark(6), StatusSent);
}

TEST_F(EntryMarksTest, ClearStatusPastTheLastEntryChangesNothingButStillReports) {
  std::string marks(32000, '\0');
  marks[0] = static_cast<char>(0x80 | StatusSent);
  Open(2, marks);
  document().ClearStatus(2);
  EXPECT_EQ(Mark(0), 0x80 | StatusSent);
  EXPECT_EQ(doc.projectView.redrawCount, 1);
  EXPECT_EQ(doc.frame.selectedCounts, std::vector<long>{1});
  EXPECT_TRUE(document().IsModified());
}

TEST_F(EntryMarksTest, TogglingTwiceRestoresTheMarkAndTheCount) {
  std::string marks(32000, '\0');
  marks[1] = static_cast<char>(0x80 | StatusHalted);
  Open(3, marks);
  document().ToggleEntrySelection(1);
  EXPECT_EQ(Mark(1), StatusHalted);
  EXPECT_EQ(document().GetSelectedCount(), 0);
  document().ToggleEntrySelection(1);
  EXPECT_EQ(Mark(1), 0x80 | StatusHalted);
  EXPECT_EQ(doc.frame.selectedCounts, (std::vector<long>{0, 1}));
}

TEST_F(EntryMarksTest, SelectAllOnAListWithoutEntriesShowsZero) {
  Open(0);
  document().SelectAll();
  EXPECT_EQ(doc.frame.selectedCounts, std::vector<long>{0});
  EXPECT_EQ(Mark(0), 0);
}

TEST(EntryMarksBlock, BulkRangesAreClampedToTheBlock) {
  EntryMarks marks;
  marks.SetSelectionRange(-5, 40000, true);
  EXPECT_EQ(marks.CountSelected(40000), 32000);
  marks.SetStatus(31999, StatusSent);
  marks.ClearStatusRange(31999, 99999);
  EXPECT_EQ(marks.Mark(31999), 0x80);
}

}  // namespace
}  // namespace postrider
