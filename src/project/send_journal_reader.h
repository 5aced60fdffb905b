#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "project/entry_marks.h"
#include "project/list_addresses.h"
#include "project/send_journal_format.h"

namespace postrider {

// What a send journal says happened, run by run.
struct JournalEvent {
  bool handedOver = false;  // else an outcome
  int entry = 0;            // -1 once matched by address: no longer in the list
  int status = 0;           // of an outcome
  std::string address;      // of a message handed over, and of an outcome where written
  // The digest of the entry's values (SelectedRowDigest); empty in journals
  // of older programs.
  std::string row;
};

struct JournalRun {
  JournalIdentity identity;
  int start = 0;
  int clearFrom = 0;  // statuses from here to the list's end were cleared
  bool keptSent = false;  // but not those of entries marked sent (a resumed run)
  // The entries whose statuses it cleared, as its selection then had them;
  // none in journals written before runs named them.
  std::optional<std::vector<int>> cleared;
  // Who its selection chose, where that was not the one saved; none when it
  // was, and in journals written before runs named them.
  std::optional<ChosenRows> chosen;
  std::vector<JournalEvent> events;
  std::optional<int> lastIndexSent;  // from the run's end; none when it did not end
  // Its first line could not be read: what list it ran on, and what it
  // cleared, are unknown; its outcomes are matched by address.
  bool startUnread = false;
};

struct SendJournalContents {
  std::vector<JournalRun> runs;  // those no Save has taken in yet
  // Lines that hold no record although records follow them; a torn last
  // line is no damage, only the last second before a power cut.
  int damagedLines = 0;
};

// Nothing when there is no journal at path.
Result<std::optional<SendJournalContents>> ReadSendJournal(const std::string& path);

// What applying a journal did.
struct JournalReplay {
  bool applied = false;     // false when the journal does not fit the list: nothing changed
  std::string unfitReason;  // why not, in words
  bool changed = false;     // the marks or the resume point differ from before
  // The selection is a run's again, which differed from the one on disk.
  bool selectionChanged = false;
  bool lastRunEnded = false;
  int messagesAccepted = 0;
  // Runs written for a list that has changed since were matched by address.
  bool matchedByAddress = false;
  // Or, their addresses being no longer where they were, entry by entry.
  bool matchedEntryByEntry = false;
  int acceptedNotInList = 0;  // of those runs' accepted addresses, the ones the list lacks now
  std::vector<std::string> acceptedAddressesNotInList;
  // Messages handed over whose answer never came and that no later run
  // settled: marked not sent, and possibly delivered.
  std::vector<JournalEvent> inDoubt;
};

// Replays every run on marks and lastIndexSent, as the runs left them: each
// run's cleared statuses, its outcomes, and where the next run resumes (the
// run's own end, or else just after its last settled entry, at an entry
// that was halted or in flight; 0 once it got through the list).
// A run written for another list than `current` is matched by address
// through `addresses`: every entry whose recipient the server accepted is
// marked sent, wherever it stands now, and a run that did not finish resumes
// at the first entry still awaiting sending. Without `addresses`, or for a
// run written before runs carried addresses, such a journal does not fit.
// Of the entries sharing an address, an outcome or a message in doubt goes
// to those whose values are the row the run mailed (rowOf(i): entry i's
// digest); to every one of them when its record names no row, when no entry
// has those values now (the row edited since), or without rowOf.
// With `entryByEntry` (the list's addresses cannot be trusted to be the
// ones the runs used) such runs are replayed by position instead, and
// only a run written for a list of as many entries fits.
JournalReplay ReplaySendJournal(const SendJournalContents& journal, const JournalIdentity& current,
                                EntryMarks& marks, int& lastIndexSent,
                                const ListAddresses* addresses = nullptr,
                                bool entryByEntry = false,
                                const std::function<std::string(int)>& rowOf = {});

// How a run written for another list is matched to the list as it is.
struct RunMatch {
  const ListAddresses* addresses = nullptr;  // by address, in these
  bool entryByEntry = false;                 // by position instead, as above
  std::function<std::string(int)> rowOf;     // of rows sharing an address, as above
  // Selects in marks the entries a run's chosen rows name, for a run matched
  // by address: the selection it was started on had not been saved.
  std::function<void(EntryMarks& marks, const ChosenRows& chosen)> selectChosen;
};

// The same, with each run matched as matchOf says: runs that mailed
// different columns have their addresses looked for in different ones.
JournalReplay ReplaySendJournal(const SendJournalContents& journal, const JournalIdentity& current,
                                EntryMarks& marks, int& lastIndexSent,
                                const std::function<RunMatch(const JournalRun&)>& matchOf);

}  // namespace postrider
