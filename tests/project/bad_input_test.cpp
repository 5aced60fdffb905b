#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "project/list_query.h"
#include "project/message_file.h"
#include "project/postridr_doc.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using namespace std::string_literals;
using testing::ReadFileBytes;
using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

std::string Garbage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Reads every entry; a record never has more values than the list has room
// for. Only an entry of a comma list's value with a line break (garbage has
// stray quotes) reads as none, and the project says so.
void ReadAllEntries(CPostridrDoc& document) {
  ListRecord record;
  const bool broken = document.LeftOutListPartsText().find("line break") != std::string::npos;
  for (int i = 0; i < document.GetEntryCount(); ++i) {
    record.values = {"stale"};
    if (!document.ReadListRecord(i, record)) {
      ASSERT_TRUE(broken) << i;
      ASSERT_TRUE(record.values.empty()) << i;
      continue;
    }
    ASSERT_LE(record.values.size(), 25u);
  }
}

class BadInputTest : public ::testing::Test {
 protected:
  TempDir dir;
  RecordedDocument doc;
  CPostridrDoc& document = doc.document;
};

TEST_F(BadInputTest, NulBytesInAListAreKeptInTheValues) {
  ASSERT_TRUE(doc.Open(dir.path(), TestProject("Na\0me\tEmail\nA\0n\tann@x.org\n\0\0\n"s)));
  EXPECT_EQ(document.GetFieldNames(), (Names{"Na\0me"s, "Email"}));
  ASSERT_EQ(document.GetEntryCount(), 2);
  ListRecord record;
  ASSERT_TRUE(document.ReadListRecord(0, record));
  EXPECT_EQ(record.values, (Names{"A\0n"s, "ann@x.org"}));
  ASSERT_TRUE(document.ReadListRecord(1, record));
  EXPECT_EQ(record.values, Names{"\0\0"s});
}

TEST_F(BadInputTest, GarbageListsOfEitherKindOpenAndEveryEntryReads) {
  for (int type : {DBTypeTab, DBTypeComma}) {
    ASSERT_TRUE(doc.Open(dir.path(), TestProject(Garbage(300000, 7u + type), std::string(), type)));
    EXPECT_LE(document.GetFieldCount(), 25);
    EXPECT_GT(document.GetEntryCount(), 100);
    ReadAllEntries(document);
  }
}

TEST_F(BadInputTest, GarbageOrNulBytesInAProjectFileNeverCrashTheOpen) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    document.OnOpenDocument(dir.Write("garbage.prj", Garbage(2000 * seed, seed)));
  }
  dir.Write("l.txt", "Email\nann@x.org\n");
  ASSERT_TRUE(document.OnOpenDocument(dir.Write(
      "nul.prj", "[Settings]\nMessageFile=le\0tter.txt\nDBFile=l.txt\nHelperFile=n.prh\n"s)));
  EXPECT_EQ(document.GetEntryCount(), 1);
}

TEST_F(BadInputTest, GarbageMessageFilesAreBodyByteForByte) {
  const std::string garbage = "\0\xFF"s + Garbage(70000, 3);
  EXPECT_EQ(ParseMessageFile(garbage).body, garbage);
  const std::string headed = "To: \0x\nFrom:\nSubject: \xFF\r\n\0rest"s;
  EXPECT_EQ(ParseMessageFile(headed), (MessageContents{"\0x"s, "\xFF", "\0rest"s}));
}

TEST_F(BadInputTest, NamedPipesInPlaceOfTheFilesAreReportedInsteadOfHangingTheOpen) {
  const std::string project = testing::WriteTestProject(dir.path(), TestProject("Name\tEmail\n"));
  for (const char* name : {"project.list", "project-letter.txt", "project.prh"}) {
    fs::remove(dir.File(name));
    ASSERT_EQ(mkfifo(dir.File(name).c_str(), 0600), 0) << name;
  }
  ASSERT_TRUE(doc.document.OnOpenDocument(project));
  EXPECT_EQ(doc.document.GetLoadProblems().size(), 3u);
  EXPECT_EQ(doc.document.GetEntryCount(), 0);

  WizardListPage page;
  page.listFilePath = dir.File("project.list");
  EXPECT_EQ(CheckListPage(page), "Invalid database file name.");
}

