#include "project/entry_state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/file_open.h"

namespace postrider {

Status ReadEntryStateFile(const std::string& path, EntryMarks& marks) {
  // Only the block's size is read, however large the file.
  const int fd = OpenFileForReading(path);
  std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "rb");
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
