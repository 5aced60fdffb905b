#include "platform/file_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace postrider {

int OpenFileForReading(const std::string& path) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat info {};
  int refusal = 0;
  if (::fstat(fd, &info) != 0) {
    refusal = errno;
  } else if (S_ISDIR(info.st_mode)) {
    refusal = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {
    refusal = ENXIO;
  } else {
    // Reads of what is left may block as usual (a slow network file system).
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (refusal != 0) {
    ::close(fd);
    errno = refusal;
    return -1;
  }
  return fd;
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
  struct stat info {};
  int refusal = 0;
  if (::fstat(fd, &info) != 0) {
    refusal = errno;
  } else if (!S_ISREG(info.st_mode)) {
    refusal = ENXIO;
  } else {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (refusal != 0) {
    ::close(fd);
    errno = refusal;
    return -1;
  }
  return fd;
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
