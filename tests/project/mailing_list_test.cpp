#include "project/mailing_list.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;
using Values = std::vector<std::string>;

Values Record(MailingList& list, int index) {
  Values values;
  EXPECT_TRUE(list.ReadRecord(index, values));
  return values;
}

TEST(MailingList, EveryLineAfterTheHeaderIsAnEntryEmptyLinesIncluded) {
  TempDir dir;
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.txt", "Name\tEmail\na\ta@x.org\nb\tb@x.org\nc\tc@x.org\n"),
                        DBTypeTab));
  EXPECT_EQ(list.header().fieldNames, (Values{"Name", "Email"}));
  EXPECT_EQ(list.entryCount(), 3);

  ASSERT_TRUE(list.Open(dir.Write("l2.txt", "Name\tEmail\na\ta@x.org\nb\tb@x.org\nc\tc@x.org\n\n"),
                        DBTypeTab));
  EXPECT_EQ(list.entryCount(), 4);
  EXPECT_EQ(Record(list, 3), (Values{""}));
}

TEST(MailingList, ALastLineWithoutLineEndIsStillAnEntry) {
  TempDir dir;
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.csv", "Name,Email\r\n\"Smith, John\",j@x.org\r\nAnn,a@x.org"),
                        DBTypeComma));
  ASSERT_EQ(list.entryCount(), 2);
  EXPECT_EQ(Record(list, 0), (Values{"Smith, John", "j@x.org"}));
  EXPECT_EQ(Record(list, 1), (Values{"Ann", "a@x.org"}));
}

TEST(MailingList, AHeaderAloneGivesFieldsAndNoEntries) {
  TempDir dir;
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.csv", "Name,Email"), DBTypeComma));
  EXPECT_EQ(list.header().fieldNames, (Values{"Name", "Email"}));
  EXPECT_EQ(list.entryCount(), 0);
  Values values{"untouched"};
  EXPECT_FALSE(list.ReadRecord(0, values));
  EXPECT_EQ(values, (Values{"untouched"}));
}

TEST(MailingList, RecordsReadInAnyOrderGiveTheSameValues) {
  TempDir dir;
  std::string text = "Id\tName\n";
  for (int i = 0; i < 5000; ++i) text += std::to_string(i) + "\tname " + std::to_string(i) + "\n";
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.txt", text), DBTypeTab));
  ASSERT_EQ(list.entryCount(), 5000);
  for (int i : {4999, 0, 2500, 2501, 17, 4999, 17}) {
    EXPECT_EQ(Record(list, i), (Values{std::to_string(i), "name " + std::to_string(i)}));
  }
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(Record(list, i)[0], std::to_string(i));
  }
}

TEST(MailingList, AByteOrderMarkIsNoPartOfTheFirstFieldName) {
  TempDir dir;
  const std::string path = dir.Write("excel.csv", "\xEF\xBB\xBFName,Email\nAnn,ann@x.org\n");
  MailingList list;
  ASSERT_TRUE(list.Open(path, DBTypeComma));
  EXPECT_EQ(list.header().fieldNames, (std::vector<std::string>{"Name", "Email"}));
  std::vector<std::string> values;
  ASSERT_TRUE(list.ReadRecord(0, values));
  EXPECT_EQ(values, (std::vector<std::string>{"Ann", "ann@x.org"}));
}

// The header's field count comes from a streaming count, its names from a
// split: a doubled quote inside quotes is one quote to both.
TEST(MailingList, AHeaderWithDoubledQuotesIsCountedAsItIsSplit) {
  const std::pair<std::string, Values> rows[] = {
      {"\"Name \"\"nick\"\"\",Email\n", {"Name \"nick\"", "Email"}},
      {"Name,\"Email\"\"\"\r\n", {"Name", "Email\""}},
      {"Name,\"Email\"\"\"", {"Name", "Email\""}},
      {"\"\"\"\",\"\",Email\n", {"\"", "", "Email"}},
      {"\"a\"\"b\",,\n", {"a\"b", "", ""}},
      {"\"a\"\"\",\"b\"\r", {"a\"", "b"}},
  };
  TempDir dir;
  for (const auto& [line, names] : rows) {
    SCOPED_TRACE(line);
    const bool ended = line.ends_with('\n');
    const std::string path = dir.Write("l.csv", line + (ended ? "Ann,ann@x.org\n" : ""));
    Result<ListHeader> header = ReadListHeaderFile(path, DBTypeComma);
    ASSERT_TRUE(header.ok());
    EXPECT_EQ(header->fieldNames, names);
    EXPECT_EQ(header->fieldsInFile, static_cast<int>(names.size()));
  }
  // A header read in windows, the first ending between the two quotes.
  const std::string wide(64 * 1024 - 2, 'w');
  Result<ListHeader> header =
      ReadListHeaderFile(dir.Write("w.csv", "\"" + wide + "\"\"x,y\",Email\n"), DBTypeComma);
  ASSERT_TRUE(header.ok());
  EXPECT_EQ(header->fieldsInFile, 2);
}

