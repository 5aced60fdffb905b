#include "project/sent_addresses.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/sha256.h"
#include "project/send_journal_format.h"

namespace postrider {
namespace {

// Written like the send journal's lines, each with its CRC.
constexpr std::string_view kFileStart = "postrider-sent-addresses";
constexpr std::string_view kSent = "sent";

}  // namespace

std::string SentAddressesPath(const std::string& entryStatePath) {
  return entryStatePath + ".sent";
}

std::string MarksDigest(const EntryMarks& marks) {
  const auto& block = marks.block();
  return Sha256Hex(std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
}

Status WriteSentAddresses(const std::string& path, const SentAddresses& sent) {
  if (sent.addresses.empty()) {
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return Status::Ok();
    return Status::Error("Cannot remove \"" + path + "\": " + std::strerror(errno));
  }
  std::string text;
  AppendJournalRecord(text, kFileStart, {{"version", "1"}, {"marks", sent.marksDigest}});
  for (const std::string& address : sent.addresses) {
    AppendJournalRecord(text, kSent, {{"address", address}});
  }
  return WriteFileAtomically(path, text);
}

Result<std::optional<SentAddresses>> ReadSentAddresses(const std::string& path) {
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
    } else {
      const std::string* version = record->Find("version");
      if (version == nullptr || *version != "1") {
        return Status::Error("\"" + path + "\" was written by another version of the program.");
      }
      sent.marksDigest = *value;
      started = true;
    }
  }
  if (!started) return damaged;
  return std::optional<SentAddresses>(std::move(sent));
}

}  // namespace postrider
