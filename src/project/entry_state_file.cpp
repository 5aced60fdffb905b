#include "project/entry_state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/atomic_file.h"

namespace postrider {

Status ReadEntryStateFile(const std::string& path, EntryMarks& marks) {
  // Only the block's size is read, however large the file.
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return Status::Error("Cannot read \"" + path + "\": " + std::strerror(errno));
  }
  auto& block = marks.block();
  std::fread(block.data(), 1, block.size(), file);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) return Status::Error("Cannot read \"" + path + "\": " + std::strerror(error));
  return Status::Ok();
}

Status WriteEntryStateFile(const std::string& path, const EntryMarks& marks) {
  const auto& block = marks.block();
  return WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
}

}  // namespace postrider
