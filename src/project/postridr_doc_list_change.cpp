// A mailing list edited since the project was saved: the entries marked
// sent and the selected ones are found again by their address, and each
// Save keeps those addresses beside the marks for that day.

#include <algorithm>
#include <set>
#include <unordered_map>

#include "platform/utf8_text.h"
#include "project/address_check.h"
#include "project/list_addresses.h"
#include "project/postridr_doc.h"
#include "project/recipient_key.h"
#include "project/selected_addresses.h"
#include "project/sent_addresses.h"

namespace postrider {
namespace {

constexpr const char* kListChanged = "The mailing list has changed since the project was saved.";
constexpr const char* kSelectionStays =
    " The selection stays as it was, entry by entry: check it before you send.";

std::string Count(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool AnyMarkedSent(const EntryMarks& marks) {
  for (int i = 0; i < kMaxListEntries; ++i) {
    if (marks.Status(i) == StatusSent) return true;
  }
  return false;
}

struct SelectionFound {
  int selected = 0;
  int notInList = 0;  // addresses selected before that no entry holds now
};

// Selects each entry whose address was selected, as many entries of an
// address as were selected before: a row added since with a selected
// person's address is not chosen too. Of the rows of one address, those
// whose values are the ones chosen come first, then the others in list
// order. An entry without an address is not selected.
SelectionFound SelectByAddress(EntryMarks& marks, int entries,
                               const std::function<std::string(int)>& addressOf,
                               const std::function<std::string(int)>& rowOf,
                               const std::vector<std::string>& addresses,
                               const std::vector<std::string>& rows) {
  struct Wanted {
    int left = 0;
    bool found = false;
    std::unordered_map<std::string, int> rows;
  };
  std::unordered_map<std::string, Wanted> wanted;
  wanted.reserve(addresses.size());
  for (std::size_t k = 0; k < addresses.size(); ++k) {
    Wanted& want = wanted[RecipientKey(addresses[k])];
    ++want.left;
    if (k < rows.size() && !rows[k].empty()) ++want.rows[rows[k]];
  }
  SelectionFound result;
  std::vector<Wanted*> of(static_cast<std::size_t>(entries), nullptr);
  for (int i = 0; i < entries; ++i) {
    marks.SetSelection(i, false);
    const std::string address = addressOf(i);
    const auto it = address.empty() ? wanted.end() : wanted.find(RecipientKey(address));
    if (it == wanted.end()) continue;
    Wanted& want = it->second;
    want.found = true;
    of[static_cast<std::size_t>(i)] = &want;
    if (want.rows.empty()) continue;
    const auto row = want.rows.find(rowOf(i));
    if (row != want.rows.end() && row->second > 0 && want.left > 0) {
      --row->second;
      --want.left;
      marks.SetSelection(i, true);
      ++result.selected;
    }
  }
  for (int i = 0; i < entries; ++i) {
    Wanted* want = of[static_cast<std::size_t>(i)];
    if (want == nullptr || want->left == 0 || marks.IsSelected(i)) continue;
    --want->left;
    marks.SetSelection(i, true);
    ++result.selected;
  }
  for (const auto& [key, want] : wanted) result.notInList += want.found ? 0 : 1;
  return result;
}

// What the sent file says of one address.
struct SentOf {
  bool everyRow = false;
  int left = 0;                // rows mailed that no row's values match
  std::set<std::string> rows;  // the digests of the rows mailed
};

// Marks sent the rows whose values are the ones mailed; a row identical to
// one mailed is the same letter to the same person, so it is marked sent
// too, however many there are. A mailed row whose values changed since
// cannot be told from the other rows of its address: they are all taken as
// sent, so that none of them is mailed twice.
void MarkSentByRow(EntryMarks& marks, int entries,
                   const std::function<std::string(int)>& addressOf,
                   const std::function<std::string(int)>& rowOf,
                   std::unordered_map<std::string, SentOf>& sent) {
  std::vector<SentOf*> of(static_cast<std::size_t>(entries), nullptr);
  for (int i = 0; i < entries; ++i) {
    marks.SetStatus(i, StatusNone);
    const auto it = sent.find(RecipientKey(addressOf(i)));
    if (it == sent.end()) continue;
    SentOf& address = it->second;
    if (address.everyRow || address.rows.count(rowOf(i)) > 0) {
      marks.SetStatus(i, StatusSent);
      if (!address.everyRow && address.left > 0) --address.left;
    } else {
      of[static_cast<std::size_t>(i)] = &address;
    }
  }
  for (int i = 0; i < entries; ++i) {
    SentOf* address = of[static_cast<std::size_t>(i)];
    if (address != nullptr && address->left > 0) marks.SetStatus(i, StatusSent);
  }
}

}  // namespace

std::string CPostridrDoc::GetRecipientAddress(int index) const {
  std::vector<std::string> scratch;
  std::string address;
  ReadRecipientAddress(index, scratch, address);
  return address;
}

void CPostridrDoc::ReadRecipientAddress(int index, std::vector<std::string>& scratch,
                                        std::string& address) const {
  address.clear();
  if (emailFieldIndex_ < 0 || !list_.IsOpen()) return;
  AppendAsUtf8(list_.ReadValue(index, static_cast<std::size_t>(emailFieldIndex_), scratch), address);
}

bool CPostridrDoc::EmailFieldNameGone() const {
  return emailFieldIndex_ >= 0 && !emailFieldName_.empty() &&
         std::find(fieldNames_.begin(), fieldNames_.end(), emailFieldName_) == fieldNames_.end();
}

std::string CPostridrDoc::EmailColumnName() const {
  if (emailFieldIndex_ < 0 || emailFieldIndex_ >= GetFieldCount()) return {};
  return fieldNames_[static_cast<std::size_t>(emailFieldIndex_)];
}

int CPostridrDoc::OtherColumnNamed(const std::string& name) const {
  if (name.empty() || name == EmailColumnName()) return -1;
  const auto found = std::find(fieldNames_.begin(), fieldNames_.end(), name);
  return found == fieldNames_.end() ? -1 : static_cast<int>(found - fieldNames_.begin());
}

std::string CPostridrDoc::AddressInColumn(int index, int column) const {
  if (column < 0) return GetRecipientAddress(index);
  std::vector<std::string> scratch;
  std::string address;
  if (list_.IsOpen()) {
    AppendAsUtf8(list_.ReadValue(index, static_cast<std::size_t>(column), scratch), address);
  }
  return address;
}

std::string CPostridrDoc::RematchMarksToChangedList(const SelectedOnDisk& selectedOnDisk) {
  sentNotInList_.clear();
  rematchedSelectionSentence_.clear();
  // Without a digest (a project saved by an older program) the list is
  // taken to be the one the marks were made for, as it always was.
  if (storedKeys_.listDigest.empty() || !list_.IsOpen() || marksUnread_) return {};
  const std::string path = SentAddressesPath(entryStateFilePath_);
  const std::string marksDigest = MarksDigest(marks_);
  if (storedKeys_.listDigest == list_.contentDigest()) {
    // The same list: the marks say it all, but for whom no entry holds.
    if (Result<std::optional<SentAddresses>> read = ReadSentAddresses(path, true);
        read && read->has_value() && (*read)->marksDigest == marksDigest) {
      sentNotInList_ = std::move((*read)->notInList);
    }
    return {};
  }
  Result<std::optional<SentAddresses>> read = ReadSentAddresses(path);
  // Marks saved while another column stood at the email field's place are
  // looked for in that column when the list has it again.
  const int column = read && read->has_value() ? OtherColumnNamed((*read)->column) : -1;
  const auto addressOf = [this, column](int i) { return AddressInColumn(i, column); };
  std::string unmatched;
  if (!read) {
    unmatched = read.status().message();
  } else if (read->has_value() && (*read)->marksDigest != marksDigest) {
    unmatched = "another program has written the entry state file since \"" + path + "\" was.";
  } else if (!read->has_value() && AnyMarkedSent(marks_)) {
    unmatched = "\"" + path + "\", which names them, is missing.";
  } else if (read->has_value() && column < 0 && EmailFieldNameGone()) {
    // The column now at the email field's place may hold other addresses of
    // the same people (the field removed, or another put in its place); it
    // is the same column renamed only when it still holds every one of them.
    const ListAddresses now(GetEntryCount(), [this](int i) { return GetRecipientAddress(i); });
    // Those already missing when the file was written say nothing of the column.
    const std::set<std::string> gone((*read)->notInList.begin(), (*read)->notInList.end());
    for (const std::string& address : (*read)->addresses) {
      if (!now.EntriesOf(address).empty() || gone.count(address) > 0) continue;
      unmatched = "the list has no field named \"" + AsUtf8(emailFieldName_) +
                  "\", the project's email field, and the column at its place does not hold "
                  "all their addresses.";
      break;
    }
  }
  // Statuses that stay entry by entry keep their selection beside them.
  if (!unmatched.empty()) {
    return std::string(kListChanged) + " Its entries marked sent cannot be found again by "
           "their address, since " + unmatched + " Their statuses stay as they were, entry by "
           "entry: check them before you send.";
  }
  const bool anySent = read->has_value() && !(*read)->addresses.empty();
  const std::string selection = RematchSelection(marksDigest, anySent, selectedOnDisk);
  rematchedSelectionSentence_ = selection;

  if (!anySent) {
    marks_.ClearStatusRange(0, GetEntryCount());
    lastIndexSent_ = 0;
    return std::string(kListChanged) + selection;
  }

  const ListAddresses addresses(GetEntryCount(), addressOf);
  const SentAddresses& file = **read;
  const std::set<std::string> gone(file.notInList.begin(), file.notInList.end());
  std::unordered_map<std::string, SentOf> sent;
  int notInList = 0;
  for (std::size_t k = 0; k < file.addresses.size(); ++k) {
    const std::string& address = file.addresses[k];
    const auto [it, first] = sent.try_emplace(RecipientKey(address));
    SentOf& of = it->second;
    const std::string& row = k < file.rows.size() ? file.rows[k] : std::string();
    // Without the row mailed (an older program's file, an address no entry
    // held) every row of the address stays sent: nobody is mailed twice.
    if (row.empty() || gone.count(address) > 0) {
      of.everyRow = true;
    } else {
      ++of.left;
      of.rows.insert(row);
    }
    if (!first || !addresses.EntriesOf(address).empty()) continue;
    ++notInList;
    sentNotInList_.push_back(address);
  }
  MarkSentByRow(marks_, GetEntryCount(), addressOf, [this](int i) { return RowDigest(i); }, sent);
  // The resume point stood in the old list; a resumed run now goes from the
  // first entry still to be sent and passes over those marked sent.
  if (lastIndexSent_ > 0) lastIndexSent_ = std::max(marks_.FirstAwaitingSending(GetEntryCount()), 0);

  std::string text = std::string(kListChanged) + " The entries marked sent were found again by "
                     "their address, wherever they stand now, and a resumed send does not mail "
                     "them again";
  if (notInList > 0) {
    text += "; " + Count(notInList, "address", "addresses") + " marked sent before " +
            (notInList == 1 ? "is" : "are") + " no longer in the list";
  }
  return text + ". The other entries have no status now." + selection;
}

bool CPostridrDoc::SelectionChosenWhole(const SelectedOnDisk& read,
                                        const std::string& marksDigest) const {
  if (read && read->has_value() && (*read)->marksDigest == marksDigest &&
      (*read)->listDigest == storedKeys_.listDigest) {
    return (*read)->ChosenWhole();
  }
  return EveryEntrySelected();
}

std::string CPostridrDoc::RematchSelection(const std::string& marksDigest, bool columnKnown,
                                           const SelectedOnDisk& read) {
  // A file another program's save left behind names other marks or another
  // list: the selection then stays by position, as it always did.
  if (!read || !read->has_value() || (*read)->marksDigest != marksDigest ||
      (*read)->listDigest != storedKeys_.listDigest) {
    return kSelectionStays;
  }
  const SelectedAddresses& selected = **read;
  if (selected.ChosenWhole()) {
    marks_.SetSelectionRange(0, GetEntryCount(), true);
    selectionWhole_ = true;
    return " Every entry was selected when the project was saved, and so is every entry now, "
           "those put in since too.";
  }
  selectionWhole_ = false;
  // Chosen where no entry had an address (the list saved with the wrong
  // delimiter, say): the file cannot say who they were.
  if (selected.addresses.empty() && selected.selected > 0) return kSelectionStays;
  const int column = OtherColumnNamed(selected.column);
  const EntryMarks before = marks_;
  const SelectionFound found = SelectByAddress(
      marks_, GetEntryCount(), [this, column](int i) { return AddressInColumn(i, column); },
      [this](int i) { return RowDigest(i); }, selected.addresses, selected.rows);
  // As with the sent marks: the column now at the email field's place is
  // the one they were chosen in only when it holds every one of them.
  if (found.notInList > 0 && column < 0 && !columnKnown && EmailFieldNameGone()) {
    marks_ = before;
    return kSelectionStays;
  }
  std::string text = " The selected entries were found again by their address as well: " +
                     Count(found.selected, "entry is", "entries are") + " selected now";
  if (found.notInList > 0) {
    text += ", and " + Count(found.notInList, "address", "addresses") + " selected before " +
            (found.notInList == 1 ? "is" : "are") + " no longer in the list";
  }
  return text + ".";
}

std::string CPostridrDoc::ClearBadMarksOfOlderReading(const std::string& marksOnDisk) {
  if (listSourceType_ != DBTypeComma || !list_.IsOpen() || emailFieldIndex_ < 0) return {};
  const int first = [this] {
    for (int i = 0; i < GetEntryCount(); ++i) {
      if (marks_.Status(i) == StatusBadAddress) return i;
    }
    return -1;
  }();
  if (first < 0) return {};
  // Marks saved with a record of the selection were saved by a program that
  // reads doubled quotes as this one does; only a journal may add others.
  if (Result<std::optional<SelectedAddresses>> read =
          ReadSelectedAddresses(SelectedAddressesPath(entryStateFilePath_));
      read && read->has_value() && (*read)->marksDigest == marksOnDisk &&
      MarksDigest(marks_) == marksOnDisk) {
    return {};
  }
  const auto field = static_cast<std::size_t>(emailFieldIndex_);
  std::vector<std::string> scratch;
  std::string now;
  int cleared = 0;
  for (int i = first; i < GetEntryCount(); ++i) {
    if (marks_.Status(i) != StatusBadAddress) continue;
    now = list_.ReadValue(i, field, scratch);
    // The same address read either way: the mark is the run's answer to it.
    if (!IsValidAddress(now) || list_.ReadValueAsOlderPrograms(i, field, scratch) == now) {
      continue;
    }
    marks_.SetStatus(i, StatusNone);
    // A resume starts no later than the first of them.
    if (cleared++ == 0) lastIndexSent_ = std::min(lastIndexSent_, i);
  }
  if (cleared == 0) return {};
  return Count(cleared, "entry", "entries") + " marked as a bad address " +
         (cleared == 1 ? "has" : "have") + " a good one now that a doubled quote inside quotes is "
         "read as one quote: " + (cleared == 1 ? "its" : "their") + " status is cleared, and the "
         "next run, resumed too, sends " + (cleared == 1 ? "it" : "them") + " the message.";
}

Status CPostridrDoc::WriteSentAddressesFor(AtomicFileGroup& files,
                                           const std::string& entryStatePath) {
  // Every Save goes through all the entries marked sent: nothing allocated
  // an entry, each address goes straight into the file.
  return WriteSentRows(files, SentAddressesPath(entryStatePath), MarksDigest(marks_),
                       [this](const SentRowSink& add) {
                         std::vector<std::string> scratch;
                         std::string address;
                         for (int i = 0; i < GetEntryCount(); ++i) {
                           if (marks_.Status(i) != StatusSent) continue;
                           ReadRecipientAddress(i, scratch, address);
                           if (!address.empty()) add(address, RowDigest(i));
                         }
                       },
                       sentNotInList_, EmailColumnName());
}

Status CPostridrDoc::WriteSelectedAddressesFor(AtomicFileGroup& files,
                                               const std::string& entryStatePath) {
  // As the sent addresses: straight into the file, nothing kept per entry.
  SelectedAddresses about;
  about.marksDigest = MarksDigest(marks_);
  about.listDigest = list_.contentDigest();
  about.column = EmailColumnName();
  about.entries = GetEntryCount();
  about.selected = marks_.CountSelected(GetEntryCount());
  about.whole = selectionWhole_ && about.EveryEntry();
  // The list chosen whole is chosen whole again: no address needs reading.
  return WriteSelectedRows(files, SelectedAddressesPath(entryStatePath), about,
                           [this, &about](const SelectedRowSink& add) {
                             if (!about.ChosenWhole()) ForEachSelectedRow(add);
                           });
}

void CPostridrDoc::ForEachSelectedRow(const SelectedRowSink& add) const {
  std::vector<std::string> scratch;
  std::string address;
  for (int i = 0; i < GetEntryCount(); ++i) {
    if (!marks_.IsSelected(i)) continue;
    ReadRecipientAddress(i, scratch, address);
    if (!address.empty()) add(address, RowDigest(i));
  }
}

void CPostridrDoc::SelectChosenRows(EntryMarks& marks, const ChosenRows& chosen,
                                    int column) const {
  SelectByAddress(
      marks, GetEntryCount(), [this, column](int i) { return AddressInColumn(i, column); },
      [this](int i) { return RowDigest(i); }, chosen.addresses, chosen.rows);
}

std::string CPostridrDoc::RowDigest(int index) const {
  // Kept between calls: a Save reads one row after another.
  if (!list_.ReadRecord(index, rowScratch_)) return {};
  return SelectedRowDigest(rowScratch_);
}

}  // namespace postrider
