#include "project/list_query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/address_check.h"
#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

TEST(TestCondition, ComparesTextsByteByByteAndCaseSensitively) {
  EXPECT_FALSE(TestCondition("SMITH", QueryEquals, "smith"));
  EXPECT_TRUE(TestCondition("SMITH", QueryNotEquals, "smith"));
  EXPECT_TRUE(TestCondition("b", QueryGreater, "abc"));
  EXPECT_TRUE(TestCondition("ab", QueryLess, "abc"));
  EXPECT_TRUE(TestCondition("abc", QueryGreaterOrEqual, "abc"));
  EXPECT_TRUE(TestCondition("abc", QueryLessOrEqual, "abc"));
  EXPECT_FALSE(TestCondition(" a", QueryEquals, "a"));
  // Bytes are unsigned: a Latin-1 letter sorts after every ASCII one.
  EXPECT_TRUE(TestCondition("\xE9", QueryGreater, "z"));
  EXPECT_FALSE(TestCondition("a", 7, "a"));
  EXPECT_FALSE(TestCondition("a", -1, "a"));
}

// value, operator, text, result
struct NumberCase {
  const char* value;
  int op;
  const char* text;
  bool meets;
};

TEST(TestCondition, OrdersNumbersBySizeAndKeepsEqualsExact) {
  const NumberCase cases[] = {
      // "Amount less than 5" must not take 15 to 49.
      {"15", QueryLess, "5", false},
      {"49", QueryLess, "5", false},
      {"4", QueryLess, "5", true},
      {"100", QueryGreater, "20", true},
      {"20", QueryLessOrEqual, "100", true},
      // Signs, decimal points and zeros that change nothing.
      {"-3", QueryLess, "2", true},
      {"-10", QueryLess, "-9", true},
      {"-0", QueryGreaterOrEqual, "0", true},
      {"-0", QueryLessOrEqual, "+0.000", true},
      {"2.5", QueryGreater, "2.45", true},
      {"2.50", QueryLessOrEqual, "2.5", true},
      {".5", QueryLess, "1", true},
      {"12.", QueryGreaterOrEqual, "12", true},
      {"007", QueryLess, "8", true},
      {" 42 ", QueryGreater, "9", true},
      // More digits than any machine number holds, still exact.
      {"123456789012345678901234567890", QueryGreater, "123456789012345678901234567889", true},
      {"0.1000000000000000000000000001", QueryGreater, "0.1", true},
      // Not numbers, so text: a thousands separator, a decimal comma, an
      // exponent, a sign alone, an empty value.
      {"1,500", QueryLess, "200", true},
      {"2,5", QueryLess, "10", false},
      {"1e3", QueryLess, "2", true},
      {"-", QueryLess, "0", true},
      {"", QueryLess, "5", true},
      {"abc", QueryGreater, "5", true},
      // equals and does not equal stay exact text: codes keep their zeros.
      {"01234", QueryEquals, "1234", false},
      {"01234", QueryEquals, "01234", true},
      {"5.0", QueryEquals, "5", false},
      {"5.0", QueryNotEquals, "5", true},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(TestCondition(c.value, c.op, c.text), c.meets)
        << '"' << c.value << "\" " << kQueryOperatorTexts[static_cast<std::size_t>(c.op)] << " \""
        << c.text << '"';
  }
  EXPECT_TRUE(IsQueryNumber("+1.25"));
  EXPECT_FALSE(IsQueryNumber("1.2.3"));
  EXPECT_FALSE(IsQueryNumber("."));
}

TEST(TestCondition, ComparesALatin1ValueAsShownWithATextTypedAsUtf8) {
  // The window shows "M\xFCller" from a Latin-1 list as the letters the user
  // types; the query gets them as UTF-8.
  const NumberCase cases[] = {
      {"M\xFCller", QueryEquals, "M\xC3\xBCller", true},
      {"M\xFCller", QueryNotEquals, "M\xC3\xBCller", false},
      {"Jos\xE9", QueryEquals, "Jos\xC3\xA9", true},
      {"\x80uro", QueryEquals, "\xE2\x82\xACuro", true},  // the euro sign
      // The other way round: a Latin-1 text against a UTF-8 list.
      {"M\xC3\xBCller", QueryEquals, "M\xFCller", true},
      // Both Latin-1, or both UTF-8: bytes as before.
      {"M\xFCller", QueryEquals, "M\xFCller", true},
      {"M\xFCller", QueryEquals, "Muller", false},
      // Order by letter: u-umlaut comes after z and before the euro sign.
      {"\xFC", QueryGreater, "z", true},
      {"\xFC", QueryLess, "\xE2\x82\xAC", true},
      {"\xE9", QueryLess, "\xC3\xBC", true},
      {"caf\xE9", QueryGreaterOrEqual, "caf\xC3\xA9", true},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(TestCondition(c.value, c.op, c.text), c.meets)
        << ::testing::PrintToString(std::string(c.value)) << ' '
        << kQueryOperatorTexts[static_cast<std::size_t>(c.op)] << ' '
        << ::testing::PrintToString(std::string(c.text));
  }
}

TEST(TestCondition, ValidAddressLooksOnlyAtTheValue) {
  EXPECT_TRUE(TestCondition("ann@x.org", QueryValidAddress, "anything"));
  EXPECT_FALSE(TestCondition("a@x.", QueryValidAddress, "ann@x.org"));
}

