#pragma once

#include <array>
#include <cstdint>

namespace postrider {

// Send status values, bits 0-3 of an entry mark.
enum SendStatus : int {
  StatusNone = 0,
  StatusSent = 1,
  StatusBadAddress = 2,
  StatusHalted = 3,
};

constexpr int kMaxListEntries = 32000;

// Whose status a clearing takes. A run clears only the entries it takes up:
// the mark of one it passes by may be the only record that it was mailed.
enum class StatusClearing {
  kEveryEntry,       // Clear Status
  kSelected,         // a run from the start
  kSelectedNotSent,  // a resumed run, which passes over those marked sent
};
inline StatusClearing ClearingForRun(bool resume) {
  return resume ? StatusClearing::kSelectedNotSent : StatusClearing::kSelected;
}

// One byte per list entry: bit 7 selects the entry as a recipient, bits 0-3 hold
// the send status, bits 4-6 are carried along untouched. The block is the entry
// state file's content byte for byte, so it always has room for every entry.
class EntryMarks {
 public:
  static constexpr std::uint8_t kSelectionBit = 0x80;
  static constexpr std::uint8_t kStatusBits = 0x0F;

  using Block = std::array<std::uint8_t, kMaxListEntries>;

  EntryMarks() { Clear(); }

  void Clear() { marks_.fill(0); }

  std::uint8_t Mark(int index) const { return marks_[static_cast<std::size_t>(index)]; }
  bool IsSelected(int index) const { return (Mark(index) & kSelectionBit) != 0; }
  int Status(int index) const { return Mark(index) & kStatusBits; }

  void SetStatus(int index, int status);
  void ToggleSelection(int index);
  void SetSelection(int index, bool selected);
  // Bulk forms over entries [first, end); ends are clamped to the block.
  void SetSelectionRange(int first, int end, bool selected);
  void ClearStatusRange(int first, int end, StatusClearing which = StatusClearing::kEveryEntry);
  // Whether that clearing takes the entry's status.
  bool ClearedBy(int index, StatusClearing which) const {
    if (which == StatusClearing::kEveryEntry) return true;
    return IsSelected(index) &&
           !(which == StatusClearing::kSelectedNotSent && Status(index) == StatusSent);
  }
  int CountSelected(int entryCount) const;
  // Whether a send has yet to take the entry up: selected, and neither sent
  // nor refused as a bad address.
  bool AwaitsSending(int index) const {
    return IsSelected(index) && Status(index) != StatusSent && Status(index) != StatusBadAddress;
  }
  // The first entry below entryCount that awaits sending, -1 when none does.
  int FirstAwaitingSending(int entryCount) const;

  const Block& block() const { return marks_; }
  Block& block() { return marks_; }

 private:
  Block marks_;
};

}  // namespace postrider
