// A mailing list edited between a run and the next: outcomes follow the
// recipients' addresses, whatever happened to the list's order or size.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "project/list_query.h"
#include "project/postridr_doc.h"
#include "project/selected_addresses.h"
#include "project/send_journal.h"
#include "project/sent_addresses.h"
#include "support/entry_lists.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::RecordedDocument;
using testing::Statuses;
using testing::TempDir;
using testing::TestProject;
namespace fs = std::filesystem;

constexpr const char* kList =
    "Name\tEmail\nAnn\tann@x.org\nBob\tbob@x.org\nCid\tcid@x.org\nDee\tdee@x.org\n";

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::vector<int> Selection(const CPostridrDoc& document) {
  std::vector<int> selection;
  for (int i = 0; i < document.GetEntryCount(); ++i) selection.push_back(document.IsEntrySelected(i));
  return selection;
}

constexpr const char* kSelectionStays =
    "The selection stays as it was, entry by entry: check it before you send.";

class ListChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    projectPath = testing::WriteTestProject(dir.path(), TestProject(kList, std::string(32000, '\x80')));
    ASSERT_TRUE(doc.document.OnOpenDocument(projectPath));
  }
  void WriteList(const std::string& list) { dir.Write("project.list", list); }
  std::string Notices(RecordedDocument& reopened) {
    std::string text;
    for (const std::string& message : reopened.prompts.messageTexts()) text += message + "\n";
    return text;
  }

  TempDir dir;
  std::string projectPath;
  RecordedDocument doc;
};

TEST_F(ListChangeTest, AKilledRunsOutcomesFindTheirRecipientsInAReSortedAndGrownList) {
  testing::JournalAKilledRun(doc.document);
  if (HasFatalFailure()) return;
  // Sorted the other way, one more member, and a domain now in capitals.
  WriteList("Name\tEmail\nEve\teve@x.org\nDee\tdee@x.org\nCid\tcid@X.ORG\nBob\tbob@x.org\n"
            "Ann\tann@x.org\n");

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document),
            (std::vector<int>{0, 0, 0, StatusBadAddress, StatusSent}));
  EXPECT_EQ(reopened.document.GetLastIndexSent(), 0);
  const std::string notices = Notices(reopened);
  EXPECT_NE(notices.find("matched to the list's entries by address"), std::string::npos) << notices;
  EXPECT_NE(notices.find("1 message had been accepted by the server"), std::string::npos);
  EXPECT_NE(notices.find("Entry 3 (cid@x.org) had been handed to the server"), std::string::npos);

  // Saved, the journal is taken in and the list's digest goes with the marks.
  ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
  EXPECT_FALSE(fs::exists(projectPath + ".journal"));
  RecordedDocument third;
  ASSERT_TRUE(third.document.OnOpenDocument(projectPath));
  EXPECT_TRUE(third.prompts.messages().empty());
  EXPECT_EQ(Statuses(third.document), Statuses(reopened.document));
}

TEST_F(ListChangeTest, AKilledRunForOneGroupLeavesAnEarlierGroupsMarksInAReSortedList) {
  // Ann and Bob were mailed and saved; a run for Cid and Dee is killed.
  CPostridrDoc& document = doc.document;
  document.SetEntryStatus(0, StatusSent);
  document.SetEntryStatus(1, StatusSent);
  document.ToggleEntrySelection(0);
  document.ToggleEntrySelection(1);
  ASSERT_TRUE(document.OnSaveDocument(projectPath).ok());
  {
    auto journal = document.OpenSendJournal().value();
    ASSERT_TRUE(journal
                    ->RunStarted(document.GetJournalIdentity(), 0, false,
                                 &document.GetEntryMarks())
                    .ok());
    ASSERT_TRUE(journal->HandedOver(2, "cid@x.org").ok());
    ASSERT_TRUE(journal->Outcome(2, StatusSent, "cid@x.org").ok());
    ASSERT_TRUE(journal->HandedOver(3, "dee@x.org").ok());
  }
  // Sorted the other way: the marks were written by hand, so the selection
  // stays by position, on Bob and Ann now.
  WriteList(Joined({"Name\tEmail", "Dee\tdee@x.org", "Cid\tcid@x.org", "Bob\tbob@x.org",
                    "Ann\tann@x.org"}));
  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document),
            (std::vector<int>{0, StatusSent, StatusSent, StatusSent}));
}

TEST_F(ListChangeTest, SavedMarksFollowTheirAddressesAndADomainMatchesWhateverItsCase) {
  doc.document.SetEntryStatus(0, StatusSent);
  doc.document.SetEntryStatus(2, StatusSent);
  doc.document.SetEntryStatus(3, StatusSent);
  doc.document.SetLastIndexSent(1);
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  ASSERT_TRUE(fs::exists(dir.File("project.prh.sent")));

  // Re-sorted and shrunk: Cid left, a mailbox name changed case, a domain too.
  WriteList(Joined({"Name\tEmail", "Dee\tdee@X.Org", "Bob\tbob@x.org", "Ann\tAnn@x.org"}));
  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{StatusSent, 0, 0}));
  // The run stopped early, so a resume goes on from the first entry not yet sent.
  EXPECT_EQ(reopened.document.GetLastIndexSent(), 1);
  const std::string notices = Notices(reopened);
  EXPECT_NE(notices.find("found again by their address"), std::string::npos) << notices;
  EXPECT_NE(notices.find("2 addresses marked sent before are no longer in the list"),
            std::string::npos)
      << notices;
}

