#include "project/entry_state_file.h"

#include <algorithm>
#include <string_view>

#include "platform/atomic_file.h"

namespace postrider {

Status ReadEntryStateFile(const std::string& path, EntryMarks& marks) {
  Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return bytes.status();
  auto& block = marks.block();
  const std::size_t count = std::min(bytes->size(), block.size());
  std::copy_n(bytes->begin(), count, block.begin());
  return Status::Ok();
}

Status WriteEntryStateFile(const std::string& path, const EntryMarks& marks) {
  const auto& block = marks.block();
  return WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
}

}  // namespace postrider
