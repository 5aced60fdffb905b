// The project document's side of the send journal: applying one on open,
// folding it in on save, and where it lies.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <unordered_set>

#include "platform/crc32.h"
#include "platform/utf8_text.h"
#include "platform/user_paths.h"
#include "platform/write_check.h"
#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "project/project_paths.h"
#include "project/recipient_key.h"
#include "project/send_journal_reader.h"

namespace postrider {
namespace {

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// An address from the list is shown, never obeyed: no control characters.
std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  return shown;
}

std::string AcceptedText(int count, bool ended) {
  std::string text = ended ? "The last send run of this project was not saved: "
                           : "The last send run of this project did not finish: ";
  if (count == 0) return text + "no message had been accepted by the server.";
  if (count == 1) return text + "1 message had been accepted by the server; its entry is marked sent.";
  return text + std::to_string(count) +
         " messages had been accepted by the server; their entries are marked sent.";
}

std::string InDoubtText(const JournalEvent& event) {
  if (event.entry < 0) {
    return "The message to " + Printable(event.address) + ", no longer in the list, had been "
           "handed to the server, but the server's answer never came: it may have been delivered.";
  }
  return "Entry " + EntryNumberText(event.entry) + " (" + Printable(event.address) +
         ") had been handed to the server, but the server's answer never came. It is marked not "
         "sent, so a resumed run sends it again: this one recipient may get the message twice.";
}

std::string NotInListText(int count) {
  return std::to_string(count) + (count == 1 ? " address" : " addresses") +
         " the server accepted " + (count == 1 ? "is" : "are") +
         " no longer in the list; nobody is sent anything for " + (count == 1 ? "it." : "them.");
}

std::string JournalNotice(const JournalReplay& replay, int damagedLines, const std::string& path) {
  std::string notice;
  const auto add = [&notice](const std::string& line) {
    if (!notice.empty()) notice += '\n';
    notice += line;
  };
  if (replay.matchedByAddress) {
    add("The mailing list has changed since the last send run: its outcomes were matched to the "
        "list's entries by address, so a resumed run does not mail anyone the server accepted.");
  }
  if (replay.changed || !replay.inDoubt.empty() || replay.matchedByAddress ||
      replay.matchedEntryByEntry) {
    add(AcceptedText(replay.messagesAccepted, replay.lastRunEnded));
  }
  if (replay.selectionChanged) {
    add("The selection is the one the run was started with, which had not been saved.");
  }
  if (replay.acceptedNotInList > 0) add(NotInListText(replay.acceptedNotInList));
  for (const JournalEvent& event : replay.inDoubt) add(InDoubtText(event));
  if (damagedLines > 0) {
    add(std::to_string(damagedLines) + (damagedLines == 1 ? " line" : " lines") +
        " of the send journal \"" + path + "\" could not be read; the outcomes " +
        (damagedLines == 1 ? "it" : "they") + " held are not applied.");
  }
  return notice;
}

}  // namespace

std::string CPostridrDoc::GetSendJournalPath() {
  if (!pathName_.empty()) return SendJournalPath(pathName_);
  if (untitledJournalPath_.empty()) untitledJournalPath_ = NewUntitledSendJournalPath();
  return untitledJournalPath_;
}

JournalIdentity CPostridrDoc::GetJournalIdentity() const {
  JournalIdentity identity;
  identity.projectPath = pathName_;
  identity.entryStatePath = entryStateFilePath_;
  identity.listPath = listFilePath_;
  identity.entries = GetEntryCount();
  identity.listSize = list_.fileSize();
  std::string names;
  for (const std::string& name : fieldNames_) names += name + '\t';
  identity.fieldsCrc = Crc32(names);
  identity.listDigest = list_.contentDigest();
  identity.mailedColumn = EmailColumnName();
  return identity;
}

