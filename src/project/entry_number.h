#pragma once

#include <string>

namespace postrider {

// How an entry is numbered where the user reads it. The desktop program
// counts its rows from 1, as Preview and the send's final box do;
// postrider-cli from 0, as its `entries` listing prints them and `compose`
// takes them. Files keep their own numbering, from 0, whatever this says.
void NumberEntriesFrom(int first);

// An entry's index (from 0) as the user reads it.
std::string EntryNumberText(int entry);

}  // namespace postrider
