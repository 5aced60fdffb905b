#pragma once

#include <string>
#include <vector>

#include "project/mailing_list.h"

namespace postrider {

// What a project file says that its mailing list or letter contradicts, as
// the document finds it on opening. Each check gives the text the user is
// told, empty when all is well.

struct EmailFieldCheck {
  int index = -1;      // the email field to use
  std::string notice;  // why it differs from the stored index
};

// The field named by EmailFieldString is the email field wherever it stands
// in the list, so reordered columns keep the addresses; without such a field,
// an index outside the list names nothing and becomes -1.
EmailFieldCheck CheckEmailField(const std::string& storedName, int storedIndex,
                                const std::vector<std::string>& fieldNames);

// A resume point past the end of the list would skip every entry; the caller
// then resumes from the first entry.
std::string CheckLastIndexSent(int lastIndexSent, int entryCount);

// Why an open list gives no entries.
std::string WhyTheListHasNoEntries(const std::string& path, const ListHeader& header);
// The list types that have no reader.
std::string UnreadableListTypeNotice(int listSourceType);

// The entries (indices, in order) whose lines are parts of values with line
// breaks, named in runs; empty when there are none.
std::string BrokenValuesNotice(const std::vector<int>& entries);

std::string LetterHeaderNotice(const std::string& path);

}  // namespace postrider