TEST_F(BadInputTest, EmptyFilesGiveAnEmptyListLetterAndMarks) {
  TestProject empty("", "\x80");  // mark the first entry to see the state file read
  empty.letterText = "";
  ASSERT_TRUE(doc.Open(dir.path(), empty));
  EXPECT_TRUE(document.GetFieldNames().empty());
  EXPECT_EQ(document.GetEntryCount(), 0);
  EXPECT_EQ(document.GetSubject(), "");
  EXPECT_EQ(document.GetBody(), "");
  EXPECT_EQ(document.GetEntryMarks().Mark(0), 0x80);
  EXPECT_EQ(doc.prompts.messageTexts(), Names{"The mailing list " + dir.File("project.list") +
                                              " is empty, so the project has no entries."});

  dir.Write("project.prh", "");
  ASSERT_TRUE(document.OnOpenDocument(dir.File("project.prj")));
  EXPECT_EQ(document.GetEntryMarks().Mark(0), 0);

  EXPECT_FALSE(document.OnOpenDocument(dir.Write("empty.prj", "")));
  EXPECT_EQ(doc.prompts.messageTexts().back(), "Error loading project");
}

TEST_F(BadInputTest, AListThatVanishesOrShrinksAfterLoadingStillReads) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < 2000; ++i) list += "name" + std::to_string(i) + "\tn@x.org\n";
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(list)));
  fs::remove(dir.File("project.list"));
  ListRecord record;
  ASSERT_TRUE(document.ReadListRecord(1999, record));
  EXPECT_EQ(record.ValueAt(0), "name1999");

  ASSERT_TRUE(doc.Open(dir.path(), TestProject(list)));
  fs::resize_file(dir.File("project.list"), 100);
  ReadAllEntries(document);
  fs::resize_file(dir.File("project.list"), 0);
  ReadAllEntries(document);
  document.SelectOnQuery(0, QueryEquals, "", QueryJoinNone, -1, 0, "");
  EXPECT_EQ(document.GetSelectedCount(), 2000);
}

TEST_F(BadInputTest, AProjectFileWithoutAFinalLineEndReadsItsLastKey) {
  dir.Write("l.txt", "Email\nann@x.org");
  ASSERT_TRUE(document.OnOpenDocument(
      dir.Write("p.prj", "[Settings]\r\nMessageFile=m.txt\r\nDBFile=l.txt\r\nHelperFile=p.prh")));
  EXPECT_EQ(document.GetEntryStateFilePath(), dir.File("p.prh"));
  EXPECT_EQ(document.GetEntryCount(), 1);
}

TEST_F(BadInputTest, AProjectFileWithAStrayCarriageReturnInAValueStillSaves) {
  // A lone CR inside a value reads as part of it, but could never be written
  // as a new value; a value saved as it was read is left as the file has it,
  // and so is one longer than the program reads.
  dir.Write("l.txt", "Name\tEmail\tCo\rpy\nAnn\tann@x.org\tboss@x.org\n");
  const std::string longField = std::string(100, 'b') + "\r" + std::string(200, 'c');
  const std::string keys = "CcField=Co\rpy\nReplyTo=desk\r@x.org\nBccField=" + longField + "\n";
  const std::string path = dir.Write(
      "p.prj", "[Settings]\nMessageFile=m.txt\nDBFile=l.txt\nDBFileType=0\n"
               "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=p.prh\nLastIndexSent=0\n" +
                   keys);
  ASSERT_TRUE(document.OnOpenDocument(path));
  const LetterOptions options = document.GetLetterOptions();
  EXPECT_EQ(options.ccField, "Co\rpy");
  EXPECT_EQ(options.replyTo, "desk\r@x.org");
  EXPECT_EQ(options.bccField, longField.substr(0, 255));

  const Status saved = document.OnSaveDocument(path);
  ASSERT_TRUE(saved.ok()) << saved.message();
  EXPECT_NE(ReadFileBytes(path).find(keys), std::string::npos);
  RecordedDocument again;
  ASSERT_TRUE(again.document.OnOpenDocument(path));
  EXPECT_EQ(again.document.GetLetterOptions(), options);
}