TEST_F(ListChangeTest, TheSentFileNamesEachSentAddressAsUtf8InListOrder) {
  WriteList(Joined({"Name\tEmail", "Ann\tann@x.org", "Zoe\t\"z\xE9@x.org\"", "Nil\t",
                    "Bea\tb\xC3\xA9@x.org", "Cid\tcid@x.org"}));
  RecordedDocument edited;
  ASSERT_TRUE(edited.document.OnOpenDocument(projectPath));
  for (int i = 0; i < 4; ++i) edited.document.SetEntryStatus(i, StatusSent);
  ASSERT_TRUE(edited.document.OnSaveDocument(projectPath).ok());

  const auto sent = ReadSentAddresses(dir.File("project.prh.sent"));
  ASSERT_TRUE(sent.ok() && sent->has_value());
  // Latin-1 read as Windows-1252, quotes dropped, an entry without an address left out.
  EXPECT_EQ((*sent)->addresses,
            (std::vector<std::string>{"ann@x.org", "z\xC3\xA9@x.org", "b\xC3\xA9@x.org"}));
}

TEST_F(ListChangeTest, TheSentFileKeepsTheColumnItWasReadFromAndReadsOneWithoutIt) {
  struct Case {
    const char* column;
    const char* startLine;  // the file's first line, without its CRC
  };
  const Case cases[] = {
      {"", "postrider-sent-addresses version=1 marks=m absent=1 "},
      {"Other mail=%",
       "postrider-sent-addresses version=1 marks=m absent=1 column=Other%20mail%3d%25 "},
  };
  const std::string path = dir.File("sent");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    AtomicFileGroup files;
    ASSERT_TRUE(WriteSentAddresses(files, path, "m",
                                   [](const AddressSink& add) { add("ann@y.org"); },
                                   {"gone@y.org"}, c.column)
                    .ok());
    ASSERT_TRUE(files.Commit().ok());
    EXPECT_EQ(ReadFileBytes(path).rfind(c.startLine, 0), 0u) << ReadFileBytes(path);
    const auto sent = ReadSentAddresses(path);
    ASSERT_TRUE(sent.ok() && sent->has_value());
    EXPECT_EQ((*sent)->column, c.column);
    EXPECT_EQ((*sent)->addresses, (std::vector<std::string>{"ann@y.org", "gone@y.org"}));
    EXPECT_EQ((*sent)->notInList, (std::vector<std::string>{"gone@y.org"}));
  }
}

// Rows sharing an address are marked sent by the row mailed; a file
// without rows, as older programs write it, marks every row of the address.
TEST_F(ListChangeTest, OfRowsSharingAnAddressOnlyThoseMailedStaySentUnlessTheFileNamesNoRows) {
  WriteList(Joined({"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Amy\tann@x.org"}));
  const std::string path = dir.File("project.prh.sent");
  // Mailed row edited since: it cannot be told from its sibling, and both
  // stay sent rather than one being mailed twice.
  for (const int kind : {0, 1, 2}) {
    const bool older = kind == 1;
    const bool edited = kind == 2;
    SCOPED_TRACE(older ? "a file without rows" : edited ? "the mailed row edited" : "a file with rows");
    RecordedDocument saved;
    ASSERT_TRUE(saved.document.OnOpenDocument(projectPath));
    saved.document.SetEntryStatus(0, StatusSent);
    saved.document.SetEntryStatus(1, StatusSent);
    saved.document.SetEntryStatus(2, StatusNone);
    ASSERT_TRUE(saved.document.OnSaveDocument(projectPath).ok());
    const auto sent = ReadSentAddresses(path);
    ASSERT_TRUE(sent.ok() && sent->has_value());
    EXPECT_EQ((*sent)->rows, (std::vector<std::string>{SelectedRowDigest({"Ann", "ann@x.org"}),
                                                       SelectedRowDigest({"Bob", "bob@x.org"})}));
    if (older) {
      AtomicFileGroup files;
      ASSERT_TRUE(WriteSentAddresses(files, path, (*sent)->marksDigest,
                                     [&](const AddressSink& add) {
                                       for (const std::string& a : (*sent)->addresses) add(a);
                                     },
                                     {}, (*sent)->column)
                      .ok());
      ASSERT_TRUE(files.Commit().ok());
    }
    WriteList(Joined({"Name\tEmail", "Eve\teve@x.org", "Amy\tann@x.org", "Bob\tbob@x.org",
                      edited ? "Ann B\tann@x.org" : "Ann\tann@x.org"}));
    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    EXPECT_EQ(Statuses(reopened.document),
              (std::vector<int>{0, older || edited ? StatusSent : 0, StatusSent, StatusSent}))
        << Notices(reopened);
    WriteList(Joined({"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Amy\tann@x.org"}));
  }
}

TEST_F(ListChangeTest, MarksAnotherProgramWroteSinceAreNeverMatchedWithOldAddresses) {
  doc.document.SetEntryStatus(0, StatusSent);
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  dir.Write("project.prh", "\x80\x81\x80\x80");  // an older program saved the project since
  WriteList(Joined({"Name\tEmail", "Bob\tbob@x.org", "Ann\tann@x.org"}));

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{0, StatusSent}));
  const std::string notices = Notices(reopened);
  EXPECT_NE(notices.find("cannot be found again by their address, since another program has "
                         "written the entry state file"),
            std::string::npos)
      << notices;
}

