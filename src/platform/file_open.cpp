#include "platform/file_open.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace postrider {
namespace {

// O_NOCTTY: a terminal opened by mistake must not become the program's own.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// A descriptor just opened without blocking, kept only when it is a regular
// file; -1 with errno set, and the descriptor closed, otherwise.
int KeepRegularFile(int fd, struct stat* info) {
  struct stat found {};
  int refusal = 0;
  if (::fstat(fd, &found) != 0) {
    refusal = errno;
  } else if (S_ISDIR(found.st_mode)) {
    refusal = EISDIR;
  } else if (!S_ISREG(found.st_mode)) {
    refusal = ENXIO;
  }
  if (refusal != 0) {
    ::close(fd);
    errno = refusal;
    return -1;
  }
  // Reads and writes of what is left may block as usual (a slow network file system).
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (info != nullptr) *info = found;
  return fd;
}

}  // namespace

int OpenFileForReading(const std::string& path, FinalLink link, struct stat* info) {
  const int flags = kReadFlags | (link == FinalLink::kRefuse ? O_NOFOLLOW : 0);
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  return KeepRegularFile(fd, info);
}

int OpenFileForReadingBeneath(int folder, const std::string& beneath, struct stat* info) {
  struct open_how how {};
  how.flags = static_cast<std::uint64_t>(kReadFlags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd = -1;
  do {
    fd = ::syscall(SYS_openat2, folder, beneath.c_str(), &how, sizeof how);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // Seccomp sandboxes refuse system calls they do not know with EPERM.
    if (errno == EPERM || errno == E2BIG) errno = ENOSYS;
    return -1;
  }
  return KeepRegularFile(static_cast<int>(fd), info);
}

std::string DescribeOpenError(int error) {
  if (error == ENXIO) return "it is not a regular file";
  return std::strerror(error);
}

int OpenFileForAppending(const std::string& path, unsigned mode) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                static_cast<mode_t>(mode));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // A folder cannot be opened for writing: whatever else is refused is ENXIO.
  return KeepRegularFile(fd, nullptr);
}

bool IsSymbolicLink(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string DescribeWriteError(int error) {
  if (error == ELOOP) {
    return "it is a symbolic link, and Postrider writes no file through one";
  }
  return DescribeOpenError(error);
}

}  // namespace postrider
