#pragma once

#include <string>

#include "platform/atomic_file.h"
#include "platform/status.h"
#include "project/entry_marks.h"

namespace postrider {

// The entry state file is the block of entry marks, 32000 bytes whatever the
// entry count. A shorter file sets the marks it holds and leaves the rest zero.
Status ReadEntryStateFile(const std::string& path, EntryMarks& marks);
Status WriteEntryStateFile(const std::string& path, const EntryMarks& marks);
// As one of the files a Save replaces together.
Status WriteEntryStateFile(AtomicFileGroup& files, const std::string& path,
                           const EntryMarks& marks);

}  // namespace postrider
