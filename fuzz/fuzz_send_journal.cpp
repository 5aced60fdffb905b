// The send journal reader on any file, as a crash or another program may
// leave one: a torn tail never changes what is read, every record a line
// gives is written back as one that reads the same, and replaying the
// journal only ever sets statuses, marks sent only an entry some outcome says
// the server accepted, leaves every mark past the list's end alone, and
// replayed again on its own result changes nothing more.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "project/entry_marks.h"
#include "project/list_addresses.h"
#include "project/send_journal_format.h"
#include "project/send_journal_reader.h"

namespace {

using namespace postrider;

bool SameEvents(const std::vector<JournalEvent>& a, const std::vector<JournalEvent>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].handedOver != b[i].handedOver || a[i].entry != b[i].entry ||
        a[i].status != b[i].status || a[i].address != b[i].address || a[i].row != b[i].row) {
      return false;
    }
  }
  return true;
}

bool SameContents(const SendJournalContents& a, const SendJournalContents& b) {
  if (a.damagedLines != b.damagedLines || a.runs.size() != b.runs.size()) return false;
  for (std::size_t i = 0; i < a.runs.size(); ++i) {
    const JournalRun& x = a.runs[i];
    const JournalRun& y = b.runs[i];
    const JournalIdentity& p = x.identity;
    const JournalIdentity& q = y.identity;
    if (p.projectPath != q.projectPath || p.entryStatePath != q.entryStatePath ||
        p.listPath != q.listPath || p.entries != q.entries || p.listSize != q.listSize ||
        p.fieldsCrc != q.fieldsCrc || p.listDigest != q.listDigest ||
        p.mailedColumn != q.mailedColumn || x.start != y.start ||
        x.clearFrom != y.clearFrom || x.keptSent != y.keptSent ||
        x.lastIndexSent != y.lastIndexSent || !SameEvents(x.events, y.events)) {
      return false;
    }
  }
  return true;
}

// Writing a record the program read gives a line that reads as that record.
void CheckRecordsComeBack(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) break;
    const std::optional<JournalRecord> record = DecodeJournalRecord(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
    if (!record) continue;
    // The line's own value bytes, each alone, escaped the quick way.
    std::string line;
    for (const auto& [key, value] : record->fields) {
      AppendJournalRecord(line, record->kind, {{key, value}});
      FUZZ_CHECK(line.back() == '\n');
      FUZZ_CHECK(line.find('\n') == line.size() - 1);
      const std::optional<JournalRecord> again =
          DecodeJournalRecord(std::string_view(line).substr(0, line.size() - 1));
      FUZZ_CHECK(again && again->kind == record->kind && again->fields.size() == 1 &&
                 again->fields[0].first == key && again->fields[0].second == value);
      line.clear();
    }
  }
}

std::string AddressOf(int entry) { return "a" + std::to_string(entry % 7) + "@example.com"; }

// Each accepted outcome's entries: by position for a run on the same list,
// by address for a run on another.
bool SomeRunAccepted(const SendJournalContents& journal, int entry) {
  for (const JournalRun& run : journal.runs) {
    for (const JournalEvent& event : run.events) {
      if (!event.handedOver && event.status == StatusSent &&
          (event.entry == entry || event.address == AddressOf(entry))) {
        return true;
      }
    }
  }
  return false;
}

void CheckReplay(const SendJournalContents& journal, std::uint8_t control) {
  if (journal.runs.empty()) return;
  // The list as the first run saw it, that list changed since, or one the
  // journal knows nothing of.
  JournalIdentity current = journal.runs.front().identity;
  switch (control % 3) {
    case 1:
      current.listDigest = "changed";
      current.listSize ^= 1;
      current.entries = current.entries % 300;
      break;
    case 2:
      current = {"/p/x.prj", "/p/x.prh", "/p/x.txt", 5, 100, 1, "other"};
      break;
    default:
      break;
  }
  const ListAddresses addresses(current.entries, AddressOf);

  EntryMarks marks;
  // Selections and carried bits, but no status yet: any status after the
  // replay is the journal's.
  for (int i = 0; i < kMaxListEntries; ++i) {
    marks.block()[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i * 37 + control) & 0xF0);
  }
  const EntryMarks before = marks;
  const int lastBefore = control;
  int lastIndexSent = lastBefore;
  const JournalReplay replay = ReplaySendJournal(journal, current, marks, lastIndexSent,
                                                 control & 0x80 ? &addresses : nullptr);
  if (!replay.applied) {
    FUZZ_CHECK(marks.block() == before.block() && lastIndexSent == lastBefore);
    return;
  }
  for (int i = 0; i < kMaxListEntries; ++i) {
    const auto at = static_cast<std::size_t>(i);
    // Only statuses change, and only within the list.
    FUZZ_CHECK((marks.block()[at] & 0xF0) == (before.block()[at] & 0xF0));
    if (i >= current.entries) FUZZ_CHECK(marks.block()[at] == before.block()[at]);
    FUZZ_CHECK(marks.Status(i) <= StatusHalted);
    if (marks.Status(i) == StatusSent) FUZZ_CHECK(SomeRunAccepted(journal, i));
  }
  FUZZ_CHECK(lastIndexSent >= 0 && lastIndexSent <= kMaxListEntries);
  for (const JournalEvent& doubt : replay.inDoubt) {
    FUZZ_CHECK(doubt.handedOver && doubt.entry >= -1 && doubt.entry < current.entries);
  }
  // A save cut off before it folded the journal leaves marks that already
  // hold it; the next open replays it on them to the same end.
  const EntryMarks once = marks;
  const int lastOnce = lastIndexSent;
  const JournalReplay again = ReplaySendJournal(journal, current, marks, lastIndexSent,
                                                control & 0x80 ? &addresses : nullptr);
  FUZZ_CHECK(again.applied && !again.changed);
  FUZZ_CHECK(marks.block() == once.block() && lastIndexSent == lastOnce);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::MemoryFile file("journal");
  const std::string_view bytes = fuzz::AsText(data, size);
  CheckRecordsComeBack(bytes);

  file.Write(bytes);
  const Result<std::optional<SendJournalContents>> read = ReadSendJournal(file.path());
  FUZZ_CHECK(!read.ok() || read->has_value());

  // Whatever a power cut leaves after the last whole line is no record.
  const std::size_t whole = bytes.rfind('\n') + 1;  // 0 when no line is whole
  std::string torn(bytes.substr(0, whole));
  torn += "outcome entry=0 status=1 address=a0@example.com";
  file.Write(torn);
  const Result<std::optional<SendJournalContents>> withTail = ReadSendJournal(file.path());
  FUZZ_CHECK(read.ok() == withTail.ok());
  if (!read.ok()) return 0;
  FUZZ_CHECK(SameContents(**read, **withTail));

  const std::uint8_t control = size > 0 ? data[size / 2] : 0;
  CheckReplay(**read, control);
  return 0;
}
