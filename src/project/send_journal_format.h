#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace postrider {

// What a send journal belongs to, written at the start of every run: the
// project, its entry state file, and the list with enough about it (its
// digest; entries, bytes, field names for journals written before the digest)
// to know whether its outcomes still fit the list entry by entry.
struct JournalIdentity {
  std::string projectPath;  // empty for a project without a name
  std::string entryStatePath;
  std::string listPath;
  int entries = 0;
  std::int64_t listSize = 0;
  std::uint32_t fieldsCrc = 0;  // of the field names, each ended by a TAB
  std::string listDigest;       // SHA-256 of the list's bytes; empty in older journals
  // The name the list gave the column the run mailed; empty in older journals.
  // The list may have changed since: its outcomes are looked for there.
  std::string mailedColumn;

  bool SameListAs(const JournalIdentity& other) const {
    if (!listDigest.empty() && !other.listDigest.empty()) return listDigest == other.listDigest;
    return entries == other.entries && listSize == other.listSize && fieldsCrc == other.fieldsCrc;
  }
};

// The kinds of line, in the order a run writes them.
namespace journal_kind {
inline constexpr std::string_view kFileStart = "postrider-send-journal";  // version=1
// identity, start=, clear=; keep=sent when the run kept the entries marked sent;
// cleared=, the entries whose statuses it cleared (EntrySetText); column=,
// the column it mailed; chosen=, who its selection chose when that was not
// the one saved (ChosenRowsText) (readers ignore keys they do not know)
inline constexpr std::string_view kRun = "run";
// entry=, address=; row=, the digest of the entry's values (SelectedRowDigest),
// so that of rows sharing an address the one mailed is found again
inline constexpr std::string_view kHandedOver = "handed";
inline constexpr std::string_view kOutcome = "outcome";  // entry=, status=, address=, row=
inline constexpr std::string_view kRunEnd = "end";       // last=, the LastIndexSent it left
inline constexpr std::string_view kFolded = "folded";    // a Save took in all before it
}  // namespace journal_kind

// One line of a send journal: a kind, then key=value fields, then the CRC-32
// of everything before it in eight hex digits. Values are written with bytes
// up to the blank, '%', '=' and DEL as %XX, so a line holds no line end and
// splits at its blanks:
//   outcome entry=17 status=1 5a0c93e2
// A line that a power cut cut short, or that holds garbage, fails its CRC.
struct JournalRecord {
  std::string kind;
  std::vector<std::pair<std::string, std::string>> fields;

  const std::string* Find(std::string_view key) const;
  // A field that is a decimal number, or nothing.
  std::optional<std::int64_t> Number(std::string_view key) const;
};

using JournalField = std::pair<std::string_view, std::string_view>;

// The whole line, with its CRC and line end, added to out.
void AppendJournalRecord(std::string& out, std::string_view kind,
                         std::initializer_list<JournalField> fields);
std::string EncodeJournalRecord(std::string_view kind, std::initializer_list<JournalField> fields);
// The same line written at `to`, which has room for JournalRecordRoom bytes;
// returns where it ends. For a buffer that is not cleared before each record.
std::size_t JournalRecordRoom(std::string_view kind, std::initializer_list<JournalField> fields);
char* WriteJournalRecord(char* to, std::string_view kind,
                         std::initializer_list<JournalField> fields);

// The digest of a row's values that the files of sent and selected
// addresses and the journal name it by (SelectedRowDigest: 64-bit FNV-1a
// over each value and a 0x1F after it), as kRowDigestSize hex digits at `to`.
// Without an allocation: a run writes one for every message.
inline constexpr std::size_t kRowDigestSize = 16;
void WriteRowDigest(const std::vector<std::string>& values, char* to);

// A line without its line end; nothing when it is not one written whole.
std::optional<JournalRecord> DecodeJournalRecord(std::string_view line);

// Which entries of [first, end) `has` holds, as hex digits of four entries
// each (entry first + 4j + k is bit k of digit j), trailing zeros left off.
std::string EntrySetText(int first, int end, const std::function<bool(int)>& has);
// The entries such a text names, in order; nothing when it is not one.
std::optional<std::vector<int>> EntrySetFrom(std::string_view text, int first);

// Who a run's selection chose when it was not the selection saved: each
// selected entry's address and row digest, in list order. Positions mean
// nothing once the list is edited; these find the run's people again.
struct ChosenRows {
  std::vector<std::string> addresses;
  std::vector<std::string> rows;  // beside each address; empty where unknown
};
// One value for the run's first line (not a record each: older readers
// would count those as damaged lines): each row as the length of its
// address, ':', the address, the length of its digest, ':', the digest.
std::string ChosenRowsText(const ChosenRows& chosen);
// Nothing when the text is not one.
std::optional<ChosenRows> ChosenRowsFrom(std::string_view text);

}  // namespace postrider
