#include "project/entry_state_file.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/file_open.h"

namespace postrider {

namespace {

Status ReadError(const std::string& path, int error) {
  return Status::Error("Cannot read \"" + path + "\": " + DescribeOpenError(error));
}

}  // namespace

Status ReadEntryStateFile(const std::string& path, EntryMarks& marks) {
  // Only the block's size is read, however large the file; the descriptor is
  // read directly, so nothing can fail between opening and closing it.
  const int fd = OpenFileForReading(path);
  if (fd < 0) return ReadError(path, errno);
  auto& block = marks.block();
  std::size_t filled = 0;
  int error = 0;
  while (filled < block.size()) {
    const ssize_t got = ::read(fd, block.data() + filled, block.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (error != 0) return ReadError(path, error);
  return Status::Ok();
}

Status WriteEntryStateFile(AtomicFileGroup& files, const std::string& path,
                           const EntryMarks& marks) {
  const auto& block = marks.block();
  return files.Write(path,
                     std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
}

Status WriteEntryStateFile(const std::string& path, const EntryMarks& marks) {
  AtomicFileGroup file;
  if (Status written = WriteEntryStateFile(file, path, marks); !written) return written;
  return file.Commit();
}

}  // namespace postrider
