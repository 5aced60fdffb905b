#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/status.h"
#include "project/sent_addresses.h"

namespace postrider {

// Who the selected entries are. The entry state file selects by position,
// so once the list's order or size has changed only this tells whom the
// user chose: beside it ("june.prh.selected"), written with it on every
// Save, the address of each selected entry, once per entry (an address
// selected in two rows is there twice). A file of its own, so that older
// programs read "june.prh.sent" as before; it names the marks and the list
// it was written for, so marks or a list saved since by another program are
// never matched with it.
struct SelectedAddresses {
  std::string marksDigest;
  std::string listDigest;
  std::string column;  // as SentAddresses has it
  // The list's entries then, and how many of them were selected.
  int entries = 0;
  int selected = 0;
  // Whether the list was chosen whole (Select All): then it is chosen whole
  // again, rows added since too, and the file names no address. Every row
  // chosen otherwise (a query, marks by hand) chose those people only.
  // Absent from older programs' files, which chose every entry whole.
  std::optional<bool> whole;
  std::vector<std::string> addresses;  // UTF-8, in list order
  // Beside each address, a digest of its entry's values (empty where the
  // file has none): of rows sharing an address, the one chosen is found again.
  std::vector<std::string> rows;

  bool EveryEntry() const { return entries > 0 && selected == entries; }
  bool ChosenWhole() const { return EveryEntry() && whole.value_or(true); }
};

std::string SelectedAddressesPath(const std::string& entryStatePath);

// Replaces the file as one of those a Save replaces together: what `about`
// says but its addresses, then those forEachAddress hands its sink, for
// nothing to be kept per entry. Written even when none is selected, since
// that too is a selection to find again.
Status WriteSelectedAddresses(AtomicFileGroup& files, const std::string& path,
                              const SelectedAddresses& about,
                              const std::function<void(const AddressSink&)>& forEachAddress);
// The same, each address handed with its row's digest.
using SelectedRowSink = std::function<void(std::string_view address, std::string_view row)>;
Status WriteSelectedRows(AtomicFileGroup& files, const std::string& path,
                         const SelectedAddresses& about,
                         const std::function<void(const SelectedRowSink&)>& forEachRow);
// The digest a row's values are known by in that file.
std::string SelectedRowDigest(const std::vector<std::string>& values);
// Nothing when there is no file; an error when it cannot be read or is damaged.
Result<std::optional<SelectedAddresses>> ReadSelectedAddresses(const std::string& path);

}  // namespace postrider
