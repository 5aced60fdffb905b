#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>

#include "platform/status.h"
#include "send/attachment_path.h"

namespace postrider {

// What tells one version of a file from another.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;  // ctime: any write, rename or change of its modes

  static FileIdentity Of(const struct stat& info);
  bool operator==(const FileIdentity&) const = default;
};

// A file named by an attachment line, open for reading.
class AttachmentFile {
 public:
  AttachmentFile(int fd, const struct stat& info) : fd_(fd), info_(info) {}
  ~AttachmentFile();
  AttachmentFile(AttachmentFile&& other) noexcept;
  AttachmentFile& operator=(AttachmentFile&& other) noexcept;
  AttachmentFile(const AttachmentFile&) = delete;
  AttachmentFile& operator=(const AttachmentFile&) = delete;

  int fd() const { return fd_; }
  std::uint64_t size() const { return static_cast<std::uint64_t>(info_.st_size); }
  FileIdentity identity() const { return FileIdentity::Of(info_); }
  // Whether it was written, renamed or had its modes changed after `since`
  // (a FileClockNow()). A change within the clock tick after `since` may be
  // stamped with a time before it and pass unseen; none before it is seen.
  bool ChangedAfter(const struct timespec& since) const;

 private:
  int fd_ = -1;
  struct stat info_ {};
};

// Opens the file an attachment path names, without ever blocking on it and
// never for a path found unsafe. A path that takes list values is opened
// beneath its folder only: a symbolic link that leads out of the folder makes
// it unsafe, and the file it points to is not opened. The error says why, in
// words that follow the path: "the file does not exist", "it is a folder, not
// a file", "unsafe: ...".
Result<AttachmentFile> OpenAttachmentFile(const AttachmentPath& path);

// Now, as the file system's times count it.
struct timespec FileClockNow();

namespace detail {
// The same beneath a folder, without openat2 (kernels before 5.6, or where a
// sandbox refuses it): the path's real form must lie inside the folder's.
Result<AttachmentFile> OpenBeneathByRealPath(const AttachmentPath& path);
}  // namespace detail

}  // namespace postrider
