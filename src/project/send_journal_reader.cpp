#include "project/send_journal_reader.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "platform/atomic_file.h"

namespace postrider {
namespace {

std::optional<int> EntryOf(const JournalRecord& record) {
  const std::optional<std::int64_t> entry = record.Number("entry");
  if (!entry || *entry < 0 || *entry >= kMaxListEntries) return std::nullopt;
  return static_cast<int>(*entry);
}

std::optional<int> SmallNumber(const JournalRecord& record, std::string_view key) {
  const std::optional<std::int64_t> value = record.Number(key);
  if (!value || *value < 0 || *value > kMaxListEntries) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<JournalRun> RunFrom(const JournalRecord& record) {
  JournalRun run;
  const std::string* project = record.Find("project");
  const std::string* state = record.Find("state");
  const std::string* list = record.Find("list");
  const std::optional<int> entries = SmallNumber(record, "entries");
  const std::optional<std::int64_t> size = record.Number("size");
  const std::optional<std::int64_t> fields = record.Number("fields");
  const std::optional<int> start = SmallNumber(record, "start");
  const std::optional<int> clear = SmallNumber(record, "clear");
  if (project == nullptr || state == nullptr || list == nullptr || !entries || !size ||
      *size < 0 || !fields || *fields < 0 || *fields > 0xFFFFFFFFll || !start || !clear) {
    return std::nullopt;
  }
  run.identity = {*project, *state, *list, *entries, *size, static_cast<std::uint32_t>(*fields),
                  {}, {}};
  if (const std::string* digest = record.Find("digest")) run.identity.listDigest = *digest;
  if (const std::string* column = record.Find("column")) run.identity.mailedColumn = *column;
  run.start = *start;
  run.clearFrom = *clear;
  const std::string* keep = record.Find("keep");
  run.keptSent = keep != nullptr && *keep == "sent";
  if (const std::string* cleared = record.Find("cleared")) {
    if (cleared->size() > static_cast<std::size_t>(kMaxListEntries / 4 + 1)) return std::nullopt;
    run.cleared = EntrySetFrom(*cleared, run.clearFrom);
    if (!run.cleared) return std::nullopt;
  }
  if (const std::string* chosen = record.Find("chosen")) {
    run.chosen = ChosenRowsFrom(*chosen);
    if (!run.chosen) return std::nullopt;
  }
  return run;
}

// Takes one record into the journal; false when it is none this program
// writes where it stands.
bool Take(const JournalRecord& record, SendJournalContents& journal) {
  const std::string_view kind = record.kind;
  if (kind == journal_kind::kFileStart) return true;
  if (kind == journal_kind::kFolded) {
    journal = {};
    return true;
  }
  if (kind == journal_kind::kRun) {
    std::optional<JournalRun> run = RunFrom(record);
    if (!run) return false;
    journal.runs.push_back(std::move(*run));
    return true;
  }
  // Records whose run's first line was damaged still say what reached whom.
  if (journal.runs.empty()) journal.runs.push_back({.startUnread = true});
  JournalRun& run = journal.runs.back();
  if (kind == journal_kind::kRunEnd) {
    const std::optional<int> last = SmallNumber(record, "last");
    if (!last) return false;
    run.lastIndexSent = *last;
    return true;
  }
  const std::optional<int> entry = EntryOf(record);
  if (!entry) return false;
  const std::string* row = record.Find("row");
  if (kind == journal_kind::kHandedOver) {
    const std::string* address = record.Find("address");
    run.events.push_back({true, *entry, 0, address != nullptr ? *address : std::string(),
                          row != nullptr ? *row : std::string()});
    return true;
  }
  if (kind == journal_kind::kOutcome) {
    const std::optional<std::int64_t> status = record.Number("status");
    if (!status || *status < StatusNone || *status > StatusHalted) return false;
    const std::string* address = record.Find("address");
    run.events.push_back({false, *entry, static_cast<int>(*status),
                          address != nullptr ? *address : std::string(),
                          row != nullptr ? *row : std::string()});
    return true;
  }
  return false;
}

std::string Describe(const JournalIdentity& identity) {
  return std::to_string(identity.entries) + " entries in " + std::to_string(identity.listSize) +
         " bytes";
}

}  // namespace

Result<std::optional<SendJournalContents>> ReadSendJournal(const std::string& path) {
  Result<std::optional<std::string>> bytes = ReadFileIfPresent(path);
  if (!bytes) return bytes.status();
  if (!bytes->has_value()) return std::optional<SendJournalContents>();
  const std::string& text = **bytes;

  SendJournalContents journal;
  int damagedSoFar = 0;  // counted once a record follows them
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) break;  // torn last line
    const std::optional<JournalRecord> record =
        DecodeJournalRecord(std::string_view(text).substr(begin, end - begin));
    begin = end + 1;
    if (record && record->kind == journal_kind::kFileStart) {
      const std::string* version = record->Find("version");
      if (version == nullptr || *version != "1") {
        return Status::Error("The send journal \"" + path +
                             "\" was written by another version of the program.");
      }
    }
    if (!record || !Take(*record, journal)) {
      ++damagedSoFar;
      continue;
    }
    if (record->kind == journal_kind::kFolded) damagedSoFar = 0;
    journal.damagedLines += damagedSoFar;
    damagedSoFar = 0;
  }
  return std::optional<SendJournalContents>(std::move(journal));
}

