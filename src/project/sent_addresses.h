#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "project/entry_marks.h"

namespace postrider {

// Who the entries marked sent are. The entry state file holds one byte per
// position in the list and must stay as it is, so once the list's order or
// size has changed only this tells who was mailed: beside it
// ("june.prh.sent"), written with it on every Save, the address of each
// entry marked sent. It names the marks it was written with (their SHA-256),
// so marks that another program wrote since are never matched with it.
struct SentAddresses {
  std::string marksDigest;
  std::vector<std::string> addresses;  // as the run sent to them (UTF-8)
};

std::string SentAddressesPath(const std::string& entryStatePath);

// The digest a SentAddresses names for these marks.
std::string MarksDigest(const EntryMarks& marks);

// Replaces the file in one step; with no addresses it removes it instead,
// since no file and no entry marked sent say the same.
Status WriteSentAddresses(const std::string& path, const SentAddresses& sent);
// Nothing when there is no file; an error when it cannot be read or is damaged.
Result<std::optional<SentAddresses>> ReadSentAddresses(const std::string& path);

}  // namespace postrider