TEST_F(ListChangeTest, MarksStayEntryByEntryWhenTheEmailFieldIsGoneFromTheList) {
  doc.document.SetEntryStatus(0, StatusSent);
  doc.document.SetEntryStatus(1, StatusSent);
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  // The Email column deleted: the one now at its place holds other
  // addresses of the same people, who must not be mailed again there.
  WriteList(Joined({"Name\tBackup", "Ann\tann@y.org", "Bob\tbob@y.org", "Cid\tcid@y.org",
                    "Dee\tdee@y.org"}));

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{StatusSent, StatusSent, 0, 0}));
  const std::string notices = Notices(reopened);
  EXPECT_NE(notices.find("cannot be found again by their address, since the list has no field "
                         "named \"Email\""),
            std::string::npos)
      << notices;

  // Only renamed, and re-sorted: the column still holds the addresses.
  WriteList(Joined({"Name\tMail", "Dee\tdee@x.org", "Bob\tbob@x.org", "Cid\tcid@x.org",
                    "Ann\tann@x.org"}));
  RecordedDocument renamed;
  ASSERT_TRUE(renamed.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(renamed.document), (std::vector<int>{0, StatusSent, 0, StatusSent}));
  EXPECT_NE(Notices(renamed).find("found again by their address, wherever"), std::string::npos)
      << Notices(renamed);

  // Renamed after a save that found Bob's row gone: his address alone is
  // missing, as it was before, and the column is still the same.
  WriteList(Joined({"Name\tEmail", "Ann\tann@x.org", "Cid\tcid@x.org"}));
  RecordedDocument shrunk;
  ASSERT_TRUE(shrunk.document.OnOpenDocument(projectPath));
  ASSERT_TRUE(shrunk.document.OnSaveDocument(projectPath).ok());
  WriteList(Joined({"Name\tMail", "Cid\tcid@x.org", "Ann\tann@x.org"}));
  RecordedDocument renamedAgain;
  ASSERT_TRUE(renamedAgain.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(renamedAgain.document), (std::vector<int>{0, StatusSent}));
}

TEST_F(ListChangeTest, MarksSavedWhileTheEmailColumnWasGoneAreFoundInTheirColumnOnceItIsBack) {
  doc.document.SetEntryStatus(0, StatusSent);
  doc.document.SetEntryStatus(1, StatusSent);
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  // The Email column deleted; Cid mailed at the column now in its place.
  WriteList(Joined({"Name\tOther", "Ann\tann@y.org", "Bob\tbob@y.org", "Cid\tcid@y.org",
                    "Dee\tdee@y.org"}));
  RecordedDocument without;
  ASSERT_TRUE(without.document.OnOpenDocument(projectPath));
  without.document.SetEntryStatus(2, StatusSent);
  ASSERT_TRUE(without.document.OnSaveDocument(projectPath).ok());

  // Email put back, and the list re-sorted: Ann, Bob and Cid were mailed.
  WriteList(Joined({"Name\tEmail\tOther", "Dee\tdee@x.org\tdee@y.org", "Cid\tcid@x.org\tcid@y.org",
                    "Bob\tbob@x.org\tbob@y.org", "Ann\tann@x.org\tann@y.org"}));
  RecordedDocument back;
  ASSERT_TRUE(back.document.OnOpenDocument(projectPath));
  EXPECT_EQ(Statuses(back.document), (std::vector<int>{0, StatusSent, StatusSent, StatusSent}));
  const std::string notices = Notices(back);
  EXPECT_NE(notices.find("found again by their address, wherever"), std::string::npos) << notices;
  EXPECT_EQ(notices.find("no longer in the list"), std::string::npos) << notices;
}

TEST_F(ListChangeTest, AKilledRunStaysEntryByEntryOrUnappliedWhenTheEmailFieldIsGone) {
  testing::JournalAKilledRun(doc.document);
  if (HasFatalFailure()) return;
  struct Case {
    const char* what;
    std::vector<std::string> list;
    std::vector<int> statuses;  // none when the journal must stay unapplied
    const char* notice;
  };
  // The Email column deleted: the one now at its place holds other
  // addresses of the same people, who must not be mailed again there.
  const Case cases[] = {
      {"as many entries",
       {"Name\tBackup", "Ann\tann@y.org", "Bob\tbob@y.org", "Cid\tcid@y.org", "Dee\tdee@y.org"},
       {StatusSent, StatusBadAddress, 0, 0},
       "were applied entry by entry"},
      {"one entry more",
       {"Name\tBackup", "Ann\tann@y.org", "Bob\tbob@y.org", "Cid\tcid@y.org", "Dee\tdee@y.org",
        "Eve\teve@y.org"},
       {},
       "nor entry by entry"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteList(Joined(c.list));
    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    const std::string notices = Notices(reopened);
    EXPECT_NE(notices.find("since the list has no field named \"Email\""), std::string::npos)
        << notices;
    EXPECT_NE(notices.find(c.notice), std::string::npos) << notices;
    if (c.statuses.empty()) {
      EXPECT_EQ(reopened.document.UnappliedSendJournal(), projectPath + ".journal");
      EXPECT_EQ(Statuses(reopened.document), std::vector<int>(c.list.size() - 1, 0));
    } else {
      EXPECT_EQ(reopened.document.UnappliedSendJournal(), "");
      EXPECT_EQ(Statuses(reopened.document), c.statuses);
      // Resumed at the message in flight, not from the top.
      EXPECT_EQ(reopened.document.GetLastIndexSent(), 2);
    }
  }
}

TEST_F(ListChangeTest, KilledRunsOutcomesAreFoundInTheColumnEachMailedWhenTheEmailColumnIsBack) {
  const auto withOther = [](bool email, const std::vector<int>& order, const char* more = "") {
    const char* names[] = {"Ann", "Bob", "Cid", "Dee"};
    std::vector<std::string> lines = {std::string("Name\t") + (email ? "Email\t" : "") + "Other" +
                                      (*more != '\0' ? "\tOther" : "")};
    for (const int i : order) {
      std::string name = names[i];
      std::string user = name;
      user[0] = static_cast<char>(user[0] - 'A' + 'a');
      lines.push_back(name + "\t" + (email ? user + "@x.org\t" : "") + user + "@y.org" +
                      (*more != '\0' ? std::string("\t") + more : ""));
    }
    return Joined(lines);
  };
  // A run mails the Email column and is killed with Bob's message in flight.
  WriteList(withOther(true, {0, 1, 2, 3}));
  ASSERT_TRUE(doc.document.OnOpenDocument(projectPath));
  {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal->RunStarted(doc.document.GetJournalIdentity(), 0).ok());
    ASSERT_TRUE(journal->HandedOver(0, "ann@x.org").ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent, "ann@x.org").ok());
    ASSERT_TRUE(journal->HandedOver(1, "bob@x.org").ok());
  }
  // The Email column deleted: the resume mails the other addresses now at
  // its place, and is killed with Cid's in flight.
  WriteList(withOther(false, {0, 1, 2, 3}));
  ASSERT_TRUE(doc.document.OnOpenDocument(projectPath));
  ASSERT_EQ(Statuses(doc.document), (std::vector<int>{StatusSent, 0, 0, 0}));
  {
    auto journal = doc.document.OpenSendJournal().value();
    ASSERT_TRUE(journal
                    ->RunStarted(doc.document.GetJournalIdentity(), 1, true,
                                 &doc.document.GetEntryMarks())
                    .ok());
    ASSERT_TRUE(journal->HandedOver(1, "bob@y.org").ok());
    ASSERT_TRUE(journal->Outcome(1, StatusSent, "bob@y.org").ok());
    ASSERT_TRUE(journal->HandedOver(2, "cid@y.org").ok());
  }

  struct Case {
    const char* what;
    std::string list;
    std::vector<int> statuses;
    const char* inDoubt;  // the message named as in flight, numbered from 1
    const char* notice;
  };
  const Case cases[] = {
      {"the Email column back", withOther(true, {0, 1, 2, 3}),
       {StatusSent, StatusSent, 0, 0}, "Entry 3 (cid@y.org)", "matched to the list's entries by "
       "address"},
      {"and re-sorted", withOther(true, {3, 2, 1, 0}),
       {0, 0, StatusSent, StatusSent}, "Entry 2 (cid@y.org)", "matched to the list's entries by "
       "address"},
      // The first column of the name, as the email field is found by its name.
      {"with a second column of that name", withOther(true, {0, 1, 2, 3}, "none@z.org"),
       {StatusSent, StatusSent, 0, 0}, "Entry 3 (cid@y.org)", "matched to the list's entries by "
       "address"},
      {"the Email column still gone", withOther(false, {0, 1, 2, 3}),
       {StatusSent, StatusSent, 0, 0}, "Entry 3 (cid@y.org)", "applied entry by entry"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteList(c.list);
    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    const std::string notices = Notices(reopened);
    EXPECT_EQ(reopened.document.UnappliedSendJournal(), "");
    EXPECT_EQ(Statuses(reopened.document), c.statuses) << notices;
    EXPECT_NE(notices.find(c.notice), std::string::npos) << notices;
    EXPECT_NE(notices.find(std::string(c.inDoubt) + " had been handed"), std::string::npos)
        << notices;
    EXPECT_EQ(notices.find("no longer in the list"), std::string::npos) << notices;
  }
}