namespace {

// Messages handed over whose answer no later outcome gave, by the entry they
// are at now; those whose address the changed list lacks, by address.
struct Doubts {
  std::map<int, JournalEvent> byEntry;
  std::map<std::string, JournalEvent> notInList;

  void SettleEntry(int entry) { byEntry.erase(entry); }
};

// A run on the list as it is: outcome by outcome, entry by entry. Where the
// next run resumes.
int ReplayByPosition(const JournalRun& run, int entries, EntryMarks& marks, Doubts& doubts,
                     JournalReplay& replay) {
  // The selection on disk may not be the one the run cleared by: it can
  // have been changed and not saved. The run's is the one a resume must
  // follow, so from where it began, what it cleared is selected and what it
  // passed by is not; a sent entry keeps its mark, which a resumed run never
  // clears.
  if (run.cleared) {
    std::vector<bool> taken(static_cast<std::size_t>(std::max(entries, 0)), false);
    for (const int entry : *run.cleared) {
      if (entry >= entries) continue;
      marks.SetStatus(entry, StatusNone);
      taken[static_cast<std::size_t>(entry)] = true;
    }
    for (int i = std::max(run.clearFrom, 0); i < entries; ++i) {
      if (taken[static_cast<std::size_t>(i)]) {
        marks.SetSelection(i, true);
      } else if (marks.Status(i) != StatusSent) {
        marks.SetSelection(i, false);
      }
    }
  } else {
    marks.ClearStatusRange(run.clearFrom, entries, ClearingForRun(run.keptSent));
  }
  int resume = run.start;
  for (const JournalEvent& event : run.events) {
    if (event.entry >= entries) continue;
    if (event.handedOver) {
      doubts.byEntry[event.entry] = event;
      resume = event.entry;
      continue;
    }
    marks.SetStatus(event.entry, event.status);
    doubts.SettleEntry(event.entry);
    if (event.status == StatusSent) ++replay.messagesAccepted;
    // A halted entry, or one the server refused at its end, is where the
    // next run begins.
    const bool settled = event.status == StatusSent || event.status == StatusBadAddress;
    resume = settled ? event.entry + 1 : event.entry;
  }
  return resume;
}

// Of the entries holding an event's address now, those it stands for: the
// ones whose values are the row the run mailed (an identical row is the same
// letter to the same person). A record without a row, or a row no entry has
// now (edited since, it cannot be told from its siblings), stands for every
// one of them, so that none is mailed twice; never one guessed by list order.
class RowTargets {
 public:
  explicit RowTargets(const std::function<std::string(int)>& rowOf) : rowOf_(rowOf) {}

  const std::vector<int>& Of(const JournalEvent& event, const std::vector<int>& now) {
    // One entry is every entry of its address, matched or not.
    if (event.row.empty() || !rowOf_ || now.size() < 2) return now;
    matched_.clear();
    for (const int entry : now) {
      if (Digest(entry) == event.row) matched_.push_back(entry);
    }
    return matched_.empty() ? now : matched_;
  }

 private:
  const std::string& Digest(int entry) {
    const auto [it, added] = digests_.try_emplace(entry);
    if (added) it->second = rowOf_(entry);
    return it->second;
  }

  const std::function<std::string(int)>& rowOf_;
  std::map<int, std::string> digests_;
  std::vector<int> matched_;
};

// A run on a list that has changed since: each outcome goes to the entries
// that hold its address now, of those sharing it the row mailed. Where the
// next run resumes.
int ReplayByAddress(const JournalRun& run, int entries, const RunMatch& match, EntryMarks& marks,
                    Doubts& doubts, JournalReplay& replay) {
  const ListAddresses& addresses = *match.addresses;
  RowTargets rows(match.rowOf);
  // A selection the run started on unsaved is its people's again, before
  // what it cleared is taken from them.
  if (run.chosen && match.selectChosen) match.selectChosen(marks, *run.chosen);
  // Only a run from the top is known to have cleared every selected entry;
  // what a resumed one cleared stood where other entries stand now. Without
  // its chosen rows the selection stays by position, so in a re-sorted list
  // it may stand on others than the run's: a sent mark it covers is kept.
  if (run.clearFrom == 0 && !run.keptSent && !run.startUnread) {
    marks.ClearStatusRange(0, entries, StatusClearing::kSelectedNotSent);
  }
  for (const JournalEvent& event : run.events) {
    const std::vector<int>& now = addresses.EntriesOf(event.address);
    const std::vector<int>& targets = rows.Of(event, now);
    if (event.handedOver) {
      // Nothing says the unread start cleared it, as a doubt must be.
      if (run.startUnread) {
        for (const int entry : targets) marks.SetStatus(entry, StatusNone);
      }
      JournalEvent doubt = event;
      doubt.entry = now.empty() ? -1 : targets.front();
      if (now.empty()) {
        doubts.notInList[event.address] = doubt;
      } else {
        doubts.byEntry[doubt.entry] = doubt;
      }
      continue;
    }
    doubts.notInList.erase(event.address);
    for (const int entry : targets) doubts.SettleEntry(entry);
    if (event.status == StatusSent) {
      ++replay.messagesAccepted;
      if (now.empty()) {
        ++replay.acceptedNotInList;
        replay.acceptedAddressesNotInList.push_back(event.address);
      }
      for (const int entry : targets) marks.SetStatus(entry, StatusSent);
    } else if (event.status == StatusBadAddress) {
      for (const int entry : targets) {
        if (marks.Status(entry) != StatusSent) marks.SetStatus(entry, StatusBadAddress);
      }
    }
  }
  if (run.lastIndexSent == 0) return entries;  // it got through its list
  const int first = marks.FirstAwaitingSending(entries);
  return first < 0 ? entries : first;
}

// Whether the run's outcomes say to whom they went, as runs with the list's
// digest write them.
bool CarriesAddresses(const JournalRun& run) {
  if (run.identity.listDigest.empty() && !run.startUnread) return false;
  for (const JournalEvent& event : run.events) {
    const bool reached = event.handedOver || event.status == StatusSent;
    if (reached && event.address.empty()) return false;
  }
  return true;
}

}  // namespace