TEST_F(BadInputTest, AListOf32005RecordsLoads32000AndTellsTheUser) {
  std::string list = "Email\n";
  for (int i = 0; i < 32005; ++i) list += "e" + std::to_string(i) + "@x.org\n";
  TestProject project(list);
  project.emailFieldIndex = 0;
  ASSERT_TRUE(doc.Open(dir.path(), project));
  EXPECT_EQ(document.GetEntryCount(), 32000);
  ASSERT_EQ(doc.prompts.messages().size(), 1u);
  EXPECT_TRUE(doc.prompts.ShowedMessageContaining("32005"));
  EXPECT_TRUE(doc.prompts.ShowedMessageContaining("32000"));
  ListRecord record;
  ASSERT_TRUE(document.ReadListRecord(31999, record));
  EXPECT_EQ(record.ValueAt(0), "e31999@x.org");
  EXPECT_FALSE(document.ReadListRecord(32000, record));
  document.SelectAll();
  EXPECT_EQ(document.GetSelectedCount(), 32000);
}

TEST_F(BadInputTest, AListOf30FieldsKeeps25AndTellsTheUser) {
  std::string header;
  std::string record;
  for (int i = 0; i < 30; ++i) {
    header += "F" + std::to_string(i) + (i < 29 ? "," : "\n");
    record += "v" + std::to_string(i) + (i < 29 ? "," : "\n");
  }
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(header + record, std::string(), DBTypeComma)));
  ASSERT_EQ(document.GetFieldCount(), 25);
  EXPECT_EQ(document.GetFieldNames().back(), "F24");
  EXPECT_TRUE(doc.prompts.ShowedMessageContaining("30 fields"));
  ListRecord values;
  ASSERT_TRUE(document.ReadListRecord(0, values));
  EXPECT_EQ(values.values.size(), 25u);
}

TEST_F(BadInputTest, LongLinesAreOneEntryAndLongValuesStayWhole) {
  const std::string longName(2000, 'n');
  const std::string longAddress = std::string(3000, 'a') + "@x.org";
  const std::string list = "Name\tEmail\n" + longName + "\t" + longAddress + "\nBob\tbob@x.org\n";
  ASSERT_TRUE(doc.Open(dir.path(), TestProject(list)));
  ASSERT_EQ(document.GetEntryCount(), 2);
  ListRecord record;
  ASSERT_TRUE(document.ReadListRecord(0, record));
  EXPECT_EQ(record.values, (Names{longName, longAddress}));
  ASSERT_TRUE(document.ReadListRecord(1, record));
  EXPECT_EQ(record.values, (Names{"Bob", "bob@x.org"}));
}

TEST_F(BadInputTest, ALongBodyIsLoadedAndSavedWhole) {
  std::string body;
  while (body.size() < 100000) body += "Line " + std::to_string(body.size()) + " of [[Name]]\r\n";
  TestProject project("Name\nAnn\n");
  project.letterText = "To: \nFrom:  \nSubject: Long\n" + body;
  ASSERT_TRUE(doc.Open(dir.path(), project));
  EXPECT_EQ(document.GetBody(), body);
  ASSERT_TRUE(document.OnSaveDocument(document.GetPathName()));
  EXPECT_EQ(ReadFileBytes(dir.File("project-letter.txt")), project.letterText);
}

}  // namespace
}  // namespace postrider
