#include "support/folder_sync_failure.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> failWith{0};
std::atomic<int> failures{0};

}  // namespace

extern "C" int fsync(int fd) {
  struct stat info {};
  if (const int error = failWith.load();
      error != 0 && fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ++failures;
    errno = error;
    return -1;
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace postrider::testing {

FolderSyncFailure::FolderSyncFailure(int error) {
  failures = 0;
  failWith = error;
}

FolderSyncFailure::~FolderSyncFailure() { failWith = 0; }

int FolderSyncFailure::failed() { return failures.load(); }

}  // namespace postrider::testing