TEST(AddressCheck, NeedsFiveCharactersALeadingLetterOrDigitNoBlankAnAtAndADot) {
  EXPECT_TRUE(IsValidAddress("a@b.c"));
  EXPECT_TRUE(IsValidAddress("9.x@y"));  // order does not matter
  EXPECT_FALSE(IsValidAddress("a@b."));
  EXPECT_FALSE(IsValidAddress("ann @x.org"));
  EXPECT_FALSE(IsValidAddress("@ann.x.org"));
  EXPECT_FALSE(IsValidAddress(".ann@x.org"));
  EXPECT_FALSE(IsValidAddress("ann.x.org"));
  EXPECT_FALSE(IsValidAddress("ann@xorg"));
  EXPECT_TRUE(IsValidAddress("ann@x.org\t"));  // only the blank is looked for
}

class SelectOnQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string marks(32000, '\0');
    marks[0] = static_cast<char>(0x80 | StatusSent);
    marks[3] = StatusBadAddress;
    ASSERT_TRUE(doc.Open(dir.path(), TestProject("Name\tEmail\tCity\n"
                                                 "Ann\tann@x.org\tOslo\n"
                                                 "Bob\tbob@x\tRome\n"
                                                 "ann\tann@y.org\t\n"
                                                 "Cid\tcid@z.org\n",
                                                 marks)));
    doc.frame.selectedCounts.clear();
    doc.projectView.redrawCount = 0;
    doc.document.SetModifiedFlag(false);
  }

  std::vector<int> Selected() {
    std::vector<int> selected;
    for (int i = 0; i < doc.document.GetEntryCount(); ++i) {
      if (doc.document.IsEntrySelected(i)) selected.push_back(i);
    }
    return selected;
  }

  void Query(int field1, int op1, const std::string& value1, int join = QueryJoinNone,
             int field2 = -1, int op2 = 0, const std::string& value2 = "") {
    doc.document.SelectOnQuery(field1, op1, value1, join, field2, op2, value2);
  }

  TempDir dir;
  RecordedDocument doc;
};

TEST_F(SelectOnQueryTest, WithoutAFirstFieldNothingChanges) {
  Query(-1, QueryEquals, "Ann");
  Query(0, -1, "Ann");
  EXPECT_EQ(Selected(), std::vector<int>{0});
  EXPECT_FALSE(doc.document.IsModified());
  EXPECT_TRUE(doc.frame.selectedCounts.empty());
}

TEST_F(SelectOnQueryTest, ReplacesTheSelectionAndKeepsSendStatuses) {
  Query(0, QueryEquals, "ann");
  EXPECT_EQ(Selected(), std::vector<int>{2});
  EXPECT_EQ(doc.document.GetEntryStatus(0), StatusSent);
  EXPECT_EQ(doc.document.GetEntryStatus(3), StatusBadAddress);
  EXPECT_EQ(doc.document.GetSelectedCount(), 1);
  EXPECT_EQ(doc.frame.selectedCounts.back(), 1);
  EXPECT_TRUE(doc.document.IsModified());
}

TEST_F(SelectOnQueryTest, EqualsEmptyMatchesEmptyAndMissingValues) {
  Query(2, QueryEquals, "");
  EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
}

TEST_F(SelectOnQueryTest, AQueryMatchingNothingShowsZeroAndMarksModified) {
  Query(0, QueryEquals, "Zed");
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(doc.frame.selectedCounts.back(), 0);
  EXPECT_TRUE(doc.document.IsModified());
}

TEST_F(SelectOnQueryTest, AndOrJoinTwoConditions) {
  Query(1, QueryValidAddress, "", QueryJoinAnd, 0, QueryGreaterOrEqual, "B");
  EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
  Query(0, QueryEquals, "Bob", QueryJoinOr, 2, QueryEquals, "Oslo");
  EXPECT_EQ(Selected(), (std::vector<int>{0, 1}));
}

TEST_F(SelectOnQueryTest, TheSecondConditionNeedsBothAJoinAndASecondField) {
  Query(0, QueryEquals, "Bob", QueryJoinOr, -1, QueryEquals, "Ann");
  EXPECT_EQ(Selected(), std::vector<int>{1});
  Query(0, QueryEquals, "Bob", QueryJoinNone, 0, QueryEquals, "Ann");
  EXPECT_EQ(Selected(), std::vector<int>{1});
  Query(0, QueryEquals, "Bob", QueryJoinAnd, 0, -1, "Ann");
  EXPECT_EQ(Selected(), std::vector<int>{1});
}

TEST_F(SelectOnQueryTest, AFieldBeyondTheRecordIsTestedAsEmpty) {
  Query(24, QueryEquals, "");
  EXPECT_EQ(Selected(), (std::vector<int>{0, 1, 2, 3}));
}

TEST(SelectOnQuery, FindsALatin1ListsLettersTypedAsUtf8) {
  TempDir dir;
  RecordedDocument doc;
  ASSERT_TRUE(doc.Open(dir.path(), TestProject("Name\tEmail\tCity\n"
                                               "Ann\tann@x.org\tZ\xFCrich\n"
                                               "Bob\tbob@x.org\tZurich\n"
                                               "Cid\tcid@x.org\tK\xF6ln\n"
                                               "Dee\tdee@x.org\tK\xC3\xB6ln\n")));
  doc.document.SelectOnQuery(2, QueryEquals, "Z\xC3\xBCrich", QueryJoinOr, 2, QueryEquals,
                             "K\xC3\xB6ln");
  std::vector<int> selected;
  for (int i = 0; i < doc.document.GetEntryCount(); ++i) {
    if (doc.document.IsEntrySelected(i)) selected.push_back(i);
  }
  EXPECT_EQ(selected, (std::vector<int>{0, 2, 3}));
}

}  // namespace
}  // namespace postrider
