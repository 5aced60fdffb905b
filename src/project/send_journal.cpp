#include "project/send_journal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/file_open.h"
#include "platform/user_paths.h"

namespace postrider {
namespace {

Status JournalError(const std::string& path, int error) {
  return Status::Error("Cannot write the send journal \"" + path + "\": " +
                       DescribeWriteError(error));
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A new or removed name is durable only once its folder is on disk too.
void SyncFolderOf(const std::string& path) {
  const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// A last line without its line end was cut short by a power cut; it is
// dropped, so that what is added next starts a line of its own.
int CutTornTail(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return errno;
  off_t end = info.st_size;
  char byte = 0;
  while (end > 0) {
    const ssize_t got = pread(fd, &byte, 1, end - 1);
    if (got < 0) return errno;
    if (got == 1 && byte == '\n') break;
    --end;
  }
  if (end == info.st_size) return 0;
  return ftruncate(fd, end) == 0 ? 0 : errno;
}

}  // namespace

Result<std::unique_ptr<SendJournal>> SendJournal::Open(const std::string& path) {
  if (Status folder = EnsureParentFolder(path); !folder) return folder;
  bool created = false;
  // Read too, to find a torn last line.
  int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) {
    fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    created = fd >= 0;
  }
  if (fd < 0) return JournalError(path, errno);
  struct stat info {};
  const int statError = fstat(fd, &info) != 0 ? errno : 0;
  if (statError != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    if (statError != 0) return JournalError(path, statError);
    return Status::Error("Cannot write the send journal \"" + path + "\": it is not a file.");
  }
  int error = created ? WriteAll(fd, EncodeJournalRecord(journal_kind::kFileStart,
                                                         {{"version", "1"}}))
                      : CutTornTail(fd);
  if (error != 0) {
    close(fd);
    if (created) unlink(path.c_str());
    return JournalError(path, error);
  }
  // The new file reaches the disk with the flusher's first flush, within the
  // second the records may wait anyway.
  return std::unique_ptr<SendJournal>(new SendJournal(path, fd, created));
}

SendJournal::SendJournal(std::string path, int fd, bool created)
    : path_(std::move(path)), fd_(fd), created_(created), folderUnsynced_(created) {
  dirty_.store(created);
  // Signals are the main thread's business (Ctrl+C, SIGTERM work as Pause).
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  flusher_ = std::thread([this] { FlushLoop(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

SendJournal::~SendJournal() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  flusher_.join();
  // A run that never got as far as the server leaves nothing behind.
  const bool discard = created_ && !wroteRun_;
  if (!discard) {
    std::lock_guard lock(mutex_);
    WritePending();
  }
  if (dirty_.exchange(false) && !discard) Flush();
  close(fd_);
  if (discard) {
    unlink(path_.c_str());
    if (!folderUnsynced_) SyncFolderOf(path_);
  }
}

int SendJournal::Flush() {
  if (fdatasync(fd_) != 0) return errno;
  if (folderUnsynced_.exchange(false)) SyncFolderOf(path_);
  return 0;
}

void SendJournal::FlushLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; });
    if (stopping_) break;
    // Outcomes no hand-over took along.
    if (!pending_.empty()) WritePending();
    if (dirty_.exchange(false)) {
      lock.unlock();
      Flush();
      lock.lock();
    }
  }
}

Status SendJournal::WritePending() {
  if (!broken_) {
    pending_.clear();
    return broken_;
  }
  if (pending_.empty()) return Status::Ok();
  const int error = WriteAll(fd_, pending_);
  pending_.clear();
  if (error != 0) {
    broken_ = JournalError(path_, error);
    return broken_;
  }
  dirty_.store(true, std::memory_order_release);
  return Status::Ok();
}

Status SendJournal::RunStarted(const JournalIdentity& identity, int start, bool keepSent) {
  const std::string entries = std::to_string(identity.entries);
  const std::string size = std::to_string(identity.listSize);
  const std::string fields = std::to_string(identity.fieldsCrc);
  const std::string first = std::to_string(start);
  std::lock_guard lock(mutex_);
  AppendJournalRecord(pending_, journal_kind::kRun,
                      {{"project", identity.projectPath},
                       {"state", identity.entryStatePath},
                       {"list", identity.listPath},
                       {"entries", entries},
                       {"size", size},
                       {"fields", fields},
                       {"digest", identity.listDigest},
                       {"start", first},
                       {"clear", first},
                       {"keep", keepSent ? "sent" : "none"}});
  Status status = WritePending();
  if (status) wroteRun_ = true;
  return status;
}

namespace {

// A small number as text without an allocation.
struct Digits {
  explicit Digits(int value) {
    length = static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text);
  }
  std::string_view view() const { return {text, length}; }
  char text[16];
  std::size_t length;
};

}  // namespace

// Written once per message each, so without allocations.
Status SendJournal::HandedOver(int entry, std::string_view address) {
  const Digits index(entry);
  std::lock_guard lock(mutex_);
  AppendJournalRecord(pending_, journal_kind::kHandedOver,
                      {{"entry", index.view()}, {"address", address}});
  return WritePending();
}

Status SendJournal::Outcome(int entry, int status, std::string_view address) {
  const Digits index(entry);
  const Digits value(status);
  std::lock_guard lock(mutex_);
  if (!broken_) return broken_;
  AppendJournalRecord(pending_, journal_kind::kOutcome,
                      {{"entry", index.view()}, {"status", value.view()}, {"address", address}});
  return Status::Ok();
}

Status SendJournal::RunEnded(int lastIndexSent) {
  const Digits last(lastIndexSent);
  std::lock_guard lock(mutex_);
  AppendJournalRecord(pending_, journal_kind::kRunEnd, {{"last", last.view()}});
  if (Status status = WritePending(); !status) return status;
  dirty_.store(false);
  if (const int error = Flush()) {
    broken_ = JournalError(path_, error);
    return broken_;
  }
  return Status::Ok();
}

Status FoldSendJournal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) return Status::Ok();
  bool marked = false;
  if (fd >= 0) {
    marked = CutTornTail(fd) == 0 &&
             WriteAll(fd, EncodeJournalRecord(journal_kind::kFolded, {})) == 0 &&
             fdatasync(fd) == 0;
    close(fd);
  }
  if (unlink(path.c_str()) != 0) {
    const int error = errno;
    if (error == ENOENT || marked) return Status::Ok();  // a folded journal is read as empty
    return Status::Error("Cannot remove the send journal \"" + path + "\": " +
                         std::strerror(error));
  }
  SyncFolderOf(path);
  return Status::Ok();
}

Result<std::string> SetAsideSendJournal(const std::string& path) {
  for (int n = 1; n <= 1000; ++n) {
    const std::string aside = path + ".unfit" + (n == 1 ? "" : std::to_string(n));
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(aside, error))) continue;
    if (rename(path.c_str(), aside.c_str()) != 0) {
      return Status::Error("Cannot move the send journal \"" + path + "\" aside: " +
                           std::strerror(errno));
    }
    SyncFolderOf(path);
    return aside;
  }
  return Status::Error("Cannot move the send journal \"" + path +
                       "\" aside: too many journals are set aside beside it.");
}

}  // namespace postrider
