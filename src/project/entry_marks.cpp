#include "project/entry_marks.h"

#include <algorithm>

namespace postrider {

namespace {

std::size_t ClampIndex(int index) {
  return static_cast<std::size_t>(std::clamp(index, 0, kMaxListEntries));
}

}  // namespace

void EntryMarks::SetStatus(int index, int status) {
  auto& mark = marks_[static_cast<std::size_t>(index)];
  mark = static_cast<std::uint8_t>((mark & ~kStatusBits) | (status & kStatusBits));
}

void EntryMarks::ToggleSelection(int index) { marks_[static_cast<std::size_t>(index)] ^= kSelectionBit; }

void EntryMarks::SetSelection(int index, bool selected) {
  auto& mark = marks_[static_cast<std::size_t>(index)];
  mark = static_cast<std::uint8_t>(selected ? (mark | kSelectionBit) : (mark & ~kSelectionBit));
}

void EntryMarks::SetSelectionRange(int first, int end, bool selected) {
  for (std::size_t i = ClampIndex(first), e = ClampIndex(end); i < e; ++i) {
    marks_[i] = static_cast<std::uint8_t>(selected ? (marks_[i] | kSelectionBit)
                                                   : (marks_[i] & ~kSelectionBit));
  }
}

void EntryMarks::ClearStatusRange(int first, int end, StatusClearing which) {
  for (std::size_t i = ClampIndex(first), e = ClampIndex(end); i < e; ++i) {
    if (!ClearedBy(static_cast<int>(i), which)) continue;
    marks_[i] = static_cast<std::uint8_t>(marks_[i] & ~kStatusBits);
  }
}

int EntryMarks::FirstAwaitingSending(int entryCount) const {
  for (int i = 0, end = static_cast<int>(ClampIndex(entryCount)); i < end; ++i) {
    if (AwaitsSending(i)) return i;
  }
  return -1;
}

int EntryMarks::CountSelected(int entryCount) const {
  const auto end = marks_.begin() + static_cast<std::ptrdiff_t>(ClampIndex(entryCount));
  return static_cast<int>(std::count_if(marks_.begin(), end,
                                        [](std::uint8_t m) { return (m & kSelectionBit) != 0; }));
}

}  // namespace postrider