// A spreadsheet's row with a quoted name keeps its address in the email field.
TEST(MailingList, ARowWithAQuotedNameKeepsItsValuesInPlace) {
  TempDir dir;
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.csv", "Name,Email,City\r\n\"Bo \"\"B\"\" Berg\",bo@x.org,"
                                           "\"Oslo\"\r\n"),
                        DBTypeComma));
  EXPECT_EQ(Record(list, 0), (Values{"Bo \"B\" Berg", "bo@x.org", "Oslo"}));
}

// Each line stays an entry; those that are parts of a value with a line break
// are named, whatever window of the file their quotes fall in.
TEST(MailingList, TheEntriesOfAValueWithALineBreakAreNamedInTheIndexingPass) {
  // A quote and these fill the first 64 KiB window of records.
  const std::string window(64 * 1024 - 1, 'w');
  const std::pair<std::string, std::vector<int>> rows[] = {
      {"Email,Name,Notes\nann@x.org,Ann,\"Assistant:\nbob@x.org, cc him\"\ncy@x.org,Cy,plain\n"
       "dee@x.org,Dee,\"one\r\ntwo\r\nthree\"\nfay@x.org,Fay,\"x, y\"",
       {0, 1, 3, 4, 5}},
      // A header that ends inside quotes leaves the first entry inside them.
      {"Name,\"Email\nx\",y\nAnn,ann@x.org\n", {0}},
      // A quote inside a value is no spreadsheet's: its line reads as it did.
      {"Email,Notes\nann@x.org,5\" disk\nbob@x.org,\"ok\"\n", {}},
      // A last line without its line end, cut inside quotes.
      {"Name,Email\nAnn,ann@x.org\nBob,\"bob", {1}},
      // Doubled quotes on either side of the window's end are one quote...
      {"A,B\n\"" + window.substr(1) + "\"\"x\nnext\",b@x.org\nc,c@x.org\n", {0, 1}},
      // ...and a closing quote there ends the value.
      {"A,B\n\"" + window.substr(1) + "\",b@x.org\nc,c@x.org\n", {}},
      {"A,B\n\"" + window + "\nc\",c@x.org\n", {0, 1}},
  };
  TempDir dir;
  for (const auto& [text, broken] : rows) {
    SCOPED_TRACE(text.substr(0, 40));
    MailingList list;
    ASSERT_TRUE(list.Open(dir.Write("l.csv", text), DBTypeComma));
    EXPECT_EQ(list.entriesInBrokenValues(), broken);
    for (const int entry : broken) EXPECT_TRUE(list.IsInBrokenValue(entry));
    // The list itself still reads each line as it is.
    if (!broken.empty()) {
      EXPECT_FALSE(Record(list, broken.front()).empty());
    }
    // Quotes do not span lines in a TAB list.
    ASSERT_TRUE(list.Open(dir.Write("l.txt", text), DBTypeTab));
    EXPECT_TRUE(list.entriesInBrokenValues().empty());
  }
}

TEST(MailingList, OnlyIndexedEntriesAreNamedAsPartsOfValuesWithLineBreaks) {
  std::string text = "Name,Email\n";
  for (int i = 0; i < kMaxListEntries - 1; ++i) text += "n,e@x.org\n";
  text += "last,\"cut\nbeyond\",e@x.org\nfar,\"away\nmore\"\n";
  TempDir dir;
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.csv", text), DBTypeComma));
  EXPECT_EQ(list.entryCount(), kMaxListEntries);
  EXPECT_EQ(list.entriesInBrokenValues(), std::vector<int>{kMaxListEntries - 1});
  EXPECT_FALSE(list.IsInBrokenValue(kMaxListEntries));
}

TEST(MailingList, ReadListHeaderFileReadsOnlyTheFieldNames) {
  TempDir dir;
  const std::string path = dir.Write("l.csv", "\"Name\",\"Email\"\nAnn,a@x.org\n");
  Result<ListHeader> header = ReadListHeaderFile(path, DBTypeComma);
  ASSERT_TRUE(header.ok());
  EXPECT_EQ(header->fieldNames, (Values{"Name", "Email"}));

  Result<ListHeader> missing = ReadListHeaderFile(dir.File("missing.csv"), DBTypeComma);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find(dir.File("missing.csv")), std::string::npos);
}

