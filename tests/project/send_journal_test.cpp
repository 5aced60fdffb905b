#include "project/send_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/crc32.h"
#include "platform/file_open.h"
#include "project/list_addresses.h"
#include "project/selected_addresses.h"
#include "project/send_journal_format.h"
#include "project/send_journal_reader.h"
#include "support/folder_sync_failure.h"
#include "support/temp_dir.h"

namespace postrider {

// Puts a data flush of our own in a journal's place, and tells whether one
// has failed.
struct SendJournalTestSeam {
  static void SetSync(SendJournal& journal, SendJournal::SyncCall call) {
    std::lock_guard lock(journal.flushMutex_);
    journal.syncData_ = call;
  }
  static bool FlushFailed(const SendJournal& journal) { return journal.flushError_.load() != 0; }
};

namespace {

using testing::ReadFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

JournalIdentity ListOf(int entries, std::int64_t size = 1000) {
  JournalIdentity identity;
  identity.projectPath = "/p/june.prj";
  identity.entryStatePath = "/p/june.prh";
  identity.listPath = "/p/june list.txt";
  identity.entries = entries;
  identity.listSize = size;
  identity.fieldsCrc = 12345;
  return identity;
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

SendJournalContents Read(const std::string& path) {
  Result<std::optional<SendJournalContents>> read = ReadSendJournal(path);
  EXPECT_TRUE(read.ok()) << read.status().message();
  EXPECT_TRUE(read.ok() && read->has_value());
  return read.ok() && read->has_value() ? **read : SendJournalContents{};
}

std::vector<int> Statuses(const EntryMarks& marks, int entries) {
  std::vector<int> statuses;
  for (int i = 0; i < entries; ++i) statuses.push_back(marks.Status(i));
  return statuses;
}

TEST(SendJournalFormat, ValuesOfAnyBytesComeBackAndAChangedOrCutLineIsRefused) {
  const std::string address = "ann smith=%x\r\n\t\x7f\xc3\xa9@example.com";
  const std::string line =
      EncodeJournalRecord("handed", {{"entry", "7"}, {"address", address}});
  ASSERT_EQ(line.back(), '\n');
  const std::string_view whole(line.data(), line.size() - 1);
  EXPECT_EQ(whole.find('\n'), std::string_view::npos);

  const std::optional<JournalRecord> record = DecodeJournalRecord(whole);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->kind, "handed");
  EXPECT_EQ(record->Number("entry"), 7);
  ASSERT_NE(record->Find("address"), nullptr);
  EXPECT_EQ(*record->Find("address"), address);

  for (std::size_t at = 0; at < whole.size(); ++at) {
    std::string flipped(whole);
    flipped[at] = static_cast<char>(flipped[at] ^ 0x04);
    EXPECT_FALSE(DecodeJournalRecord(flipped).has_value()) << "byte " << at;
  }
  for (std::size_t length = 0; length < whole.size(); ++length) {
    EXPECT_FALSE(DecodeJournalRecord(whole.substr(0, length)).has_value()) << length;
  }
  EXPECT_FALSE(DecodeJournalRecord(std::string(4096, '\0')).has_value());
}

TEST(SendJournalFormat, AnEntrySetComesBackAndAnythingButLowerHexIsRefused) {
  struct Case {
    int first;
    int end;
    std::vector<int> entries;
    std::string text;
  };
  const Case cases[] = {
      {0, 6, {}, ""},
      {0, 6, {0, 5}, "12"},
      {7, 40, {7, 8, 9, 10, 11, 19}, "f101"},  // trailing zeros left off
      {3, 32000, {31999}, std::string(7999, '0') + "1"},
  };
  for (const Case& c : cases) {
    const std::string text = EntrySetText(c.first, c.end, [&](int entry) {
      return std::find(c.entries.begin(), c.entries.end(), entry) != c.entries.end();
    });
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(EntrySetFrom(text, c.first), c.entries) << c.text.size();
  }
  for (const char* bad : {"1F", "g", "1 2", "-1"}) EXPECT_FALSE(EntrySetFrom(bad, 0)) << bad;
}

TEST(SendJournalFormat, ChosenRowsOfAnyBytesComeBackThroughARunsLineAndDamageIsRefused) {
  ChosenRows chosen;
  chosen.addresses = {"ann@x.org", "12:34 \"b=%\"@x.org", "c\r\n3:@x.org", "d@x.org", "e@x.org"};
  chosen.rows = {"0123456789abcdef", "", "fedcba9876543210", "0123456789abcdef", "0:1"};
  const std::string line = EncodeJournalRecord("run", {{"start", "0"},
                                                       {"chosen", ChosenRowsText(chosen)}});
  const std::optional<JournalRecord> record =
      DecodeJournalRecord(std::string_view(line).substr(0, line.size() - 1));
  ASSERT_TRUE(record && record->Find("chosen"));
  const std::optional<ChosenRows> back = ChosenRowsFrom(*record->Find("chosen"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->addresses, chosen.addresses);
  EXPECT_EQ(back->rows, chosen.rows);
  // None chosen is a choice too.
  ASSERT_TRUE(ChosenRowsFrom(ChosenRowsText({})));
  EXPECT_TRUE(ChosenRowsFrom(ChosenRowsText({}))->addresses.empty());
  for (const char* bad : {"9:a@x.org0:", "3:a@x", "x:a@x.org0:", ":0:", "-1:a0:", "1:a"}) {
    EXPECT_FALSE(ChosenRowsFrom(bad)) << bad;
  }
}

// A value escaped the plain way: the blank, the controls, DEL, '%' and '='
// as %xx in lower-case hex, every other byte as itself.
std::string EscapedPlainly(std::string_view value) {
  std::string escaped;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || c == '%' || c == '=' || byte == 0x7F) {
      constexpr char kHex[] = "0123456789abcdef";
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

TEST(SendJournalFormat, RecordsAreWrittenByteForByteAsJournalsOnDiskHoldThem) {
  EXPECT_EQ(EncodeJournalRecord("handed", {{"entry", "7"}, {"address", "ann smith=%x@example.com"}}),
            "handed entry=7 address=ann%20smith%3d%25x@example.com 2ffb9cfc\n");

  // Every byte value.
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  EXPECT_EQ(EncodeJournalRecord("outcome", {{"entry", "12"}, {"status", "1"}, {"value", every}}),
            "outcome entry=12 status=1 value=" + EscapedPlainly(every) + " 9ce0bcc3\n");
}

// A record written the plain way, to compare against.
std::string PlainRecord(std::string_view kind, std::string_view key, std::string_view value) {
  std::string line = std::string(kind) + " " + std::string(key) + "=" + EscapedPlainly(value);
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", Crc32(line));
  return line + " " + crc + "\n";
}

TEST(SendJournalFormat, KeysAndValuesOfEveryLengthAreWrittenWhole) {
  std::string pending;
  std::string expected;
  for (std::size_t length = 0; length <= 40; ++length) {
    const std::string key(length % 19 + 1, 'k');
    std::string value(length, 'v');
    for (std::size_t i = 0; i < length; ++i) value[i] = static_cast<char>('a' + (i * 7) % 26);
    // And one byte to escape, somewhere else each time.
    if (length > 0) value[(length * 5) % length] = ' ';
    AppendJournalRecord(pending, "outcome", {{key, value}});
    expected += PlainRecord("outcome", key, value);
    EXPECT_EQ(EncodeJournalRecord("handed", {{key, value}}), PlainRecord("handed", key, value))
        << length;
  }
  EXPECT_EQ(pending, expected);
}

// A run names each row by the digest the Save's files name it by: were they
// to differ, no row would ever be found again.
TEST(SendJournalFormat, ARunsRowDigestIsTheOneTheAddressFilesGive) {
  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  std::vector<std::vector<std::string>> rows = {
      {}, {""}, {"", ""}, {"Ann", "parent@example.com"}, {every, "\x1f", "x"}};
  // Each length around the four bytes taken a step.
  for (std::size_t length = 0; length <= 9; ++length) {
    rows.push_back({std::string(length, 'v'), every.substr(length, 3 + length)});
  }
  for (const std::vector<std::string>& row : rows) {
    char digest[kRowDigestSize];
    WriteRowDigest(row, digest);
    EXPECT_EQ(std::string(digest, kRowDigestSize), SelectedRowDigest(row)) << row.size();
  }
}

TEST(SendJournal, RecordsEachRunInOrderAndAddsLaterRunsToTheSameFile) {
  TempDir dir;
  const std::string path = dir.File("june.prj.journal");
  {
    Result<std::unique_ptr<SendJournal>> journal = SendJournal::Open(path);
    ASSERT_TRUE(journal.ok()) << journal.status().message();
    JournalIdentity identity = ListOf(5);
    identity.mailedColumn = "E-mail = 100%";
    ASSERT_TRUE((*journal)->RunStarted(identity, 1).ok());
    ASSERT_TRUE((*journal)->HandedOver(1, "b@x.org", "0123456789abcdef").ok());
    ASSERT_TRUE((*journal)->Outcome(1, StatusSent, "b@x.org", "0123456789abcdef").ok());
    ASSERT_TRUE((*journal)->Outcome(2, StatusBadAddress).ok());
    ASSERT_TRUE((*journal)->RunEnded(0).ok());
  }
  {
    Result<std::unique_ptr<SendJournal>> journal = SendJournal::Open(path);
    ASSERT_TRUE(journal.ok());
    // Started on a selection that was not saved: who it chose goes with it.
    EntryMarks marks;
    marks.SetSelection(0, true);
    const ChosenRows chosen{{"a@x.org"}, {"0123456789abcdef"}};
    ASSERT_TRUE((*journal)->RunStarted(ListOf(5), 0, false, &marks, &chosen).ok());
    ASSERT_TRUE((*journal)->HandedOver(0, "a@x.org").ok());
  }
  // A run as older programs wrote it, and one with a key a later one may add.
  Append(path, EncodeJournalRecord("run", {{"project", "/p/june.prj"}, {"state", "/p/june.prh"},
                                           {"list", "/p/june list.txt"}, {"entries", "5"},
                                           {"size", "1000"}, {"fields", "12345"}, {"start", "0"},
                                           {"clear", "0"}, {"later", "x"}}));

  const SendJournalContents contents = Read(path);
  ASSERT_EQ(contents.runs.size(), 3u);
  const JournalRun& first = contents.runs[0];
  EXPECT_EQ(first.identity.mailedColumn, "E-mail = 100%");
  EXPECT_EQ(contents.runs[1].identity.mailedColumn, "");
  EXPECT_FALSE(first.chosen.has_value());
  ASSERT_TRUE(contents.runs[1].chosen.has_value());
  EXPECT_EQ(contents.runs[1].chosen->addresses, std::vector<std::string>{"a@x.org"});
  EXPECT_EQ(contents.runs[1].chosen->rows, std::vector<std::string>{"0123456789abcdef"});
  EXPECT_EQ(contents.runs[2].identity.mailedColumn, "");
  EXPECT_TRUE(contents.runs[2].identity.SameListAs(ListOf(5)));
  EXPECT_EQ(first.identity.listPath, "/p/june list.txt");
  EXPECT_TRUE(first.identity.SameListAs(ListOf(5)));
  EXPECT_EQ(first.start, 1);
  EXPECT_EQ(first.clearFrom, 1);
  ASSERT_EQ(first.events.size(), 3u);
  EXPECT_TRUE(first.events[0].handedOver);
  EXPECT_EQ(first.events[0].address, "b@x.org");
  EXPECT_EQ(first.events[0].row, "0123456789abcdef");
  EXPECT_EQ(first.events[1].row, "0123456789abcdef");
  EXPECT_EQ(first.events[2].status, StatusBadAddress);
  EXPECT_EQ(first.events[2].row, "");
  EXPECT_EQ(first.lastIndexSent, 0);
  EXPECT_FALSE(contents.runs[1].lastIndexSent.has_value());
  EXPECT_EQ(contents.damagedLines, 0);
}

// The kinds of the events the file holds for its last run, "h0" for a
// hand-over of entry 0, "o0" for an outcome.
std::string EventsOnFile(const std::string& path) {
  const SendJournalContents contents = Read(path);
  std::string events;
  if (contents.runs.empty()) return events;
  for (const JournalEvent& event : contents.runs.back().events) {
    events += (event.handedOver ? "h" : "o") + std::to_string(event.entry) + " ";
  }
  return events;
}

bool FileReaches(const std::string& path, const std::string& events) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (EventsOnFile(path) != events) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST(SendJournal, AnOutcomeGoesWithTheNextHandOverAndNoneIsLeftBehind) {
  TempDir dir;
  const std::string path = dir.File("june.prj.journal");
  {
    auto journal = SendJournal::Open(path).value();
    ASSERT_TRUE(journal->RunStarted(ListOf(9), 0).ok());
    ASSERT_TRUE(journal->HandedOver(0, "a@x.org").ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent, "a@x.org").ok());
    ASSERT_TRUE(journal->HandedOver(1, "b@x.org").ok());
    EXPECT_EQ(EventsOnFile(path), "h0 o0 h1 ");

    // No hand-over follows: the last message, a bad address, a long wait.
    ASSERT_TRUE(journal->Outcome(1, StatusSent, "b@x.org").ok());
    ASSERT_TRUE(journal->Outcome(2, StatusBadAddress, "c").ok());
    EXPECT_TRUE(FileReaches(path, "h0 o0 h1 o1 o2 ")) << EventsOnFile(path);

    ASSERT_TRUE(journal->Outcome(3, StatusHalted, "d@x.org").ok());
    ASSERT_TRUE(journal->RunEnded(3).ok());
    EXPECT_EQ(EventsOnFile(path), "h0 o0 h1 o1 o2 o3 ");
    EXPECT_EQ(Read(path).runs.back().lastIndexSent, 3);

    // A run that ends without its end record, its journal closed.
    ASSERT_TRUE(journal->RunStarted(ListOf(9), 4).ok());
    ASSERT_TRUE(journal->Outcome(4, StatusBadAddress, "e").ok());
  }
  EXPECT_EQ(EventsOnFile(path), "o4 ");
  const SendJournalContents contents = Read(path);
  ASSERT_EQ(contents.runs.size(), 2u);
  EXPECT_EQ(contents.runs[0].events[1].address, "a@x.org");
  EXPECT_EQ(contents.runs[0].events[4].status, StatusBadAddress);
  EXPECT_EQ(contents.damagedLines, 0);
}

TEST(SendJournal, AJournalThatRecordedNoRunLeavesNoFileButAnEarlierOneStays) {
  TempDir dir;
  const std::string path = dir.File("state/postrider/untitled.journal");
  {
    Result<std::unique_ptr<SendJournal>> journal = SendJournal::Open(path);
    ASSERT_TRUE(journal.ok()) << journal.status().message();  // the folders are made
  }
  EXPECT_FALSE(fs::exists(path));

  { ASSERT_TRUE((*SendJournal::Open(path))->RunStarted(ListOf(3), 0).ok()); }
  const std::string written = ReadFileBytes(path);
  { ASSERT_TRUE(SendJournal::Open(path).ok()); }
  EXPECT_EQ(ReadFileBytes(path), written);
}

TEST(SendJournal, ATornLastLineIsIgnoredAndTheNextRunStartsALineOfItsOwn) {
  TempDir dir;
  const std::string path = dir.File("june.prj.journal");
  {
    auto journal = SendJournal::Open(path).value();
    ASSERT_TRUE(journal->RunStarted(ListOf(4), 0).ok());
    ASSERT_TRUE(journal->Outcome(0, StatusSent).ok());
  }
  // A power cut in the middle of the next record, and a tail of zeros.
  const std::string next = EncodeJournalRecord("outcome", {{"entry", "1"}, {"status", "1"}});
  Append(path, next.substr(0, 12) + std::string(300, '\0'));

  SendJournalContents contents = Read(path);
  ASSERT_EQ(contents.runs.size(), 1u);
  EXPECT_EQ(contents.runs[0].events.size(), 1u);
  EXPECT_EQ(contents.damagedLines, 0);

  {
    auto journal = SendJournal::Open(path).value();
    ASSERT_TRUE(journal->RunStarted(ListOf(4), 1).ok());
    ASSERT_TRUE(journal->Outcome(1, StatusSent).ok());
  }
  contents = Read(path);
  ASSERT_EQ(contents.runs.size(), 2u);
  EXPECT_EQ(contents.runs[1].events.size(), 1u);
  EXPECT_EQ(contents.damagedLines, 0);
}

std::string AddressOf(int entry, std::size_t width) {
  return std::to_string(entry) + std::string(width, 'a') + "@x.org";
}

// A run in a process of its own: hand-overs of addresses `width` long until
// `handOvers` or a failed append, whose entry and text ("17 Cannot ...") go
// to `failure`; with `settles`, each hand-over is followed by its outcome, as
// a run's are. Then the process is killed as kill -9 kills, or with `closes`
// it closes the journal and exits. Files are limited to fileLimit bytes, as a
// full disk limits them.
void RunInAnotherProcess(const std::string& path, int handOvers, std::size_t width, bool closes,
                         std::string* failure = nullptr, rlim_t fileLimit = RLIM_INFINITY,
                         bool settles = false) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeEnds[0]);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{fileLimit, fileLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    {
      auto journal = SendJournal::Open(path).value();
      Status status = journal->RunStarted(ListOf(32000), 0);
      int entry = 0;
      for (; entry < handOvers && status; ++entry) {
        status = journal->HandedOver(entry, AddressOf(entry, width));
        if (status && settles) {
          status = journal->Outcome(entry, StatusSent, AddressOf(entry, width));
        }
        if (!status) break;
      }
      if (!status) {
        const std::string text = std::to_string(entry) + " " + status.message();
        (void)!write(pipeEnds[1], text.data(), text.size());
      }
      if (!closes) raise(SIGKILL);
    }
    _exit(0);
  }
  close(pipeEnds[1]);
  char buffer[512];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
    if (failure != nullptr) failure->append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
}

TEST(SendJournal, AWriterKilledAnywhereLosesNoRecordAndTheNextRunFollowsItsLastLine) {
  struct Case {
    int handOvers;
    std::size_t width;
    bool settles;  // killed just after the server took the last message
  };
  // Within the first part of the file, and past several.
  for (const Case& c : {Case{3, 10, false}, Case{1500, 2000, false}, Case{3, 10, true},
                        Case{1500, 2000, true}}) {
    SCOPED_TRACE(::testing::Message() << c.handOvers << (c.settles ? " settled" : ""));
    TempDir dir;
    const std::string path = dir.File("june.prj.journal");
    RunInAnotherProcess(path, c.handOvers, c.width, /*closes=*/false, nullptr, RLIM_INFINITY,
                        c.settles);

    SendJournalContents contents = Read(path);
    ASSERT_EQ(contents.runs.size(), 1u);
    ASSERT_EQ(contents.runs[0].events.size(),
              static_cast<std::size_t>(c.handOvers * (c.settles ? 2 : 1)));
    EXPECT_EQ(contents.runs[0].events.back().address, AddressOf(c.handOvers - 1, c.width));
    // Its outcome is on file: a resumed run does not send it again.
    EXPECT_EQ(contents.runs[0].events.back().handedOver, !c.settles);
    EXPECT_EQ(contents.damagedLines, 0);

    {
      auto journal = SendJournal::Open(path).value();
      ASSERT_TRUE(journal->RunStarted(ListOf(32000), c.handOvers - 1, true).ok());
      ASSERT_TRUE(journal->HandedOver(c.handOvers - 1, "again@x.org").ok());
    }
    contents = Read(path);
    ASSERT_EQ(contents.runs.size(), 2u);
    EXPECT_EQ(contents.runs[1].events.at(0).address, "again@x.org");
    EXPECT_EQ(contents.damagedLines, 0);
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
    EXPECT_EQ(bytes.back(), '\n');
  }
}

TEST(SendJournal, AFullDiskFailsTheAppendWithThePathAndKeepsWhatCameBefore) {
  TempDir dir;
  const std::string path = dir.File("june.prj.journal");
  std::string failure;
  RunInAnotherProcess(path, 30000, 2000, /*closes=*/true, &failure, 3 * 1024 * 1024 / 2);
  EXPECT_NE(failure.find("Cannot write the send journal \"" + path + "\""), std::string::npos)
      << failure;

  const SendJournalContents contents = Read(path);
  ASSERT_EQ(contents.runs.size(), 1u);
  EXPECT_GT(contents.runs[0].events.size(), 0u);
  EXPECT_LT(contents.runs[0].events.size(), 30000u);
  EXPECT_EQ(contents.damagedLines, 0);
  EXPECT_EQ(ReadFileBytes(path).find('\0'), std::string::npos);
}

// The hand-over the disk has no room for is refused (its message is held
// back), but the outcome of the message before it, which the server took,
// is on file: nobody is named as possibly mailed who was mailed for sure.
TEST(SendJournal, OnAFullDiskTheRefusedHandOverLeavesEveryOutcomeBeforeItOnFile) {
  // Less room than a chunk of the file takes, and the disk full past one.
  for (const rlim_t limit : {rlim_t{200 * 1024}, rlim_t{3 * 1024 * 1024 / 2}}) {
    SCOPED_TRACE(limit);
    TempDir dir;
    const std::string path = dir.File("june.prj.journal");
    std::string failure;
    RunInAnotherProcess(path, 30000, 40, /*closes=*/true, &failure, limit, /*settles=*/true);
    EXPECT_NE(failure.find(" Cannot write the send journal \"" + path + "\": File too large"),
              std::string::npos)
        << failure;
    const int refused = std::atoi(failure.c_str());
    EXPECT_GT(refused, 0) << failure;

    std::string expected;
    for (int entry = 0; entry < refused; ++entry) {
      expected += "h" + std::to_string(entry) + " o" + std::to_string(entry) + " ";
    }
    EXPECT_EQ(EventsOnFile(path), expected);
    EXPECT_EQ(Read(path).damagedLines, 0);
  }
}

// A data flush that fails `failuresLeft` times with `syncError`, then
// flushes: the kernel reports a failed writeback once, to the first flush
// that comes, and the next one succeeds though the records are lost.
std::atomic<int> failuresLeft{0};
std::atomic<int> syncError{0};
int FailingSync(int fd) {
  if (failuresLeft.fetch_sub(1) > 0) {
    errno = syncError.load();
    return -1;
  }
  return fdatasync(fd);
}

// Whether the flusher or the run's end meets the failure, the run learns of
// it: the next hand-over is refused with the journal's path and the reason,
// and so are later outcomes and the run's end.
TEST(SendJournal, AFailedFlushRefusesTheNextHandOverAndTheRunsEnd) {
  struct Case {
    const char* name;
    bool flusherFirst;  // the failure is met in the background, before the run ends
    int failures;
    int error;
  };
  for (const Case& c : {Case{"flusher, reported once", true, 1, EIO},
                        Case{"flusher, every time", true, 1000, ENOSPC},
                        Case{"run's end, reported once", false, 1, EIO},
                        Case{"run's end, every time", false, 1000, ENOSPC}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("june.prj.journal");
    const std::string failure =
        "Cannot write the send journal \"" + path + "\": " + std::strerror(c.error);
    {
      auto journal = SendJournal::Open(path).value();
      ASSERT_TRUE(journal->RunStarted(ListOf(9), 0).ok());
      ASSERT_TRUE(journal->HandedOver(0, "a@x.org").ok());
      ASSERT_TRUE(journal->Outcome(0, StatusSent, "a@x.org").ok());
      syncError = c.error;
      failuresLeft = c.failures;
      SendJournalTestSeam::SetSync(*journal, FailingSync);
      if (c.flusherFirst) {
        // The outcome waiting is written and flushed within about a second.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!SendJournalTestSeam::FlushFailed(*journal) &&
               std::chrono::steady_clock::now() < deadline) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(SendJournalTestSeam::FlushFailed(*journal));
        const Status handed = journal->HandedOver(1, "b@x.org");
        ASSERT_FALSE(handed.ok());
        EXPECT_EQ(handed.message(), failure);
        EXPECT_EQ(journal->Outcome(1, StatusBadAddress, "b").message(), failure);
        EXPECT_EQ(journal->RunEnded(0).message(), failure);
      } else {
        EXPECT_EQ(journal->RunEnded(0).message(), failure);
        EXPECT_EQ(journal->HandedOver(1, "b@x.org").message(), failure);
      }
    }
    // Nothing after the failure was written, and nothing before it lost.
    EXPECT_EQ(EventsOnFile(path), "h0 o0 ");
    const SendJournalContents contents = Read(path);
    EXPECT_EQ(contents.damagedLines, 0);
    EXPECT_EQ(ReadFileBytes(path).find('\0'), std::string::npos);
  }
}

// A new journal's records are kept only once its name is on disk too: a run
// must not go on as if they were when its folder could not be synced.
TEST(SendJournal, ANewJournalWhoseFolderCannotBeSyncedRefusesTheNextHandOver) {
  TempDir dir;
  const std::string path = dir.File("june.prj.journal");
  {
    const testing::FolderSyncFailure failing(EIO);
    auto journal = SendJournal::Open(path).value();
    ASSERT_TRUE(journal->RunStarted(ListOf(9), 0).ok());
    ASSERT_TRUE(journal->HandedOver(0, "a@x.org").ok());
    // The flusher meets it within about a second.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!SendJournalTestSeam::FlushFailed(*journal) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(testing::FolderSyncFailure::failed(), 0);
    EXPECT_EQ(journal->HandedOver(1, "b@x.org").message(),
              "Cannot write the send journal \"" + path + "\": " + DescribeWriteError(EIO));
  }
  // A file system that cannot sync a folder at all is taken at its word.
  for (const int error : {EINVAL, EROFS}) {
    SCOPED_TRACE(error);
    TempDir other;
    const testing::FolderSyncFailure unsupported(error);
    auto journal = SendJournal::Open(other.File("june.prj.journal")).value();
    ASSERT_TRUE(journal->RunStarted(ListOf(9), 0).ok());
    ASSERT_TRUE(journal->HandedOver(0, "a@x.org").ok());
    EXPECT_TRUE(journal->RunEnded(0).ok());
    EXPECT_GT(testing::FolderSyncFailure::failed(), 0);
  }
}

TEST(SendJournal, DamageBeforeLaterRecordsIsCountedAndTheRecordsAroundItAreRead) {
  TempDir dir;
  const std::string path = dir.File("j");
  {
    auto journal = SendJournal::Open(path).value();
    ASSERT_TRUE(journal->RunStarted(ListOf(4), 0).ok());
  }
  Append(path, "outcome entry=0 status=1 00000000\n");  // wrong CRC
  Append(path, EncodeJournalRecord("outcome", {{"entry", "99999"}, {"status", "1"}}));
  Append(path, EncodeJournalRecord("outcome", {{"entry", "1"}, {"status", "9"}}));
  Append(path, EncodeJournalRecord("outcome", {{"entry", "2"}, {"status", "1"}}));
  Append(path, "garbage at the end\n");

  const SendJournalContents contents = Read(path);
  ASSERT_EQ(contents.runs.size(), 1u);
  ASSERT_EQ(contents.runs[0].events.size(), 1u);
  EXPECT_EQ(contents.runs[0].events[0].entry, 2);
  EXPECT_EQ(contents.damagedLines, 3);
}

TEST(SendJournal, AFoldedJournalHoldsOnlyWhatCameAfterTheFoldAndFoldingRemovesIt) {
  TempDir dir;
  const std::string path = dir.File("j");
  { ASSERT_TRUE((*SendJournal::Open(path))->RunStarted(ListOf(3), 0).ok()); }
  Append(path, EncodeJournalRecord(journal_kind::kFolded, {}));
  EXPECT_TRUE(Read(path).runs.empty());
  { ASSERT_TRUE((*SendJournal::Open(path))->RunStarted(ListOf(3), 2).ok()); }
  ASSERT_EQ(Read(path).runs.size(), 1u);
  EXPECT_EQ(Read(path).runs[0].start, 2);

  EXPECT_TRUE(FoldSendJournal(path).ok());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(FoldSendJournal(path).ok());  // none is no error
  Result<std::optional<SendJournalContents>> none = ReadSendJournal(path);
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(none->has_value());
}

TEST(SendJournal, AJournalOfAnotherVersionOrInTheWayOfAFolderIsRefusedWithItsPath) {
  TempDir dir;
  const std::string newer = dir.Write("newer", EncodeJournalRecord(journal_kind::kFileStart,
                                                                   {{"version", "2"}}));
  Result<std::optional<SendJournalContents>> read = ReadSendJournal(newer);
  ASSERT_FALSE(read.ok());
  EXPECT_NE(read.status().message().find(newer), std::string::npos);

  fs::create_directories(dir.File("folder.journal"));
  Result<std::unique_ptr<SendJournal>> opened = SendJournal::Open(dir.File("folder.journal"));
  ASSERT_FALSE(opened.ok());
  EXPECT_NE(opened.status().message().find(dir.File("folder.journal")), std::string::npos);
}

TEST(SendJournal, SettingAsideKeepsEveryEarlierJournal) {
  TempDir dir;
  const std::string path = dir.Write("j", "first");
  Result<std::string> aside = SetAsideSendJournal(path);
  ASSERT_TRUE(aside.ok());
  EXPECT_EQ(*aside, path + ".unfit");
  dir.Write("j", "second");
  EXPECT_EQ(*SetAsideSendJournal(path), path + ".unfit2");
  EXPECT_EQ(ReadFileBytes(path + ".unfit"), "first");
  EXPECT_EQ(ReadFileBytes(path + ".unfit2"), "second");
  EXPECT_FALSE(fs::exists(path));
}

// Runs built by hand: what each kind of end leaves behind.
class JournalReplayTest : public ::testing::Test {
 protected:
  JournalRun Run(int start, std::vector<JournalEvent> events, std::optional<int> last = {}) {
    JournalRun run;
    run.identity = ListOf(6);
    run.start = run.clearFrom = start;
    run.events = std::move(events);
    run.lastIndexSent = last;
    return run;
  }
  static JournalEvent Handed(int entry) { return {true, entry, 0, "e" + std::to_string(entry)}; }
  static JournalEvent Outcome(int entry, int status) { return {false, entry, status, {}}; }