// Column names are the list's own bytes: whatever they hold, the marks and a
// killed run's outcomes are found again in the column they were made for.
TEST_F(ListChangeTest, TheColumnMailedIsFoundAgainWhateverItsNameHolds) {
  const std::string names[] = {"Mail %41=1 x", std::string("M\xFF\xFE\x80 ail"),
                               std::string(5000, 'm') + "=%"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.substr(0, 16));
    TempDir here;
    const std::string project =
        testing::WriteTestProject(here.path(), TestProject(kList, std::string(32000, '\x80')));
    const auto list = [&](bool email, bool reversed) {
      std::vector<std::string> lines = {"Name\t" + std::string(email ? "Email\t" : "") + name};
      for (const char* user : {"ann", "bob", "cid", "dee"}) {
        lines.push_back(std::string(user) + "\t" + (email ? user + std::string("@x.org\t") : "") +
                        user + "@y.org");
      }
      if (reversed) std::reverse(lines.begin() + 1, lines.end());
      here.Write("project.list", Joined(lines));
    };
    // The Email column deleted: Ann is marked sent and saved, then a run
    // mails Bob at the column in its place and is killed with Cid's in flight.
    list(false, false);
    RecordedDocument without;
    ASSERT_TRUE(without.document.OnOpenDocument(project));
    without.document.SetEntryStatus(0, StatusSent);
    ASSERT_TRUE(without.document.OnSaveDocument(project).ok());
    {
      auto journal = without.document.OpenSendJournal().value();
      ASSERT_TRUE(journal
                      ->RunStarted(without.document.GetJournalIdentity(), 1, true,
                                   &without.document.GetEntryMarks())
                      .ok());
      ASSERT_TRUE(journal->HandedOver(1, "bob@y.org").ok());
      ASSERT_TRUE(journal->Outcome(1, StatusSent, "bob@y.org").ok());
      ASSERT_TRUE(journal->HandedOver(2, "cid@y.org").ok());
    }

    // Email put back and the list re-sorted.
    list(true, true);
    RecordedDocument back;
    ASSERT_TRUE(back.document.OnOpenDocument(project));
    const std::string notices = Notices(back);
    EXPECT_EQ(back.document.UnappliedSendJournal(), "") << notices;
    EXPECT_EQ(Statuses(back.document), (std::vector<int>{0, 0, StatusSent, StatusSent})) << notices;
    EXPECT_NE(notices.find("Entry 2 (cid@y.org) had been handed"), std::string::npos) << notices;
  }
}

