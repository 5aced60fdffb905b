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

}  // namespace postrider
