#include "project/list_line_splitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace postrider {
namespace {

using Values = std::vector<std::string>;

Values Tab(std::string_view line) {
  Values values;
  SplitTabLine(line, values);
  return values;
}

Values Comma(std::string_view line) {
  Values values;
  SplitCommaLine(line, values);
  return values;
}

TEST(TabLineSplitter, EveryTabSeparatesAndATrailingTabGivesAnEmptyLastValue) {
  EXPECT_EQ(Tab("Name\tEmail\t\n"), (Values{"Name", "Email", ""}));
  EXPECT_EQ(Tab("a\t\tb"), (Values{"a", "", "b"}));
  EXPECT_EQ(Tab("\n"), (Values{""}));
}

TEST(TabLineSplitter, DropsOneQuoteAtEachEndOnly) {
  EXPECT_EQ(Tab("\"Name\"\t\"Email\"\n"), (Values{"Name", "Email"}));
  EXPECT_EQ(Tab("\"b\"c\"\t\"\"\"\n"), (Values{"b\"c", "\""}));
  // Quotes do not protect a TAB.
  EXPECT_EQ(Tab("\"x\ty\"\n"), (Values{"x", "y"}));
}

TEST(ListLineSplitters, ACrLfLineEndNeverReachesAValue) {
  EXPECT_EQ(Tab("a\tb\r\n"), (Values{"a", "b"}));
  EXPECT_EQ(Comma("a,b\r\n"), (Values{"a", "b"}));
  EXPECT_EQ(Comma("a,\"b\"\r\n"), (Values{"a", "b"}));
}

TEST(CommaLineSplitter, QuotedNamesAndUnquotedNamesGiveTheSameFields) {
  EXPECT_EQ(Comma("\"Name\",\"Email\"\n"), (Values{"Name", "Email"}));
  EXPECT_EQ(Comma("Name,Email\n"), (Values{"Name", "Email"}));
  EXPECT_EQ(Comma("Name,Email"), (Values{"Name", "Email"}));
}

TEST(CommaLineSplitter, CommasInsideQuotesBelongToTheValue) {
  EXPECT_EQ(Comma("\"Smith, John\",Jones\n"), (Values{"Smith, John", "Jones"}));
  EXPECT_EQ(Comma(" a , b \n"), (Values{" a ", " b "}));
}

// As every spreadsheet writes a quote in a cell.
TEST(CommaLineSplitter, ADoubledQuoteInsideQuotesIsOneQuoteOfTheValue) {
  const std::pair<std::string_view, Values> rows[] = {
      {"\"a\"\"b\",c\n", {"a\"b", "c"}},
      {"\"Bo \"\"B\"\" Berg\",bo@x.org\r\n", {"Bo \"B\" Berg", "bo@x.org"}},
      {"\"a\"\"\",b\n", {"a\"", "b"}},
      {"\"\"\"\",b\n", {"\"", "b"}},
      {"\"\",b\n", {"", "b"}},
      {"a,\"\"\n", {"a", ""}},
      {"\"a\"\"\"\n", {"a\""}},
      {"\"x\"\",y\n", {"x\",y"}},  // never closed: the rest of the line
      // The character after a closing quote is skipped, whatever it is.
      {"\"x\"y,z\n", {"x", "", "z"}},
      // A quote inside an unquoted value opens quotes without ending the value.
      {"ab\"cd\"e,f\n", {"abcd", "", "f"}},
      {"ab\"c\"\"d\",e\n", {"abc\"d", "e"}},
  };
  for (const auto& [line, values] : rows) EXPECT_EQ(Comma(line), values) << line;
}

TEST(CommaLineSplitter, ALineEndAfterTheLastCommaGivesAnEmptyLastValue) {
  EXPECT_EQ(Comma("a,b,\n"), (Values{"a", "b", ""}));
  EXPECT_EQ(Comma("\"a\",\n"), (Values{"a", ""}));
  EXPECT_EQ(Comma("\n"), (Values{""}));
  // At the end of the file there is nothing left to collect.
  EXPECT_EQ(Comma("a,b,"), (Values{"a", "b"}));
  EXPECT_EQ(Comma("\"a\"\n"), (Values{"a"}));
}

TEST(ListLineSplitters, KeepTheFirst25ValuesAndNoMore) {
  std::string tabLine;
  std::string commaLine;
  for (int i = 0; i < 30; ++i) {
    tabLine += "v" + std::to_string(i) + (i < 29 ? "\t" : "\n");
    commaLine += "v" + std::to_string(i) + (i < 29 ? "," : "\n");
  }
  for (const Values& values : {Tab(tabLine), Comma(commaLine)}) {
    ASSERT_EQ(values.size(), 25u);
    EXPECT_EQ(values.back(), "v24");
  }
  Values all;
  SplitListLine(DBTypeComma, commaLine, all, static_cast<std::size_t>(-1));
  EXPECT_EQ(all.size(), 30u);
}

// A read that stops at the email field, or takes just that value, sees
// what a whole read sees.
TEST(ListLineSplitters, ABoundedSplitOrOneValueGivesWhatTheWholeSplitGives) {
  const std::pair<int, std::string_view> lines[] = {
      {DBTypeComma, "\"Ann, Smith\",ann@x.org,\"\"q\"\",,\"last\"\n"},
      {DBTypeComma, "a,\"b\"c,\"d,e\"f,g,\n"},
      {DBTypeComma, "\"Bo \"\"B\"\" Berg\",bo@x.org,\"\"\"\",\"a\"\"\"\n"},
      {DBTypeTab, "\"a\"\t\tb\"\tann@x.org\t\r\n"},
      {DBTypeTab, "\"\t\"\"\tlast"},
  };
  for (const auto& [type, line] : lines) {
    Values whole;
    SplitListLine(type, line, whole);
    for (std::size_t bound = 1; bound <= whole.size() + 1; ++bound) {
      Values first;
      SplitListLine(type, line, first, bound);
      EXPECT_EQ(first, Values(whole.begin(), whole.begin() + std::min(bound, whole.size())))
          << line << " bound " << bound;
      if (type == DBTypeTab) {
        EXPECT_EQ(TabLineValue(line, bound - 1), bound <= whole.size() ? whole[bound - 1] : "")
            << line << " field " << bound - 1;
      }
    }
  }
}

TEST(ListLineSplitters, AReusedVectorHoldsOnlyTheLatestLine) {
  Values values;
  SplitCommaLine("a,b,c,d\n", values);
  SplitCommaLine("e\n", values);
  EXPECT_EQ(values, (Values{"e"}));
  SplitTabLine("f\tg\n", values);
  EXPECT_EQ(values, (Values{"f", "g"}));
  SplitListLine(DBTypeODBC, "h\ti\n", values);
  EXPECT_TRUE(values.empty());
}

// Lines after one another, each as read without its LF, and whether each ends
// inside quotes: a line a spreadsheet wrote for a value with a line break.
TEST(CommaQuoteState, FollowsTheSplittersQuotesFromLineToLine) {
  const std::pair<std::vector<std::string>, std::vector<bool>> rows[] = {
      {{"a,b", "\"a,b\",c", "a,\"b\"\r"}, {false, false, false}},
      {{"Ann,\"12 Main St", "Apt 4\",ann@x.org"}, {true, false}},
      {{"Dee,\"one", "two", "three\""}, {true, true, false}},
      // A doubled quote is one quote of the value, also just before the line end.
      {{"\"a\"\"b\",c", "\"a\"\"", "x\"\"\"\r"}, {false, true, false}},
      // A closing quote swallows the character after it, so a third one opens again.
      {{"\"a\"x\"", "b\""}, {true, false}},
      // A quote inside an unquoted value opens quotes to the splitter, but
      // no spreadsheet writes one: it never spans lines.
      {{"Bo \"B\" Berg", "5\" disk", "x,y", "a,5\" disk\",\"b", "c\""},
       {false, false, false, true, false}},
      {{",\"a", "b\",x\"", "\"c\"\"\"d,\"", "e\""}, {true, false, true, false}},
      {{"", "\"", "\"\"", "\""}, {false, true, true, false}},
  };
  for (const auto& [lines, endsInQuotes] : rows) {
    SCOPED_TRACE(lines.front());
    CommaQuoteState whole;
    std::vector<bool> ends;
    for (const std::string& line : lines) {
      whole.Feed(line);
      ends.push_back(whole.EndLine());
    }
    EXPECT_EQ(ends, endsInQuotes);
    // A line read in two pieces, cut anywhere (between doubled quotes too),
    // ends as the whole line does.
    for (std::size_t line = 0; line < lines.size(); ++line) {
      const std::string& text = lines[line];
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        CommaQuoteState pieces;
        for (std::size_t before = 0; before < line; ++before) {
          pieces.Feed(lines[before]);
          pieces.EndLine();
        }
        pieces.Feed(std::string_view(text).substr(0, cut));
        pieces.Feed(std::string_view(text).substr(cut));
        EXPECT_EQ(pieces.EndLine(), endsInQuotes[line]) << text << " cut at " << cut;
      }
    }
  }
}

}  // namespace
}  // namespace postrider