// A run paused part-way, then the list edited in a spreadsheet: the people
// chosen are chosen again wherever they stand, and nobody else is.
TEST_F(ListChangeTest, TheSelectionFollowsItsPeopleWhereverTheEditedListPutsThem) {
  // How the entries were chosen.
  enum class Choice { kByHand, kSelectAll, kQuery, kSelectAllThenOneAgain, kOlderFile };
  struct Case {
    const char* what;
    std::vector<std::string> before;  // the list when selected and saved
    std::vector<int> selected;        // of its entries
    std::vector<std::string> after;
    std::vector<int> selection;  // afterwards
    std::vector<int> statuses;
    int resumeAt;
    const char* notice;
    Choice how = Choice::kByHand;
  };
  const std::vector<std::string> four = {"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org",
                                         "Cid\tcid@x.org", "Dee\tdee@x.org"};
  // Ann and Cid selected, Ann mailed, the run paused before Cid.
  const Case cases[] = {
      {"re-sorted", four, {1, 0, 1, 0},
       {"Name\tEmail", "Dee\tdee@x.org", "Cid\tcid@x.org", "Bob\tbob@x.org", "Ann\tann@x.org"},
       {0, 1, 0, 1}, {0, 0, 0, StatusSent}, 1,
       "The selected entries were found again by their address as well: 2 entries are selected "
       "now."},
      // Select All chose the whole list, whoever is put in it.
      {"every entry chosen, a row put in since", four, {1, 1, 1, 1},
       {"Name\tEmail", "Eve\teve@x.org", "Dee\tdee@x.org", "Cid\tcid@x.org", "Bob\tbob@x.org",
        "Ann\tann@x.org"},
       {1, 1, 1, 1, 1}, {0, 0, 0, 0, StatusSent}, 0,
       "Every entry was selected when the project was saved, and so is every entry now, those "
       "put in since too.",
       Choice::kSelectAll},
      // Every row chosen otherwise than by Select All chose those people only.
      {"a query choosing every row, rows put in at the top", four, {1, 1, 1, 1},
       {"Name\tEmail", "Eve\teve@x.org", "Fay\tfay@x.org", "Ann\tann@x.org", "Bob\tbob@x.org",
        "Cid\tcid@x.org", "Dee\tdee@x.org"},
       {0, 0, 1, 1, 1, 1}, {0, 0, StatusSent, 0, 0, 0}, 3, "4 entries are selected now.",
       Choice::kQuery},
      {"every row marked by hand, a row put in at the top", four, {1, 1, 1, 1},
       {"Name\tEmail", "Eve\teve@x.org", "Ann\tann@x.org", "Bob\tbob@x.org", "Cid\tcid@x.org",
        "Dee\tdee@x.org"},
       {0, 1, 1, 1, 1}, {0, StatusSent, 0, 0, 0}, 2, "4 entries are selected now."},
      {"Select All, then one unmarked and marked again by hand, a row put in", four, {1, 1, 1, 1},
       {"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Eve\teve@x.org", "Cid\tcid@x.org",
        "Dee\tdee@x.org"},
       {1, 1, 0, 1, 1}, {StatusSent, 0, 0, 0, 0}, 1, "4 entries are selected now.",
       Choice::kSelectAllThenOneAgain},
      // A record without the word on how they were chosen, as older
      // programs write it: every entry selected is taken as Select All.
      {"every entry, in an older program's record, a row put in", four, {1, 1, 1, 1},
       {"Name\tEmail", "Ann\tann@x.org", "Eve\teve@x.org", "Bob\tbob@x.org", "Cid\tcid@x.org",
        "Dee\tdee@x.org"},
       {1, 1, 1, 1, 1}, {StatusSent, 0, 0, 0, 0}, 1,
       "Every entry was selected when the project was saved, and so is every entry now, those "
       "put in since too.",
       Choice::kOlderFile},
      {"rows inserted at the top", four, {1, 0, 1, 0},
       {"Name\tEmail", "Eve\teve@x.org", "Fay\tfay@x.org", "Ann\tann@x.org", "Bob\tbob@x.org",
        "Cid\tcid@x.org", "Dee\tdee@x.org"},
       {0, 0, 1, 0, 1, 0}, {0, 0, StatusSent, 0, 0, 0}, 4, "2 entries are selected now."},
      {"a chosen row deleted, a mailbox's domain in capitals", four, {1, 0, 1, 0},
       {"Name\tEmail", "Dee\tdee@x.org", "Bob\tbob@x.org", "Ann\tann@X.ORG"},
       {0, 0, 1}, {0, 0, StatusSent}, 0,
       "1 entry is selected now, and 1 address selected before is no longer in the list."},
      // Only as many rows of an address as were chosen: the copy added is
      // not mailed, the row chosen twice still is twice.
      {"an address in more rows than were chosen",
       {"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Bo2\tbob@x.org", "Cid\tcid@x.org",
        "Cid\tcid@x.org"},
       {1, 0, 1, 1, 1},
       {"Name\tEmail", "Cid\tcid@x.org", "Bob\tbob@x.org", "Cid\tcid@x.org", "Ann\tann@x.org",
        "Bob\tbob@x.org", "Ann\tann@x.org", "Cid\tcid@x.org"},
       {1, 1, 1, 1, 0, 0, 0}, {0, 0, 0, StatusSent, 0, StatusSent, 0}, 0,
       "4 entries are selected now."},
      // A parent's address on each child's row: the child chosen is the one
      // written to, even with the other's row before it.
      {"one address on two rows, the second chosen, a row put in",
       {"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Bea\tbob@x.org", "Cid\tcid@x.org"},
       {1, 0, 1, 0},
       {"Name\tEmail", "Eve\teve@x.org", "Ann\tann@x.org", "Bob\tbob@x.org", "Bea\tbob@x.org",
        "Cid\tcid@x.org"},
       {0, 1, 0, 1, 0}, {0, StatusSent, 0, 0, 0}, 3, "2 entries are selected now."},
      // Two children's rows under one parent's address, the first mailed:
      // the other's letter is still to go, wherever the rows went.
      {"one address on two rows, the first mailed, reversed and a row put in",
       {"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Amy\tann@x.org", "Cid\tcid@x.org"},
       {1, 0, 1, 0},
       {"Name\tEmail", "Eve\teve@x.org", "Cid\tcid@x.org", "Amy\tann@x.org", "Bob\tbob@x.org",
        "Ann\tann@x.org"},
       {0, 0, 1, 0, 1}, {0, 0, 0, 0, StatusSent}, 2, "2 entries are selected now."},
      // Bytes that are not UTF-8 are read the same way each time; an entry
      // without an address is never chosen.
      {"Latin-1 addresses and empty ones",
       {"Name\tEmail", "Ann\tann@x.org", "Zoe\tz\xE9@x.org", "Nil\t", "Cid\tcid@x.org"},
       {1, 1, 1, 0},
       {"Name\tEmail", "Nil\t", "Cid\tcid@x.org", "Zoe\tz\xE9@x.org", "Ann\tann@x.org", "Nul\t"},
       {0, 0, 1, 1, 0}, {0, 0, 0, StatusSent, 0}, 0, "2 entries are selected now."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteList(Joined(c.before));
    RecordedDocument saved;
    CPostridrDoc& chooser = saved.document;
    ASSERT_TRUE(chooser.OnOpenDocument(projectPath));
    if (c.how == Choice::kSelectAll || c.how == Choice::kSelectAllThenOneAgain) {
      chooser.SelectAll();
      if (c.how == Choice::kSelectAllThenOneAgain) {
        chooser.ToggleEntrySelection(1);
        chooser.ToggleEntrySelection(1);
      }
    } else if (c.how == Choice::kQuery) {
      chooser.SelectOnQuery(1, QueryValidAddress, "", QueryJoinNone, -1, 0, "");
    } else {
      chooser.UnselectAll();
      for (int i = 0; i < chooser.GetEntryCount(); ++i) {
        if (c.selected[static_cast<std::size_t>(i)] != 0) chooser.ToggleEntrySelection(i);
      }
    }
    ASSERT_EQ(Selection(chooser), c.selected);
    for (int i = 0; i < chooser.GetEntryCount(); ++i) {
      chooser.SetEntryStatus(i, i == 0 ? StatusSent : i == 1 ? StatusHalted : StatusNone);
    }
    chooser.SetLastIndexSent(c.resumeAt > 0 ? 1 : 0);
    ASSERT_TRUE(chooser.OnSaveDocument(projectPath).ok());
    {
      // Opened and saved again as it is, how they were chosen is kept.
      RecordedDocument again;
      ASSERT_TRUE(again.document.OnOpenDocument(projectPath));
      ASSERT_EQ(Selection(again.document), c.selected);
      ASSERT_TRUE(again.document.OnSaveDocument(projectPath).ok());
    }
    const std::string record = dir.File("project.prh.selected");
    // The list chosen whole names no address: a Save of a long list stays cheap.
    const bool whole = c.how == Choice::kSelectAll;
    EXPECT_EQ(ReadSelectedAddresses(record).value().value().addresses.empty(), whole);
    if (c.how == Choice::kOlderFile) {
      const SelectedAddresses read = ReadSelectedAddresses(record).value().value();
      SelectedAddresses older;
      older.marksDigest = read.marksDigest;
      older.listDigest = read.listDigest;
      older.column = read.column;
      older.entries = read.entries;
      older.selected = read.selected;
      AtomicFileGroup files;
      ASSERT_TRUE(WriteSelectedRows(files, record, older, [&](const SelectedRowSink& add) {
                    for (std::size_t k = 0; k < read.addresses.size(); ++k) {
                      add(read.addresses[k], read.rows[k]);
                    }
                  }).ok());
      ASSERT_TRUE(files.Commit().ok());
    }

    WriteList(Joined(c.after));
    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    const std::string notices = Notices(reopened);
    EXPECT_EQ(Selection(reopened.document), c.selection) << notices;
    EXPECT_EQ(reopened.document.GetSelectedCount(),
              static_cast<int>(std::count(c.selection.begin(), c.selection.end(), 1)));
    EXPECT_EQ(Statuses(reopened.document), c.statuses) << notices;
    // The resume goes on from the first chosen entry not yet mailed.
    EXPECT_EQ(reopened.document.GetLastIndexSent(), c.resumeAt);
    EXPECT_NE(notices.find(c.notice), std::string::npos) << notices;
    EXPECT_EQ(notices.find(kSelectionStays), std::string::npos) << notices;

    // Saved, it stays so when the list changes once more.
    ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
    std::vector<std::string> reversed = c.after;
    std::reverse(reversed.begin() + 1, reversed.end());
    WriteList(Joined(reversed));
    RecordedDocument third;
    ASSERT_TRUE(third.document.OnOpenDocument(projectPath));
    std::vector<int> selection = c.selection;
    std::reverse(selection.begin(), selection.end());
    // The first rows of an address are the ones chosen.
    if (std::string(c.what) != "an address in more rows than were chosen") {
      EXPECT_EQ(Selection(third.document), selection);
    }
    EXPECT_EQ(third.document.GetSelectedCount(), reopened.document.GetSelectedCount());
  }
}

// Select All saved, then a narrower choice not saved, a run on it killed,
// and the list edited before the project opens again: a resume mails the
// run's people, never those the choice left out.
TEST_F(ListChangeTest, AKilledRunOnAChoiceNotSavedGivesItsPeopleBackInTheEditedList) {
  enum class Choice { kQuery, kByHand, kQuerySaved };
  struct Case {
    const char* what;
    Choice how;
    std::vector<int> byHand;  // entries of `before` marked by hand
    int sent;                 // entries of `before` the run mailed and had in flight
    int inFlight;
    std::vector<std::string> after;
    std::vector<int> selection;  // afterwards
    std::vector<int> statuses;
    int resumeAt;
  };
  const std::vector<std::string> before = {
      "Name\tGroup\tEmail", "Ann\tA\tann@x.org", "Bob\tB\tbob@x.org", "Cid\tA\tcid@x.org",
      "Dee\tB\tdee@x.org",  "Eve\tA\teve@x.org", "Fay\tB\tfay@x.org"};
  const std::vector<std::string> reSorted = {
      "Name\tGroup\tEmail", "Fay\tB\tfay@x.org", "Eve\tA\teve@x.org", "Dee\tB\tdee@x.org",
      "Cid\tA\tcid@x.org",  "Bob\tB\tbob@x.org", "Ann\tA\tann@x.org"};
  // Group A chosen by a query: Ann mailed, Cid in flight.
  const Case cases[] = {
      {"a query's choice, the list re-sorted", Choice::kQuery, {}, 0, 2, reSorted,
       {0, 1, 0, 1, 0, 1}, {0, 0, 0, 0, 0, StatusSent}, 1},
      {"a query's choice, rows put in at the top", Choice::kQuery, {}, 0, 2,
       {"Name\tGroup\tEmail", "Gus\tA\tgus@x.org", "Hal\tB\thal@x.org", "Ann\tA\tann@x.org",
        "Bob\tB\tbob@x.org", "Cid\tA\tcid@x.org", "Dee\tB\tdee@x.org", "Eve\tA\teve@x.org",
        "Fay\tB\tfay@x.org"},
       {0, 0, 1, 0, 1, 0, 1, 0}, {0, 0, StatusSent, 0, 0, 0, 0, 0}, 4},
      // Its values changed, a chosen row is found by its address.
      {"a query's choice, a chosen row edited and one put in", Choice::kQuery, {}, 0, 2,
       {"Name\tGroup\tEmail", "Gus\tA\tgus@x.org", "Ann\tA\tann@x.org", "Bob\tB\tbob@x.org",
        "Cid\tA\tcid@x.org", "Dee\tB\tdee@x.org", "Eva\tA\teve@x.org", "Fay\tB\tfay@x.org"},
       {0, 1, 0, 1, 0, 1, 0}, {0, StatusSent, 0, 0, 0, 0, 0}, 3},
      {"rows marked by hand, the list re-sorted", Choice::kByHand, {1, 3}, 1, 3, reSorted,
       {0, 0, 1, 0, 1, 0}, {0, 0, 0, 0, StatusSent, 0}, 2},
      // Saved, the choice is the record of the selection's to find again.
      {"a query's choice saved, the list re-sorted", Choice::kQuerySaved, {}, 0, 2, reSorted,
       {0, 1, 0, 1, 0, 1}, {0, 0, 0, 0, 0, StatusSent}, 1},
  };
  const std::string journalPath = projectPath + ".journal";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(journalPath);
    WriteList(Joined(before));
    RecordedDocument desktop;
    CPostridrDoc& document = desktop.document;
    ASSERT_TRUE(document.OnOpenDocument(projectPath));
    document.ClearStatus(0);
    document.SetLastIndexSent(0);
    document.SelectAll();
    ASSERT_TRUE(document.OnSaveDocument(projectPath).ok());
    if (c.how == Choice::kByHand) {
      document.UnselectAll();
      for (const int entry : c.byHand) document.ToggleEntrySelection(entry);
    } else {
      document.SelectOnQuery(1, QueryEquals, "A", QueryJoinNone, -1, 0, "");
    }
    ASSERT_LT(document.GetSelectedCount(), document.GetEntryCount());
    if (c.how == Choice::kQuerySaved) {
      ASSERT_TRUE(document.OnSaveDocument(projectPath).ok());
    }
    {
      // As the send run starts its journal.
      const std::optional<ChosenRows> chosen = document.UnsavedSelection();
      EXPECT_EQ(chosen.has_value(), c.how != Choice::kQuerySaved);
      auto journal = document.OpenSendJournal().value();
      ASSERT_TRUE(journal
                      ->RunStarted(document.GetJournalIdentity(), 0, false,
                                   &document.GetEntryMarks(), chosen ? &*chosen : nullptr)
                      .ok());
      const std::string sent = document.GetRecipientAddress(c.sent);
      const std::string inFlight = document.GetRecipientAddress(c.inFlight);
      ASSERT_TRUE(journal->HandedOver(c.sent, sent).ok());
      ASSERT_TRUE(journal->Outcome(c.sent, StatusSent, sent).ok());
      ASSERT_TRUE(journal->HandedOver(c.inFlight, inFlight).ok());
    }
    WriteList(Joined(c.after));

    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    const std::string notices = Notices(reopened);
    EXPECT_EQ(Selection(reopened.document), c.selection) << notices;
    EXPECT_EQ(reopened.document.GetSelectedCount(),
              static_cast<int>(std::count(c.selection.begin(), c.selection.end(), 1)));
    EXPECT_EQ(Statuses(reopened.document), c.statuses) << notices;
    EXPECT_EQ(reopened.document.GetLastIndexSent(), c.resumeAt);
    EXPECT_EQ(notices.find("The selection is the one the run was started with, which had not "
                           "been saved.") != std::string::npos,
              c.how != Choice::kQuerySaved)
        << notices;
    // Only the journal's word on the selection, which is the true one.
    if (c.how != Choice::kQuerySaved) {
      EXPECT_EQ(notices.find("Every entry was selected"), std::string::npos) << notices;
      EXPECT_EQ(notices.find("found again by their address as well"), std::string::npos) << notices;
    }
    // Saved now, the run's people are the record's, and stay so.
    ASSERT_TRUE(reopened.document.OnSaveDocument(projectPath).ok());
    RecordedDocument third;
    ASSERT_TRUE(third.document.OnOpenDocument(projectPath));
    EXPECT_EQ(Selection(third.document), c.selection);
  }
}