TEST(MailingList, AListThatCannotBeOpenedNamesItsPathAndLeavesNothingLoaded) {
  TempDir dir;
  MailingList list;
  ASSERT_TRUE(list.Open(dir.Write("l.txt", "A\nx\n"), DBTypeTab));
  const Status status = list.Open(dir.path(), DBTypeTab);  // a folder
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(dir.path()), std::string::npos);
  EXPECT_FALSE(list.IsOpen());
  EXPECT_EQ(list.entryCount(), 0);
}

TEST(MailingList, AFileWrittenToWhileOpenIsSeenAtTheNextReadButOneReplacedByRenameIsNot) {
  // Lines of one width, over 64 KiB: a same-size rewrite that moves every
  // entry, and a read of the last entry after the first goes to the file.
  const auto listOf = [](int first) {
    std::string text = "Id\tEmail\n";
    for (int i = 0; i < 4000; ++i) {
      char line[32];
      std::snprintf(line, sizeof line, "%04d\tm%04d@x.org\n", (i + first) % 4000, (i + first) % 4000);
      text += line;
    }
    return text;
  };
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> touch;
    bool changed;    // seen by a read of the open file
    bool sameBytes;  // what a send's check of the file at the path finds
  };
  const std::vector<Case> cases = {
      {"untouched", [](const TempDir&) {}, false, true},
      {"rewritten in place, same size", [&](const TempDir& dir) { dir.Write("l.txt", listOf(1)); },
       true, false},
      {"rewritten in place, shorter",
       [](const TempDir& dir) { dir.Write("l.txt", "Id\tEmail\n0001\tm0001@x.org\n"); }, true,
       false},
      {"the same bytes written again in place",
       [&](const TempDir& dir) { dir.Write("l.txt", listOf(0)); }, true, true},
      {"replaced by rename",
       [&](const TempDir& dir) {
         ASSERT_EQ(std::rename(dir.Write("new.txt", listOf(1)).c_str(), dir.File("l.txt").c_str()), 0);
       },
       false, false},
      {"replaced by rename with the same bytes",
       [&](const TempDir& dir) {
         ASSERT_EQ(std::rename(dir.Write("new.txt", listOf(0)).c_str(), dir.File("l.txt").c_str()), 0);
       },
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.Write("l.txt", listOf(0));
    // Written an hour ago, as a list usually is: a rewrite now moves its mtime.
    const timespec anHourAgo{time(nullptr) - 3600, 0};
    const timespec times[2] = {anHourAgo, anHourAgo};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    MailingList list;
    ASSERT_TRUE(list.Open(path, DBTypeTab));
    EXPECT_EQ(Record(list, 0)[1], "m0000@x.org");
    c.touch(dir);
    EXPECT_EQ(list.CheckFileUnchanged().ok(), c.sameBytes);
    EXPECT_FALSE(list.changedSinceOpen());  // nothing read yet
    const Values last = Record(list, 3999);
    EXPECT_EQ(list.changedSinceOpen(), c.changed);
    if (!c.changed) {
      EXPECT_EQ(last, (Values{"3999", "m3999@x.org"}));
    }
    // Opening again indexes the file as it is now.
    ASSERT_TRUE(list.Open(path, DBTypeTab));
    Record(list, list.entryCount() - 1);
    EXPECT_FALSE(list.changedSinceOpen());
  }
}

TEST(DocumentListRecord, AShortRecordReadsAsEmptyValuesForItsMissingFields) {
  TempDir dir;
  testing::RecordedDocument doc;
  ListRecord record;
  EXPECT_FALSE(doc.document.ReadListRecord(0, record));  // no list loaded

  ASSERT_TRUE(doc.Open(dir.path(), testing::TestProject("A\tB\tC\nonly\n")));
  ASSERT_TRUE(doc.document.ReadListRecord(0, record));
  EXPECT_EQ(record.ValueAt(0), "only");
  EXPECT_EQ(record.ValueAt(2), "");
  EXPECT_EQ(record.ValueAt(24), "");
}

TEST(DocumentListRecord, GivesTheEntrysSelectionBitAndSendStatus) {
  TempDir dir;
  testing::RecordedDocument doc;
  ASSERT_TRUE(doc.Open(dir.path(), testing::TestProject("A\nx\ny\n")));
  doc.document.ToggleEntrySelection(1);
  doc.document.SetEntryStatus(1, StatusBadAddress);
  ListRecord record;
  ASSERT_TRUE(doc.document.ReadListRecord(1, record));
  EXPECT_EQ(record.selection, 128);
  EXPECT_EQ(record.sendStatus, StatusBadAddress);
  EXPECT_EQ(record.values, (Values{"y"}));
  ASSERT_TRUE(doc.document.ReadListRecord(0, record));
  EXPECT_EQ(record.selection, 0);
  EXPECT_EQ(record.sendStatus, StatusNone);
}

}  // namespace
}  // namespace postrider
