#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "project/mailing_list.h"
#include "project/postridr_doc.h"
#include "project/project_wizard.h"
#include "support/list_only_wizard_pages.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using namespace std::string_literals;
using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;
using Names = std::vector<std::string>;

// Peak memory of this process in KiB since the last reset.
long PeakKibibytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

long ResidentKibibytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

class ListRefusalsTest : public ::testing::Test {
 protected:
  // Opens a project whose list is `list`; the notices it showed.
  std::vector<std::string> OpenWithList(const std::string& list, int type = DBTypeTab) {
    TestProject project(list, std::string(32000, '\0'), type);
    project.emailFieldIndex = 0;
    project.emailFieldName = "";
    doc.prompts.ClearRecords();
    EXPECT_TRUE(doc.Open(dir.path(), project));
    return doc.prompts.messageTexts();
  }
  std::string ListPath(int type = DBTypeTab) const {
    return dir.File(type == DBTypeComma ? "project.csv" : "project.list");
  }

  TempDir dir;
  RecordedDocument doc;
};

TEST_F(ListRefusalsTest, DevicesAreNoListsLettersOrEntryStateFiles) {
  // /dev/zero never ends and /dev/tty waits for a keyboard: reading either
  // would never finish.
  for (const char* device : {"/dev/zero", "/dev/null"}) {
    SCOPED_TRACE(device);
    WizardListPage page;
    page.listFilePath = device;
    EXPECT_EQ(CheckListPage(page), "Invalid database file name.");
    WizardMessagePage letterPage;
    letterPage.messageChoice = WizardMessagePage::kExistingMessage;
    letterPage.messageFilePath = device;
    EXPECT_EQ(CheckMessagePage(letterPage), "Invalid message file name.");

    MailingList list;
    EXPECT_FALSE(list.Open(device, DBTypeTab).ok());
    EXPECT_FALSE(ReadListHeaderFile(device, DBTypeComma).ok());
  }

  const std::string project =
      dir.Write("devices.prj",
                "[Settings]\nMessageFile=/dev/null\nDBFile=/dev/null\nDBFileType=0\n"
                "HelperFile=/dev/zero\n");
  ASSERT_TRUE(doc.document.OnOpenDocument(project));
  ASSERT_EQ(doc.document.GetLoadProblems().size(), 3u);
  for (const std::string& problem : doc.document.GetLoadProblems()) {
    EXPECT_NE(problem.find("not a regular file"), std::string::npos) << problem;
  }
}

TEST_F(ListRefusalsTest, AHeaderOfMillionsOfFieldsIsCountedInBoundedMemory) {
  for (const int type : {DBTypeTab, DBTypeComma}) {
    SCOPED_TRACE(type);
    const char separator = type == DBTypeTab ? '\t' : ',';
    std::string header = "Name"s + separator + "Email";
    header.append(8'000'000, separator);
    header += "Last\r\nAnn" + std::string(1, separator) + "ann@x.org\n";
    dir.Write("wide.txt", header);
    header.clear();
    header.shrink_to_fit();

    const long before = ResidentKibibytes();
    ResetPeakMemory();
    MailingList list;
    ASSERT_TRUE(list.Open(dir.File("wide.txt"), type).ok());
    const Result<ListHeader> alone = ReadListHeaderFile(dir.File("wide.txt"), type);
    const long growth = PeakKibibytes() - before;

    EXPECT_EQ(list.header().fieldsInFile, 8'000'002);
    ASSERT_EQ(list.header().fieldNames.size(), 25u);
    EXPECT_EQ(list.header().fieldNames[0], "Name");
    EXPECT_EQ(list.header().fieldNames[1], "Email");
    EXPECT_EQ(list.header().fieldNames[24], "");
    ASSERT_TRUE(alone.ok());
    EXPECT_EQ(alone->fieldsInFile, 8'000'002);
    EXPECT_EQ(list.entryCount(), 1);
    // The file is 8 MB; holding it, or a string per field, would take far more.
    EXPECT_LT(growth, 6 * 1024) << "KiB";
  }
}