JournalReplay ReplaySendJournal(const SendJournalContents& journal, const JournalIdentity& current,
                                EntryMarks& marks, int& lastIndexSent,
                                const ListAddresses* addresses, bool entryByEntry,
                                const std::function<std::string(int)>& rowOf) {
  const RunMatch match{entryByEntry ? nullptr : addresses, entryByEntry, rowOf};
  return ReplaySendJournal(journal, current, marks, lastIndexSent,
                           [&match](const JournalRun&) { return match; });
}

JournalReplay ReplaySendJournal(const SendJournalContents& journal, const JournalIdentity& current,
                                EntryMarks& marks, int& lastIndexSent,
                                const std::function<RunMatch(const JournalRun&)>& matchOf) {
  JournalReplay replay;
  std::vector<RunMatch> matches;
  matches.reserve(journal.runs.size());
  for (const JournalRun& run : journal.runs) matches.push_back(matchOf(run));
  const auto matchOfRun = [&](const JournalRun& run) -> const RunMatch& {
    return matches[static_cast<std::size_t>(&run - journal.runs.data())];
  };
  const auto byEntry = [&](const JournalRun& run) {
    return matchOfRun(run).entryByEntry && !run.startUnread &&
           run.identity.entries == current.entries;
  };
  for (const JournalRun& run : journal.runs) {
    const bool byAddress = matchOfRun(run).addresses != nullptr && CarriesAddresses(run);
    if (run.startUnread && !byAddress) {
      replay.unfitReason = "the line that began its last run cannot be read.";
      return replay;
    }
    if (!run.identity.SameListAs(current) && !byAddress && !byEntry(run)) {
      replay.unfitReason = "it was written for a mailing list of " + Describe(run.identity) +
                           ", and the list now has " + Describe(current) + ".";
      if (run.identity.entries == current.entries && run.identity.listSize == current.listSize) {
        replay.unfitReason = "the mailing list's field names have changed since it was written.";
      }
      return replay;
    }
  }

  const EntryMarks before = marks;
  const int lastBefore = lastIndexSent;
  Doubts doubts;
  for (const JournalRun& run : journal.runs) {
    int resume = 0;
    const bool sameList = !run.startUnread && run.identity.SameListAs(current);
    if (sameList || byEntry(run)) {
      replay.matchedEntryByEntry = replay.matchedEntryByEntry || !sameList;
      resume = ReplayByPosition(run, current.entries, marks, doubts, replay);
    } else {
      replay.matchedByAddress = replay.matchedByAddress || !run.startUnread;
      const RunMatch& match = matchOfRun(run);
      resume = ReplayByAddress(run, current.entries, match, marks, doubts, replay);
    }
    // A run that got through its whole list is complete, as its end would
    // have said: the next send starts from the top.
    const bool throughTheList = resume >= current.entries;
    const bool ownEnd = run.lastIndexSent.has_value() && (sameList || byEntry(run));
    lastIndexSent = ownEnd ? *run.lastIndexSent : throughTheList ? 0 : resume;
    replay.lastRunEnded = run.lastIndexSent.has_value() || throughTheList;
  }
  for (auto& [entry, event] : doubts.byEntry) replay.inDoubt.push_back(event);
  for (auto& [address, event] : doubts.notInList) replay.inDoubt.push_back(event);
  replay.applied = true;
  replay.changed = lastIndexSent != lastBefore || marks.block() != before.block();
  for (int i = 0; i < current.entries && !replay.selectionChanged; ++i) {
    replay.selectionChanged = marks.IsSelected(i) != before.IsSelected(i);
  }
  return replay;
}

}  // namespace postrider
