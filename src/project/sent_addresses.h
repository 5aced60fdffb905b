#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
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
  // Beside each address, a digest of its entry's values (SelectedRowDigest;
  // empty in older files and for those not in the list): of rows sharing
  // an address, the one mailed is found again.
  std::vector<std::string> rows;
  // Of those, the ones no entry of the list held when the file was written
  // (a row deleted, a list saved with the wrong delimiter): they are kept,
  // so that mailed recipients whose rows come back are not mailed again.
  std::vector<std::string> notInList;
  // The name the list gave the column the addresses were read from; empty in
  // older files. Once the list has changed, they are found there again.
  std::string column;
};

std::string SentAddressesPath(const std::string& entryStatePath);

// The digest a SentAddresses names for these marks.
std::string MarksDigest(const EntryMarks& marks);

// Replaces the file as one of those a Save replaces together, with the
// addresses that forEachAddress hands its sink one by one: a Save keeps no
// list of them, nor the whole file in memory; then those in notInList. With
// no addresses it removes the file instead, since no file and no entry
// marked sent say the same. column: as SentAddresses has it.
using AddressSink = std::function<void(std::string_view address)>;
Status WriteSentAddresses(AtomicFileGroup& files, const std::string& path,
                          std::string_view marksDigest,
                          const std::function<void(const AddressSink&)>& forEachAddress,
                          const std::vector<std::string>& notInList = {},
                          std::string_view column = {});
// The same, each address handed with its row's digest.
using SentRowSink = std::function<void(std::string_view address, std::string_view row)>;
Status WriteSentRows(AtomicFileGroup& files, const std::string& path, std::string_view marksDigest,
                     const std::function<void(const SentRowSink&)>& forEachRow,
                     const std::vector<std::string>& notInList = {},
                     std::string_view column = {});
// Nothing when there is no file; an error when it cannot be read or is damaged.
// notInListOnly: the addresses may be left out when none is in notInList.
Result<std::optional<SentAddresses>> ReadSentAddresses(const std::string& path,
                                                       bool notInListOnly = false);

}  // namespace postrider
