#include "project/selected_addresses.h"

#include <cstdint>

#include "project/entry_marks.h"
#include "project/send_journal_format.h"

namespace postrider {
namespace {

// Written like the send journal's lines, each with its CRC; the last line
// counts the others, so a file cut at a line's end is known as damaged.
constexpr std::string_view kFileStart = "postrider-selected-addresses";
constexpr std::string_view kSelected = "selected";
constexpr std::string_view kEnd = "end";
constexpr std::size_t kPieceBytes = 64 * 1024;

}  // namespace

std::string SelectedAddressesPath(const std::string& entryStatePath) {
  return entryStatePath + ".selected";
}

Status WriteSelectedAddresses(AtomicFileGroup& files, const std::string& path,
                              const SelectedAddresses& about,
                              const std::function<void(const AddressSink&)>& forEachAddress) {
  return WriteSelectedRows(files, path, about, [&](const SelectedRowSink& add) {
    forEachAddress([&](std::string_view address) { add(address, {}); });
  });
}

std::string SelectedRowDigest(const std::vector<std::string>& values) {
  // The journal's own digest of a row, so that a killed run's records and a
  // Save's name a row alike.
  std::string digest(kRowDigestSize, '0');
  WriteRowDigest(values, digest.data());
  return digest;
}

Status WriteSelectedRows(AtomicFileGroup& files, const std::string& path,
                         const SelectedAddresses& about,
                         const std::function<void(const SelectedRowSink&)>& forEachRow) {
  return files.WritePieces(path, [&](const AtomicFileGroup::PieceSink& put) {
    std::string lines;
    lines.reserve(kPieceBytes + 4096);
    const std::string entries = std::to_string(about.entries);
    const std::string selected = std::to_string(about.selected);
    // A key older programs pass over: they read the file as before.
    if (about.whole) {
      AppendJournalRecord(lines, kFileStart,
                          {{"version", "1"},
                           {"marks", about.marksDigest},
                           {"list", about.listDigest},
                           {"column", about.column},
                           {"entries", entries},
                           {"selected", selected},
                           {"whole", *about.whole ? "1" : "0"}});
    } else {
      AppendJournalRecord(lines, kFileStart,
                          {{"version", "1"},
                           {"marks", about.marksDigest},
                           {"list", about.listDigest},
                           {"column", about.column},
                           {"entries", entries},
                           {"selected", selected}});
    }
    std::size_t count = 0;
    forEachRow([&](std::string_view address, std::string_view row) {
      if (row.empty()) {
        AppendJournalRecord(lines, kSelected, {{"address", address}});
      } else {
        AppendJournalRecord(lines, kSelected, {{"address", address}, {"row", row}});
      }
      ++count;
      if (lines.size() >= kPieceBytes) {
        put(lines);
        lines.clear();
      }
    });
    AppendJournalRecord(lines, kEnd, {{"count", std::to_string(count)}});
    put(lines);
    return true;
  });
}

Result<std::optional<SelectedAddresses>> ReadSelectedAddresses(const std::string& path) {
  Result<std::optional<std::string>> bytes = ReadFileIfPresent(path);
  if (!bytes) return bytes.status();
  if (!bytes->has_value()) return std::optional<SelectedAddresses>();
  const std::string_view text = **bytes;
  const Status damaged = Status::Error("\"" + path + "\" is damaged.");
  SelectedAddresses selected;
  bool started = false;
  bool ended = false;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos || ended) return damaged;
    const std::optional<JournalRecord> record = DecodeJournalRecord(text.substr(begin, end - begin));
    begin = end + 1;
    if (!record) return damaged;
    if (!started) {
      if (record->kind != kFileStart) return damaged;
      const std::string* version = record->Find("version");
      if (version == nullptr || *version != "1") {
        return Status::Error("\"" + path + "\" was written by another version of the program.");
      }
      const std::string* marks = record->Find("marks");
      const std::string* list = record->Find("list");
      const std::optional<std::int64_t> entries = record->Number("entries");
      const std::optional<std::int64_t> chosen = record->Number("selected");
      if (marks == nullptr || list == nullptr || !entries || !chosen || *entries < 0 ||
          *entries > kMaxListEntries || *chosen < 0 || *chosen > *entries) {
        return damaged;
      }
      selected.marksDigest = *marks;
      selected.listDigest = *list;
      selected.entries = static_cast<int>(*entries);
      selected.selected = static_cast<int>(*chosen);
      if (const std::string* column = record->Find("column")) selected.column = *column;
      if (const std::string* whole = record->Find("whole")) {
        if (*whole != "0" && *whole != "1") return damaged;
        selected.whole = *whole == "1";
      }
      started = true;
    } else if (record->kind == kSelected) {
      const std::string* address = record->Find("address");
      const auto more = static_cast<int>(selected.addresses.size()) + 1;
      if (address == nullptr || more > selected.selected) return damaged;
      selected.addresses.push_back(*address);
      const std::string* row = record->Find("row");
      selected.rows.push_back(row != nullptr ? *row : std::string());
    } else if (record->kind == kEnd) {
      const std::optional<std::int64_t> count = record->Number("count");
      if (!count || *count != static_cast<std::int64_t>(selected.addresses.size())) return damaged;
      ended = true;
    } else {
      return damaged;
    }
  }
  if (!ended) return damaged;
  return std::optional<SelectedAddresses>(std::move(selected));
}

}  // namespace postrider
