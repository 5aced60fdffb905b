#include "platform/write_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_open.h"

namespace postrider {
namespace {

Status WriteError(const std::string& path, int error) {
  return Status::Error("Cannot write \"" + path + "\": " + DescribeWriteError(error));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

Status CheckCanWrite(const std::string& path, bool appendToo) {
  if (path.empty()) return WriteError(path, ENOENT);
  // No file is written through a link (see WriteFileAtomically).
  if (IsSymbolicLink(path)) return WriteError(path, ELOOP);
  if (appendToo) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) {
      close(fd);
    } else if (errno != ENOENT) {
      return WriteError(path, errno);
    }
  }
  // Trying is the only honest test: permission bits say nothing of a
  // read-only mount, and nothing at all to root.
  const std::string probe =
      FolderOf(path) + "/.postrider-write-check-" + std::to_string(getpid());
  int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) {
    unlink(probe.c_str());  // left by an earlier process of this number that was killed
    fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  }
  if (fd < 0) return WriteError(path, errno);
  close(fd);
  unlink(probe.c_str());
  return Status::Ok();
}

}  // namespace postrider