std::string CPostridrDoc::ApplySendJournal(const std::string& projectPath) {
  journalGaveSelection_ = false;
  const std::string path = SendJournalPath(projectPath);
  Result<std::optional<SendJournalContents>> read = ReadSendJournal(path);
  if (!read) {
    unappliedJournal_ = true;
    loadProblems_.push_back(read.status().message());
    return {};
  }
  if (!read->has_value()) return {};
  unappliedJournal_ = true;
  // Its outcomes are changes to the entry state file as it was read.
  if (marksUnread_ || (IsTextListType(listSourceType_) && !list_.IsOpen())) {
    return "The send journal \"" + path + "\" was not applied, since the project's files "
           "could not all be read; it is kept.";
  }
  JournalIdentity current = GetJournalIdentity();
  current.projectPath = projectPath;
  // A run that mailed another column than the email field's now (the email
  // column deleted then, and put back since) is matched in that column, by
  // its name, where the list has one: the first, as the email field is
  // found by its name. The index, or -1 for the email field's column.
  const auto columnOf = [this](const JournalRun& run) {
    return OtherColumnNamed(run.identity.mailedColumn);
  };
  // Runs written for another list are matched by address, so the list's
  // addresses are read only for them.
  std::optional<ListAddresses> addresses;
  std::map<int, ListAddresses> columns;
  for (const JournalRun& run : (*read)->runs) {
    if (!list_.IsOpen() || run.identity.SameListAs(current)) continue;
    if (const int column = columnOf(run); column >= 0) {
      if (columns.count(column) == 0) {
        columns.emplace(column, ListAddresses(GetEntryCount(), [this, column](int i) {
                          return AddressInColumn(i, column);
                        }));
      }
    } else if (!addresses) {
      addresses.emplace(GetEntryCount(), [this](int i) { return GetRecipientAddress(i); });
    }
  }
  // With its email field gone, the column now at its place may hold other
  // addresses of the same people: it is the same column renamed only when
  // it holds every address the runs reached.
  bool entryByEntry = false;
  if (addresses && EmailFieldNameGone()) {
    for (const JournalRun& run : (*read)->runs) {
      if (run.identity.SameListAs(current) || columnOf(run) >= 0) continue;
      for (const JournalEvent& event : run.events) {
        const bool reached = event.handedOver || event.status == StatusSent;
        if (reached && !event.address.empty() && addresses->EntriesOf(event.address).empty()) {
          entryByEntry = true;
        }
      }
    }
  }
  const std::string fieldGone = "the list has no field named \"" + AsUtf8(emailFieldName_) +
                                "\", the project's email field, and the column at its place "
                                "does not hold all the addresses its runs reached";
  // Of rows sharing an address, the one a run mailed is found by its values.
  const auto rowOf = [this](int i) { return RowDigest(i); };
  // A run's selection that had not been saved: its people, by the rule the
  // record of the selection follows, in the column the run mailed.
  const auto selectChosen = [this, &columnOf](const JournalRun& run) {
    return [this, column = columnOf(run)](EntryMarks& marks, const ChosenRows& chosen) {
      SelectChosenRows(marks, chosen, column);
    };
  };
  JournalReplay replay = ReplaySendJournal(
      **read, current, marks_, lastIndexSent_, [&](const JournalRun& run) -> RunMatch {
        const auto column = columns.find(columnOf(run));
        if (column != columns.end()) return {&column->second, false, rowOf, selectChosen(run)};
        return {entryByEntry || !addresses ? nullptr : &*addresses, entryByEntry, rowOf,
                selectChosen(run)};
      });
  journalGaveSelection_ = replay.applied && replay.selectionChanged;
  if (!replay.applied) {
    if (entryByEntry) {
      replay.unfitReason = "its outcomes cannot be found again by their address, since " +
                           fieldGone + "; nor entry by entry, since " + replay.unfitReason;
    }
    return "The send journal \"" + path + "\" was not applied: " + replay.unfitReason +
           " It is kept, and no send starts while it is there: put the list back as its run "
           "had it and open the project again, or check the statuses and move the journal away.";
  }
  unappliedJournal_ = false;
  if (!replay.acceptedAddressesNotInList.empty()) {
    std::unordered_set<std::string> kept;
    for (const std::string& address : sentNotInList_) kept.insert(RecipientKey(address));
    for (const std::string& address : replay.acceptedAddressesNotInList) {
      if (kept.insert(RecipientKey(address)).second) sentNotInList_.push_back(address);
    }
  }
  // While another program writes the project, its run may well be going on.
  if (otherWriter_) {
    if (!replay.changed && replay.inDoubt.empty()) return {};
    return otherWriter_->Describe() + " has the project open for writing; the statuses shown "
           "include the outcomes its send journal holds so far.";
  }
  std::string notice = JournalNotice(replay, (*read)->damagedLines, path);
  if (replay.matchedEntryByEntry) {
    notice = "The mailing list has changed since the last send run, and its outcomes cannot be "
             "found again by their address, since " + fieldGone + ". They were applied entry "
             "by entry: check the statuses before you send.\n" + notice;
  }
  return notice;
}