// Whatever is wrong with the record of whom the user chose, the project
// opens, the selection stays by position and the user is told to check it.
TEST_F(ListChangeTest, TheSelectionStaysByPositionWhenItsRecordCannotBeTrusted) {
  const std::string record = dir.File("project.prh.selected");
  const std::vector<std::string> before = {"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org",
                                           "Cid\tcid@x.org", "Dee\tdee@x.org"};
  const std::vector<std::string> reversed = {"Name\tEmail", "Dee\tdee@x.org", "Cid\tcid@x.org",
                                             "Bob\tbob@x.org", "Ann\tann@x.org"};
  struct Case {
    const char* what;
    bool sent;  // Ann marked sent and saved
    std::function<void()> spoil;
    std::vector<std::string> saved = {};  // the list when saved, if not `before`
  };
  const Case cases[] = {
      {"missing, as an older program leaves it", false, [&] { fs::remove(record); }},
      {"missing, with entries marked sent", true, [&] { fs::remove(record); }},
      {"cut at a line's end", true,
       [&] {
         std::string text = ReadFileBytes(record);
         text.resize(text.rfind('\n', text.size() - 2) + 1);
         dir.Write("project.prh.selected", text);
       }},
      {"cut inside a line", false,
       [&] {
         const std::string text = ReadFileBytes(record);
         dir.Write("project.prh.selected", text.substr(0, text.size() - 5));
       }},
      {"garbage", false, [&] { dir.Write("project.prh.selected", std::string("\0\xFF\n\n", 4)); }},
      {"a folder", false,
       [&] {
         fs::remove(record);
         fs::create_directory(record);
       }},
      {"for other marks: an older program selected others since", false,
       [&] { dir.Write("project.prh", std::string(1, '\0') + std::string(3, '\x80')); }},
      {"for another list: an older program saved the project with it since", false,
       [&] {
         const std::string kept = ReadFileBytes(record);
         WriteList(Joined({"Name\tEmail", "Ann\tann@x.org", "Bob\tbob@x.org", "Cid\tcid@x.org",
                           "Dee\tdee@x.org", "Eve\teve@x.org"}));
         RecordedDocument older;
         ASSERT_TRUE(older.document.OnOpenDocument(projectPath));
         // Eve's row added at the end holds nobody chosen by position.
         ASSERT_TRUE(older.document.OnSaveDocument(projectPath).ok());
         dir.Write("project.prh.selected", kept);
       }},
      {"naming more addresses than it says were selected", false,
       [&] {
         SelectedAddresses about = ReadSelectedAddresses(record).value().value();
         about.selected = 1;
         AtomicFileGroup files;
         ASSERT_TRUE(WriteSelectedAddresses(files, record, about,
                                            [&](const AddressSink& add) {
                                              for (const std::string& a : about.addresses) add(a);
                                            })
                         .ok());
         ASSERT_TRUE(files.Commit().ok());
       }},
      {"chosen where no entry had an address", false, [] {},
       {"Name\tEmail", "Ann\t", "Bob\t", "Cid\t", "Dee\t"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(record);
    WriteList(Joined(c.saved.empty() ? before : c.saved));
    RecordedDocument saved;
    ASSERT_TRUE(saved.document.OnOpenDocument(projectPath));
    saved.document.UnselectAll();
    saved.document.ToggleEntrySelection(0);
    saved.document.ToggleEntrySelection(2);
    saved.document.SetEntryStatus(0, c.sent ? StatusSent : StatusNone);
    ASSERT_TRUE(saved.document.OnSaveDocument(projectPath).ok());
    ASSERT_TRUE(fs::exists(record));
    c.spoil();
    if (HasFatalFailure()) return;
    const std::vector<int> selection = Selection(saved.document);

    WriteList(Joined(reversed));
    RecordedDocument reopened;
    ASSERT_TRUE(reopened.document.OnOpenDocument(projectPath));
    const std::string notices = Notices(reopened);
    EXPECT_EQ(Selection(reopened.document),
              std::string(c.what).find("other marks") != std::string::npos
                  ? (std::vector<int>{0, 1, 1, 1})
                  : selection)
        << notices;
    EXPECT_NE(notices.find(kSelectionStays), std::string::npos) << notices;
    EXPECT_EQ(notices.find("selected entries were found again"), std::string::npos) << notices;
    // The sent marks are found again all the same, and the file naming them
    // reads as it always did.
    if (c.sent) {
      EXPECT_EQ(Statuses(reopened.document), (std::vector<int>{0, 0, 0, StatusSent})) << notices;
      const auto sent = ReadSentAddresses(dir.File("project.prh.sent"));
      ASSERT_TRUE(sent.ok() && sent->has_value());
      EXPECT_EQ((*sent)->addresses, (std::vector<std::string>{"ann@x.org"}));
    }
  }
}

// Saved under a new name once a spreadsheet has rewritten the list in place:
// the marks as last saved go with the project, and whom they chose too.
TEST_F(ListChangeTest, SavedUnderANewNameAfterTheListWasRewrittenTheChoiceGoesWithTheMarks) {
  doc.document.UnselectAll();
  doc.document.ToggleEntrySelection(1);
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  WriteList(Joined({"Name\tEmail", "Dee\tdee@x.org", "Cid\tcid@x.org", "Bob\tbob@x.org",
                    "Ann\tann@x.org"}));
  const std::string renamed = dir.File("renamed.prj");
  ASSERT_TRUE(doc.document.OnSaveDocument(renamed).ok());

  RecordedDocument reopened;
  ASSERT_TRUE(reopened.document.OnOpenDocument(renamed));
  EXPECT_EQ(Selection(reopened.document), (std::vector<int>{0, 0, 1, 0})) << Notices(reopened);
}

TEST_F(ListChangeTest, TheListsDigestIsAKeyAfterTheSevenAndOldProjectsWithoutItStillOpen) {
  ASSERT_TRUE(doc.document.OnSaveDocument(projectPath).ok());
  const std::string keys = ReadFileBytes(projectPath);
  EXPECT_NE(keys.find("LastIndexSent=0\nListDigest=" + doc.document.GetListDigest() + "\n"),
            std::string::npos)
      << keys;
  EXPECT_EQ(doc.document.GetListDigest().size(), 64u);
  // Nothing marked sent, no file of addresses.
  EXPECT_FALSE(fs::exists(dir.File("project.prh.sent")));
  // Every entry selected by an older program is the list chosen whole, and
  // its record names no address: a Save or a send of a long list costs nothing.
  const auto selected = ReadSelectedAddresses(dir.File("project.prh.selected"));
  ASSERT_TRUE(selected.ok() && selected->has_value());
  EXPECT_TRUE((*selected)->ChosenWhole());
  EXPECT_TRUE((*selected)->addresses.empty());
}

}  // namespace
}  // namespace postrider
