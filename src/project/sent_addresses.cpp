#include "project/sent_addresses.h"

#include <string_view>

#include "platform/sha256.h"
#include "project/send_journal_format.h"

namespace postrider {
namespace {

// Written like the send journal's lines, each with its CRC.
constexpr std::string_view kFileStart = "postrider-sent-addresses";
constexpr std::string_view kSent = "sent";
// Marks a sent address no entry held; a reader that does not know it still
// reads the address as sent, which is what it is.
constexpr std::string_view kNotInList = "absent";
constexpr std::size_t kPieceBytes = 64 * 1024;

}  // namespace

std::string SentAddressesPath(const std::string& entryStatePath) {
  return entryStatePath + ".sent";
}

std::string MarksDigest(const EntryMarks& marks) {
  const auto& block = marks.block();
  return Sha256Hex(std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
}

Status WriteSentAddresses(AtomicFileGroup& files, const std::string& path,
                          std::string_view marksDigest,
                          const std::function<void(const AddressSink&)>& forEachAddress,
                          const std::vector<std::string>& notInList,
                          std::string_view column) {
  return WriteSentRows(
      files, path, marksDigest,
      [&](const SentRowSink& add) {
        forEachAddress([&](std::string_view address) { add(address, {}); });
      },
      notInList, column);
}

Status WriteSentRows(AtomicFileGroup& files, const std::string& path, std::string_view marksDigest,
                     const std::function<void(const SentRowSink&)>& forEachRow,
                     const std::vector<std::string>& notInList, std::string_view column) {
  return files.WritePieces(path, [&](const AtomicFileGroup::PieceSink& put) {
    // Fresh memory is what a short run pays for most: one buffer's worth of
    // lines at a time, the buffer used again.
    std::string lines;
    lines.reserve(kPieceBytes + 4096);
    // The count lets an opening that needs only those skip the rest. A
    // reader ignores keys it does not know: older ones read the column's
    // file as before.
    const std::string absent = std::to_string(notInList.size());
    if (column.empty()) {
      AppendJournalRecord(lines, kFileStart,
                          {{"version", "1"}, {"marks", marksDigest}, {kNotInList, absent}});
    } else {
      AppendJournalRecord(
          lines, kFileStart,
          {{"version", "1"}, {"marks", marksDigest}, {kNotInList, absent}, {"column", column}});
    }
    bool any = false;
    const auto recordAdded = [&] {
      any = true;
      if (lines.size() >= kPieceBytes) {
        put(lines);
        lines.clear();
      }
    };
    // Older readers look the address up by its key and pass over the row's.
    forEachRow([&](std::string_view address, std::string_view row) {
      if (row.empty()) {
        AppendJournalRecord(lines, kSent, {{"address", address}});
      } else {
        AppendJournalRecord(lines, kSent, {{"address", address}, {"row", row}});
      }
      recordAdded();
    });
    for (const std::string& address : notInList) {
      AppendJournalRecord(lines, kSent, {{"address", address}, {kNotInList, "1"}});
      recordAdded();
    }
    if (any) put(lines);
    return any;
  });
}

Result<std::optional<SentAddresses>> ReadSentAddresses(const std::string& path,
                                                       bool notInListOnly) {
  Result<std::optional<std::string>> bytes = ReadFileIfPresent(path);
  if (!bytes) return bytes.status();
  if (!bytes->has_value()) return std::optional<SentAddresses>();
  const std::string_view text = **bytes;
  const Status damaged = Status::Error("\"" + path + "\" is damaged.");
  SentAddresses sent;
  bool started = false;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) return damaged;
    const std::optional<JournalRecord> record = DecodeJournalRecord(text.substr(begin, end - begin));
    begin = end + 1;
    if (!record) return damaged;
    const std::string* value = record->Find(started ? "address" : "marks");
    if (value == nullptr || record->kind != (started ? kSent : kFileStart)) return damaged;
    if (started) {
      sent.addresses.push_back(*value);
      const bool absent = record->Find(kNotInList) != nullptr;
      if (absent) sent.notInList.push_back(*value);
      // No entry held those: no row to find again.
      const std::string* row = absent ? nullptr : record->Find("row");
      sent.rows.push_back(row != nullptr ? *row : std::string());
    } else {
      const std::string* version = record->Find("version");
      if (version == nullptr || *version != "1") {
        return Status::Error("\"" + path + "\" was written by another version of the program.");
      }
      sent.marksDigest = *value;
      if (const std::string* column = record->Find("column")) sent.column = *column;
      started = true;
      const std::string* absent = record->Find(kNotInList);
      if (notInListOnly && (absent == nullptr || *absent == "0")) break;
    }
  }
  if (!started) return damaged;
  return std::optional<SentAddresses>(std::move(sent));
}

}  // namespace postrider
