#include "send/attachment_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/file_open.h"

namespace postrider {
namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

std::int64_t Nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

std::string UnsafeLinkText(const AttachmentPath& path) {
  return "unsafe: a symbolic link in it leads out of " + ShownPathText(path.folder);
}

// Why opening failed, in words that follow the path.
Status OpenFailure(int error) {
  switch (error) {
    case ENOENT:
      return Status::Error("the file does not exist");
    case ENOTDIR:
      return Status::Error("a part of its path is not a folder");
    case EISDIR:
      return Status::Error("it is a folder, not a file");
    case ENXIO:
      return Status::Error("it is not a regular file");
    case EACCES:
    case EPERM:
      return Status::Error("the file cannot be read: " + std::string(std::strerror(error)));
    default:
      return Status::Error("the file cannot be opened: " + std::string(std::strerror(error)));
  }
}

// A descriptor just opened, kept only when it is a regular file.
Result<AttachmentFile> KeepRegular(int fd) {
  struct stat info {};
  int refusal = 0;
  if (::fstat(fd, &info) != 0) {
    refusal = errno;
  } else if (S_ISDIR(info.st_mode)) {
    refusal = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {
    refusal = ENXIO;
  }
  if (refusal != 0) {
    ::close(fd);
    return OpenFailure(refusal);
  }
  // Reads may block as usual from here (a slow network file system).
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return AttachmentFile(fd, info);
}

int OpenFolder(const std::string& folder) {
  int fd = -1;
  do {
    fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

Status FolderFailure(const AttachmentPath& path, int error) {
  if (error == ENOENT) return Status::Error("its folder " + ShownPathText(path.folder) + " does not exist");
  return Status::Error("its folder " + ShownPathText(path.folder) +
                       " cannot be opened: " + std::strerror(error));
}

// openat2 keeps every step of the walk, links and ".." included, inside the
// folder; -2 when this kernel or sandbox does not offer it.
int OpenBeneath(int folder, const std::string& beneath) {
  struct open_how how {};
  how.flags = static_cast<std::uint64_t>(kReadFlags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd = -1;
  do {
    fd = ::syscall(SYS_openat2, folder, beneath.c_str(), &how, sizeof how);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && (errno == ENOSYS || errno == EPERM || errno == E2BIG)) return -2;
  return static_cast<int>(fd);
}

Result<AttachmentFile> OpenFromList(const AttachmentPath& path) {
  if (path.beneath.empty()) return OpenFailure(EISDIR);
  const int folder = OpenFolder(path.folder);
  if (folder < 0) return FolderFailure(path, errno);
  const int fd = OpenBeneath(folder, path.beneath);
  const int error = errno;
  ::close(folder);
  if (fd == -2) return detail::OpenBeneathByRealPath(path);
  if (fd < 0) {
    if (error == EXDEV || error == ELOOP) return Status::Error(UnsafeLinkText(path));
    return OpenFailure(error);
  }
  return KeepRegular(fd);
}

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

}  // namespace

FileIdentity FileIdentity::Of(const struct stat& info) {
  FileIdentity identity;
  identity.device = static_cast<std::uint64_t>(info.st_dev);
  identity.inode = static_cast<std::uint64_t>(info.st_ino);
  identity.size = static_cast<std::int64_t>(info.st_size);
  identity.modifiedNs = Nanoseconds(info.st_mtim);
  identity.changedNs = Nanoseconds(info.st_ctim);
  return identity;
}

AttachmentFile::~AttachmentFile() {
  if (fd_ >= 0) ::close(fd_);
}

AttachmentFile::AttachmentFile(AttachmentFile&& other) noexcept
    : fd_(other.fd_), info_(other.info_) {
  other.fd_ = -1;
}

AttachmentFile& AttachmentFile::operator=(AttachmentFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    info_ = other.info_;
    other.fd_ = -1;
  }
  return *this;
}

bool AttachmentFile::ChangedAfter(const struct timespec& since) const {
  return Nanoseconds(info_.st_ctim) > Nanoseconds(since);
}

struct timespec FileClockNow() {
  // The fine clock: a file stamped from the coarse one before this moment
  // never seems changed after it.
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

Result<AttachmentFile> OpenAttachmentFile(const AttachmentPath& path) {
  if (!path.unsafe.empty()) return Status::Error("unsafe: " + path.unsafe);
  if (path.TakesListValues()) return OpenFromList(path);
  if (path.path.empty()) return OpenFailure(ENOENT);
  // A path the user wrote may lead wherever the user wants it to.
  const int fd = OpenFileForReading(path.path);
  if (fd < 0) return OpenFailure(errno);
  struct stat info {};
  ::fstat(fd, &info);
  return AttachmentFile(fd, info);
}

namespace detail {

Result<AttachmentFile> OpenBeneathByRealPath(const AttachmentPath& path) {
  const std::unique_ptr<char, FreeDeleter> folder(::realpath(path.folder.c_str(), nullptr));
  if (!folder) return FolderFailure(path, errno);
  const std::string full = path.folder + path.beneath;
  const std::unique_ptr<char, FreeDeleter> real(::realpath(full.c_str(), nullptr));
  if (!real) return OpenFailure(errno);
  const std::string inside = std::string(folder.get()) + "/";
  if (std::string_view(real.get()).substr(0, inside.size()) != inside) {
    return Status::Error(UnsafeLinkText(path));
  }
  // The real path holds no link; one put there since is not followed.
  int fd = -1;
  do {
    fd = ::open(real.get(), kReadFlags | O_NOFOLLOW);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ELOOP ? Status::Error(UnsafeLinkText(path)) : OpenFailure(errno);
  return KeepRegular(fd);
}

}  // namespace detail

}  // namespace postrider
