#include "project/entry_number.h"

#include <atomic>

namespace postrider {
namespace {

std::atomic<int> firstNumber{1};

}  // namespace

void NumberEntriesFrom(int first) { firstNumber = first; }

std::string EntryNumberText(int entry) { return std::to_string(entry + firstNumber.load()); }

}  // namespace postrider