TEST_F(ListRefusalsTest, AListWithoutEntriesSaysWhy) {
  const std::string list = ListPath();
  struct Case {
    std::string text;
    std::string notice;
  };
  const std::vector<Case> cases = {
      {"", "The mailing list " + list + " is empty, so the project has no entries."},
      {"Name\tEmail\n", "The mailing list " + list +
                            " has a header line but no records, so the project has no entries."},
      {"Name\tEmail", "The mailing list " + list +
                          " has a header line but no records, so the project has no entries."},
      {"\0\0\0\0\0\0"s, "The mailing list " + list +
                            " holds NUL bytes and no line end: it is not a text list, so the "
                            "project has no entries."},
      {"Name\tEmail\rAnn\tann@x.org\rBob\tbob@x.org\r",
       "The mailing list " + list +
           " ends its lines with CR alone (an old Mac format), so all of it is read as the header "
           "line and the project has no entries. Save it with LF or CR LF line ends."},
  };
  // A spreadsheet's "Unicode Text" is UTF-16 behind a byte order mark: read
  // as bytes, its fields are names nobody typed and its records garbage.
  const auto wide = [&list](const std::string& encoding) {
    return "The project was opened, but some of its files could not be read:\nCannot open the "
           "mailing list " + list + ": it is saved as " + encoding +
           "; save it as UTF-8 or tab-delimited text.";
  };
  const std::vector<Case> wideCases = {
      {"\xFF\xFEN\0a\0m\0e\0\t\0E\0m\0a\0i\0l\0\n\0A\0\t\0a\0@\0x\0\n\0"s, wide("UTF-16")},
      {"\xFE\xFF\0N\0a\0m\0e\0\t\0E\0m\0a\0i\0l\0\n\0A\0\t\0a\0@\0x\0\n"s, wide("UTF-16")},
      {"\xFF\xFE\0\0N\0\0\0\t\0\0\0E\0\0\0\n\0\0\0A\0\0\0\t\0\0\0a\0\0\0\n\0\0\0"s,
       wide("UTF-32")},
      {"\0\0\xFE\xFF\0\0\0N\0\0\0\t\0\0\0E\0\0\0\n\0\0\0A\0\0\0\t\0\0\0a\0\0\0\n"s,
       wide("UTF-32")},
  };
  for (const std::vector<Case>* table : {&cases, &wideCases}) {
    for (const Case& c : *table) {
      SCOPED_TRACE(c.text);
      EXPECT_EQ(OpenWithList(c.text), Names{c.notice});
      EXPECT_EQ(doc.document.GetEntryCount(), 0);
    }
  }
  // The wizard, and postrider-cli new, refuse such a list at once.
  for (const Case& c : wideCases) {
    SCOPED_TRACE(c.text);
    dir.Write("project.list", c.text);
    WizardListPage page;
    page.listFilePath = list;
    const std::string encoding = c.notice.find("UTF-32") != std::string::npos ? "UTF-32" : "UTF-16";
    EXPECT_EQ(CheckListPage(page), "The mailing list " + list + " is saved as " + encoding +
                                       "; save it as UTF-8 or tab-delimited text.");
    EXPECT_FALSE(ReadListHeaderFile(list, DBTypeTab).ok());
  }
  // So is a workbook picked by mistake (a ZIP, with line ends among its bytes).
  dir.Write("project.list", "PK\x03\x04\x14\0\x06\0\x08\0\0\0!\0\nName\tEmail\n"s);
  WizardListPage workbook;
  workbook.listFilePath = list;
  EXPECT_EQ(CheckListPage(workbook),
            "The mailing list " + list + " holds NUL bytes: it is not a text list (a workbook "
            "must be saved as tab-delimited or comma-delimited text first).");
  // A NUL in a value is that entry's problem, not the list's.
  dir.Write("project.list", "Name\tEmail\nAnn\tann@x.org\0\n"s);
  EXPECT_EQ(CheckListPage(workbook), std::nullopt);
  EXPECT_EQ(OpenWithList("Name,Email\n", DBTypeComma),
            Names{"The mailing list " + ListPath(DBTypeComma) +
                  " has a header line but no records, so the project has no entries."});
  EXPECT_EQ(OpenWithList("Name\tEmail\nAnn\tann@x.org\n"), Names{});
}

TEST_F(ListRefusalsTest, ANewProjectWithAListOfNoRecordsSaysWhy) {
  const std::string list = dir.Write("empty.txt", "Name\tEmail\n");
  testing::ListOnlyWizardPages pages(list);
  ASSERT_TRUE(doc.document.OnNewDocument(pages));
  EXPECT_EQ(doc.prompts.messageTexts(),
            Names{"The mailing list " + list +
                  " has a header line but no records, so the project has no entries."});
}

}  // namespace
}  // namespace postrider