  JournalReplay Replay(std::vector<JournalRun> runs) {
    return ReplaySendJournal({std::move(runs), 0}, ListOf(6), marks, lastIndexSent);
  }

  EntryMarks marks;
  int lastIndexSent = 0;
};

TEST_F(JournalReplayTest, AnUnfinishedRunResumesAfterItsLastSettledEntry) {
  for (int i = 0; i < 6; ++i) marks.SetStatus(i, StatusSent);  // a whole earlier run
  marks.SetSelectionRange(2, 6, true);
  const JournalReplay replay =
      Replay({Run(2, {Handed(2), Outcome(2, StatusSent), Outcome(3, StatusBadAddress)})});

  EXPECT_TRUE(replay.applied);
  EXPECT_TRUE(replay.changed);
  EXPECT_FALSE(replay.lastRunEnded);
  EXPECT_EQ(replay.messagesAccepted, 1);
  EXPECT_TRUE(replay.inDoubt.empty());
  EXPECT_EQ(Statuses(marks, 6), (std::vector<int>{1, 1, 1, 2, 0, 0}));
  EXPECT_TRUE(marks.IsSelected(3));
  EXPECT_EQ(lastIndexSent, 4);
}

TEST_F(JournalReplayTest, ARunLeavesTheMarksOfTheEntriesItDoesNotTakeUp) {
  // Entries 0 to 2 were mailed by an earlier run; this one is for 3 to 5.
  for (int i = 0; i < 3; ++i) marks.SetStatus(i, StatusSent);
  marks.SetStatus(1, StatusHalted);
  marks.SetSelectionRange(3, 6, true);
  Replay({Run(0, {Outcome(3, StatusSent), Outcome(4, StatusSent)})});
  EXPECT_EQ(Statuses(marks, 6), (std::vector<int>{1, 3, 1, 1, 1, 0}));

  // Resumed, the run clears only the selected entries not marked sent.
  marks = {};
  marks.SetStatus(0, StatusBadAddress);
  marks.SetStatus(4, StatusSent);
  marks.SetStatus(5, StatusHalted);
  marks.SetSelection(4, true);
  marks.SetSelection(5, true);
  JournalRun resumed = Run(0, {});
  resumed.keptSent = true;
  Replay({resumed});
  EXPECT_EQ(Statuses(marks, 6), (std::vector<int>{2, 0, 0, 0, 1, 0}));
}

TEST_F(JournalReplayTest, AMessageInFlightIsNotSentResumedAtAndNamedUntilALaterRunSettlesIt) {
  JournalReplay replay = Replay({Run(0, {Outcome(0, StatusSent), Handed(1)})});
  EXPECT_EQ(Statuses(marks, 6), (std::vector<int>{1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(lastIndexSent, 1);
  ASSERT_EQ(replay.inDoubt.size(), 1u);
  EXPECT_EQ(replay.inDoubt[0].entry, 1);
  EXPECT_EQ(replay.inDoubt[0].address, "e1");

  // Started again from the top, and stopped before it came to entry 1 again.
  marks = {};
  replay = Replay({Run(0, {Outcome(0, StatusSent), Handed(1)}), Run(0, {Handed(0)})});
  ASSERT_EQ(replay.inDoubt.size(), 2u);
  EXPECT_EQ(lastIndexSent, 0);

  marks = {};
  replay = Replay({Run(0, {Outcome(0, StatusSent), Handed(1)}),
                   Run(1, {Handed(1), Outcome(1, StatusSent)}, 0)});
  EXPECT_TRUE(replay.inDoubt.empty());
  EXPECT_TRUE(replay.lastRunEnded);
  EXPECT_EQ(replay.messagesAccepted, 2);
  EXPECT_EQ(lastIndexSent, 0);
}

TEST_F(JournalReplayTest, TheSelectionIsTheRunsOwnFromWhereItBegan) {
  struct Case {
    const char* name;
    bool resumed;
    int from;
    std::vector<int> cleared;
    std::vector<int> selectedOnDisk;
    std::vector<int> sentBefore;
    std::vector<int> selectedAfter;
  };
  // The desktop runs the selection it shows, saved or not; killed, only the
  // journal knows it.
  const std::vector<Case> cases = {
      {"from the top, chosen anew and not saved", false, 0, {3, 4, 5}, {0, 1, 2}, {0},
       {0, 3, 4, 5}},
      {"resumed: a sent entry keeps its mark, those before the start stay", true, 2, {4},
       {0, 2, 3}, {3}, {0, 3, 4}},
      {"the same selection changes nothing", false, 0, {1, 2}, {1, 2}, {}, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    marks = {};
    for (const int entry : c.selectedOnDisk) marks.SetSelection(entry, true);
    for (const int entry : c.sentBefore) marks.SetStatus(entry, StatusSent);
    JournalRun run = Run(c.from, {Outcome(c.cleared.front(), StatusSent), Handed(c.cleared.back())});
    run.keptSent = c.resumed;
    run.cleared = c.cleared;
    const JournalReplay replay = Replay({run});

    std::vector<int> selected;
    for (int i = 0; i < 6; ++i) {
      if (marks.IsSelected(i)) selected.push_back(i);
    }
    EXPECT_EQ(selected, c.selectedAfter);
    EXPECT_EQ(replay.selectionChanged, c.selectedOnDisk != c.selectedAfter);
    EXPECT_EQ(marks.Status(c.cleared.front()), StatusSent);
    // The resume goes on with the message in doubt, the run's last.
    EXPECT_EQ(lastIndexSent, c.cleared.back());
  }
}

TEST_F(JournalReplayTest, HaltedOrRefusedEntriesAreWhereTheNextRunBegins) {
  Replay({Run(0, {Outcome(0, StatusSent), Outcome(1, StatusHalted)})});
  EXPECT_EQ(lastIndexSent, 1);
  EXPECT_EQ(marks.Status(1), StatusHalted);

  marks = {};
  const JournalReplay replay = Replay({Run(0, {Handed(0), Outcome(0, StatusNone)})});
  EXPECT_TRUE(replay.inDoubt.empty());
  EXPECT_EQ(lastIndexSent, 0);

  // A run that got through its whole list is complete without its end.
  lastIndexSent = 4;
  EXPECT_TRUE(Replay({Run(3, {Outcome(5, StatusSent)})}).lastRunEnded);
  EXPECT_EQ(lastIndexSent, 0);
}

TEST_F(JournalReplayTest, AJournalForAnotherVersionOfTheListChangesNothing) {
  marks.SetStatus(0, StatusBadAddress);
  lastIndexSent = 3;
  JournalRun run = Run(0, {Outcome(0, StatusSent)});
  run.identity.listSize = 1001;
  JournalReplay replay = ReplaySendJournal({{run}, 0}, ListOf(6), marks, lastIndexSent);
  EXPECT_FALSE(replay.applied);
  EXPECT_NE(replay.unfitReason.find("6 entries in 1001 bytes"), std::string::npos)
      << replay.unfitReason;
  EXPECT_EQ(marks.Status(0), StatusBadAddress);
  EXPECT_EQ(lastIndexSent, 3);

  run.identity = ListOf(6);
  run.identity.fieldsCrc = 1;
  replay = ReplaySendJournal({{run}, 0}, ListOf(6), marks, lastIndexSent);
  EXPECT_FALSE(replay.applied);
  EXPECT_NE(replay.unfitReason.find("field names"), std::string::npos);
}

// A parent's address on several children's rows, the list re-sorted since
// the run: each outcome, and the message in doubt, go to the row mailed.
TEST_F(JournalReplayTest, OfRowsSharingAnAddressTheOneTheRunMailedIsFoundByItsValues) {
  // The list now: Bob, Cid, Ann, a copy of Ann's row, Dee, Eve; Ann, Bob and
  // Eve share their parent's address. A row's digest stands for its values.
  const std::vector<std::string> address = {"p@x.org", "cid@x.org", "p@X.org",
                                            "p@x.org", "dee@x.org", "p@x.org"};
  const std::vector<std::string> rowOf = {"bob", "cid", "ann", "ann", "dee", "eve"};
  const ListAddresses addresses(6, [&](int i) { return address[static_cast<std::size_t>(i)]; });
  const auto event = [](bool handed, int status, const char* row) {
    return JournalEvent{handed, 0, status, "p@x.org", row};
  };
  struct Case {
    const char* name;
    std::vector<JournalEvent> events;
    std::vector<int> statuses;
    std::vector<int> inDoubt;
    bool startUnread = false;
  };
  const std::vector<Case> cases = {
      {"the row mailed and its identical copy are sent, the siblings not",
       {event(true, 0, "ann"), event(false, StatusSent, "ann")},
       {0, 0, 1, 1, 0, 0},
       {}},
      {"a bad address goes to its own row",
       {event(false, StatusBadAddress, "bob")},
       {2, 0, 0, 0, 0, 0},
       {}},
      {"the message in doubt is the row in flight, wherever it stands now",
       {event(false, StatusSent, "ann"), event(true, 0, "eve")},
       {0, 0, 1, 1, 0, 0},
       {5}},
      {"a row refused at its end is settled, and so no longer in doubt",
       {event(true, 0, "eve"), event(false, StatusNone, "eve"), event(true, 0, "bob")},
       {0, 0, 0, 0, 0, 0},
       {0}},
      {"a row edited since cannot be told from its siblings: every one is sent",
       {event(false, StatusSent, "ann before her name was corrected")},
       {1, 0, 1, 1, 0, 1},
       {}},
      {"a journal of an older program names no row: every one is sent",
       {event(false, StatusSent, "")},
       {1, 0, 1, 1, 0, 1},
       {}},
      {"a run whose first line is unread leaves the other rows as they were",
       {event(true, 0, "eve")},
       {1, 0, 1, 1, 0, 0},
       {5},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    marks = {};
    if (c.startUnread) {
      for (const int entry : {0, 2, 3, 5}) marks.SetStatus(entry, StatusSent);
    }
    JournalRun run = Run(0, c.events);
    run.identity.listDigest = "the list the run mailed";
    run.startUnread = c.startUnread;
    JournalIdentity now = ListOf(6);
    now.listDigest = "the list re-sorted";
    const JournalReplay replay =
        ReplaySendJournal({{run}, 0}, now, marks, lastIndexSent, &addresses, false,
                          [&](int i) { return rowOf[static_cast<std::size_t>(i)]; });
    ASSERT_TRUE(replay.applied) << replay.unfitReason;
    EXPECT_TRUE(replay.matchedByAddress || c.startUnread);
    EXPECT_EQ(Statuses(marks, 6), c.statuses);
    std::vector<int> inDoubt;
    for (const JournalEvent& doubt : replay.inDoubt) inDoubt.push_back(doubt.entry);
    EXPECT_EQ(inDoubt, c.inDoubt);
  }
}

TEST_F(JournalReplayTest, OutcomesAlreadySavedChangeNothing) {
  marks.SetStatus(0, StatusSent);
  marks.SetStatus(1, StatusBadAddress);
  const JournalReplay replay =
      Replay({Run(0, {Outcome(0, StatusSent), Outcome(1, StatusBadAddress)}, 0)});
  EXPECT_TRUE(replay.applied);
  EXPECT_FALSE(replay.changed);
}

}  // namespace
}  // namespace postrider