void CPostridrDoc::NoteSelectionOnDisk() {
  selectionOnDisk_ = marks_;
  selectionWholeOnDisk_ = selectionWhole_;
}

std::optional<ChosenRows> CPostridrDoc::UnsavedSelection() const {
  // Once per run, and every command-line run pays it: eight marks a step,
  // their differing bits ORed together.
  const std::uint8_t* const now = marks_.block().data();
  const std::uint8_t* const saved = selectionOnDisk_.block().data();
  const auto entries = static_cast<std::size_t>(std::clamp(GetEntryCount(), 0, kMaxListEntries));
  std::uint64_t differ = 0;
  std::size_t i = 0;
  for (; i + 8 <= entries; i += 8) {
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    std::memcpy(&a, now + i, 8);
    std::memcpy(&b, saved + i, 8);
    differ |= a ^ b;
  }
  for (; i < entries; ++i) differ |= static_cast<std::uint64_t>(now[i] ^ saved[i]);
  constexpr std::uint64_t kSelectionBits = 0x0101010101010101ULL * EntryMarks::kSelectionBit;
  // Every row chosen, but no longer by Select All (one unmarked and marked
  // again): those people, not whoever the list holds.
  const bool same = (differ & kSelectionBits) == 0 &&
                    !(selectionWholeOnDisk_ && !selectionWhole_ && EveryEntrySelected());
  if (same) return std::nullopt;
  ChosenRows chosen;
  ForEachSelectedRow([&chosen](std::string_view address, std::string_view row) {
    chosen.addresses.emplace_back(address);
    chosen.rows.emplace_back(row);
  });
  return chosen;
}

Result<std::unique_ptr<SendJournal>> CPostridrDoc::OpenSendJournal() {
  if (IsReadOnly()) return ReadOnlyRefusal();
  const std::string path = GetSendJournalPath();
  for (const std::string& own : {listFilePath_, messageFilePath_, entryStateFilePath_}) {
    if (SameFile(path, own)) {
      return Status::Error("The send journal \"" + path + "\" would be written over " + own + ".");
    }
  }
  // Its outcomes are in no mark: moved aside, the entries it reached would
  // be mailed again without a word. A send refuses to start first.
  if (unappliedJournal_ && Exists(path)) {
    return Status::Error("The send journal \"" + path + "\" holds outcomes of an earlier run "
                         "that could not be applied when the project was opened; it is kept, "
                         "and no run is added to it.");
  }
  unappliedJournal_ = false;
  return SendJournal::Open(path);
}

std::string CPostridrDoc::UnappliedSendJournal() {
  if (!unappliedJournal_) return {};
  const std::string path = GetSendJournalPath();
  return Exists(path) ? path : std::string();
}

Status CPostridrDoc::CheckSendOutcomesWritable() {
  if (IsReadOnly()) return ReadOnlyRefusal();
  const std::string journal = GetSendJournalPath();
  if (pathName_.empty()) {
    if (Status folder = EnsureParentFolder(journal); !folder) return folder;
  } else {
    if (Status status = CheckCanWrite(pathName_); !status) return status;
    if (Status status = CheckCanWrite(ReplaceLastThree(pathName_, "prh")); !status) return status;
  }
  return CheckCanWrite(journal, true);
}

void CPostridrDoc::FoldSendJournals(const std::string& previousPath, const std::string& savedPath) {
  std::vector<std::string> journals;
  if (previousPath.empty()) {
    if (!untitledJournalPath_.empty()) journals.push_back(untitledJournalPath_);
    untitledJournalPath_.clear();
  } else if (!unappliedJournal_ && savedPath == previousPath) {
    journals.push_back(SendJournalPath(previousPath));
  }
  // Saved under another name, the project's journal also stays beside the
  // old one, whose files do not hold its outcomes: that name applies it when
  // next opened, so that a send from either does not mail those people again.
  // A journal beside a project saved over belongs to what was there before;
  // an unapplied one went along and was set aside there.
  if (savedPath != previousPath && !unappliedJournal_) {
    journals.push_back(SendJournalPath(savedPath));
    unappliedJournal_ = false;
  }
  for (const std::string& journal : journals) {
    if (Status status = FoldSendJournal(journal); !status) {
      ShowMessage("The project was saved, but " + status.message() +
                      "\nIts outcomes are applied again when the project is next opened.",
                  MessageIcon::Warning);
    }
  }
}

}  // namespace postrider
