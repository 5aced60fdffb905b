#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "platform/file_open.h"

namespace postrider {
namespace {

// Keeps the temporary file's name within NAME_MAX however long the file's is.
constexpr std::size_t kMaxTempBaseLength = 200;

Status WriteError(const std::string& path, int error) {
  return Status::Error("Cannot write \"" + path + "\": " + DescribeWriteError(error));
}

Status ReadError(const std::string& path, int error) {
  if (error == EFBIG) {
    return Status::Error("Cannot read \"" + path + "\": it is larger than " +
                         std::to_string(kMaxWholeFileRead >> 20) +
                         " MB, more than Postrider reads as one file");
  }
  return Status::Error("Cannot read \"" + path + "\": " + DescribeOpenError(error));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Read from /proc rather than with umask(), which would change it for a
// moment under every other thread.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The rename is durable only once the folder's entry is on disk too: 0, or
// the errno of a failed sync, after which the new name may not survive a
// crash. A file system that cannot sync a folder at all is taken at its word.
int SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  const int error = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  // fsync(2): EINVAL and EROFS alike say the file cannot be synced.
  return error == EINVAL || error == EROFS || error == ENOTSUP ? 0 : error;
}

// Reads everything from path; on failure, errno of the failing call.
int ReadInto(const std::string& path, std::string& bytes) {
  const int fd = OpenFileForReading(path);
  if (fd < 0) return errno;
  // A file of many gigabytes (a sparse one costs nothing on disk) would eat
  // memory without end, or end the program when an allocation fails.
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    if (info.st_size > kMaxWholeFileRead) {
      close(fd);
      return EFBIG;
    }
  }
  int error = 0;
  try {
    if (info.st_size > 0) bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
      }
      if (got == 0) break;
      // The file may grow while it is read.
      if (bytes.size() + static_cast<std::size_t>(got) > kMaxWholeFileRead) {
        error = EFBIG;
        break;
      }
      bytes.append(chunk, static_cast<std::size_t>(got));
    }
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  close(fd);
  if (error != 0) bytes.clear();
  return error;
}

}  // namespace

AtomicFileGroup::~AtomicFileGroup() {
  for (const Step& step : steps_) {
    if (step.fd >= 0) close(step.fd);
    if (!step.temporary.empty()) unlink(step.temporary.c_str());
  }
}

Status AtomicFileGroup::Write(const std::string& path, std::string_view bytes,
                              FileReaders readers) {
  return WritePieces(
      path,
      [bytes](const PieceSink& put) {
        put(bytes);
        return true;
      },
      readers);
}

Status AtomicFileGroup::WritePieces(const std::string& path,
                                    const std::function<bool(const PieceSink&)>& produce,
                                    FileReaders readers) {
  if (path.empty()) return WriteError(path, ENOENT);
  // The rename would replace a link rather than follow it; refusing says
  // why, instead of leaving a file where the user kept a link.
  if (IsSymbolicLink(path)) return WriteError(path, ELOOP);
  const std::string folder = FolderOf(path);

  struct stat existing {};
  const bool exists = lstat(path.c_str(), &existing) == 0;

  std::string tempPath =
      Join(folder, "." + BaseNameOf(path).substr(0, kMaxTempBaseLength) + ".tmp-XXXXXX");
  const int fd = mkstemp(tempPath.data());
  if (fd < 0) return WriteError(path, errno);
  fcntl(fd, F_SETFD, FD_CLOEXEC);

  auto fail = [&](int error, bool isOpen) {
    if (isOpen) close(fd);
    unlink(tempPath.c_str());
    return WriteError(path, error);
  };

  mode_t mode = exists ? existing.st_mode & 07777 : 0666 & ~CurrentUmask();
  if (readers == FileReaders::OwnerOnly) mode &= ~static_cast<mode_t>(077);
  if (exists) {
    // Best effort: only a privileged process may give a file away, and a
    // file that becomes ours is still a good file.
    [[maybe_unused]] const int owned = fchown(fd, existing.st_uid, existing.st_gid);
  }
  if (fchmod(fd, mode) != 0) return fail(errno, true);
  int writeError = 0;
  const bool keep = produce([&](std::string_view piece) {
    if (writeError == 0 && !WriteAll(fd, piece)) writeError = errno;
  });
  if (writeError != 0) return fail(writeError, true);
  if (!keep) {
    close(fd);
    unlink(tempPath.c_str());
    Remove(path);
    return Status::Ok();
  }
  // The disk starts on this file while the next is written; Commit waits for
  // each (fsync) before it renames any, and the file system then commits
  // their metadata together rather than once a file.
  sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  steps_.push_back({path, std::move(tempPath), fd});
  return Status::Ok();
}

Status AtomicFileGroup::SyncWritten() {
  Status status = Status::Ok();
  for (Step& step : steps_) {
    if (step.fd < 0) continue;
    const bool synced = fsync(step.fd) == 0;
    const int error = errno;
    const bool closed = close(step.fd) == 0;
    step.fd = -1;
    if (status && (!synced || !closed)) status = WriteError(step.path, synced ? errno : error);
  }
  return status;
}

void AtomicFileGroup::Remove(const std::string& path) { steps_.push_back({path, {}}); }

Status AtomicFileGroup::Commit() {
  std::vector<std::string> folders;
  const auto note = [&folders](const std::string& folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(folder);
    }
  };
  // A save is told as done only once every name it made is on disk.
  Status status = Status::Ok();
  const auto syncAll = [&folders, &status](const std::string& path) {
    for (const std::string& folder : folders) {
      if (const int error = SyncFolder(folder); error != 0 && status) {
        status = WriteError(path, error);
      }
    }
    folders.clear();
  };
  // Nothing is renamed unless every new content is on disk.
  if (Status synced = SyncWritten(); !synced) return synced;
  for (std::size_t i = 0; i < steps_.size() && status; ++i) {
    Step& step = steps_[i];
    if (i + 1 == steps_.size() && i > 0) {
      const std::string last = FolderOf(step.path);
      std::erase(folders, last);
      syncAll(steps_[i - 1].path);
      if (!status) break;
    }
    if (step.temporary.empty()) {
      if (unlink(step.path.c_str()) != 0 && errno != ENOENT) {
        status = Status::Error("Cannot remove \"" + step.path + "\": " + std::strerror(errno));
      }
    } else if (rename(step.temporary.c_str(), step.path.c_str()) != 0) {
      status = WriteError(step.path, errno);
    } else {
      step.temporary.clear();
    }
    note(FolderOf(step.path));
  }
  // A failure does not undo what was already renamed; the folders of what
  // was are still put on disk.
  if (!steps_.empty()) syncAll(steps_.back().path);
  return status;
}

Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           FileReaders readers) {
  AtomicFileGroup file;
  if (Status written = file.Write(path, bytes, readers); !written) return written;
  return file.Commit();
}

Result<std::string> ReadWholeFile(const std::string& path) {
  std::string bytes;
  if (const int error = ReadInto(path, bytes); error != 0) return ReadError(path, error);
  return bytes;
}

Result<std::optional<std::string>> ReadFileIfPresent(const std::string& path) {
  std::string bytes;
  const int error = ReadInto(path, bytes);
  if (error == ENOENT) return std::optional<std::string>();
  if (error != 0) return ReadError(path, error);
  return std::optional<std::string>(std::move(bytes));
}

}  // namespace postrider
