#include "project/send_journal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

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

// A new or removed name is durable only once its folder is on disk too: 0,
// or the errno of a failed sync. A file system that cannot sync a folder at
// all is taken at its word.
int SyncFolderOf(const std::string& path) {
  const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  const int error = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  // fsync(2): EINVAL and EROFS alike say the file cannot be synced.
  return error == EINVAL || error == EROFS || error == ENOTSUP ? 0 : error;
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

int WriteAllAt(int fd, std::string_view bytes, off_t at) {
  while (!bytes.empty()) {
    const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), at);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    at += written;
  }
  return 0;
}

// A last line without its line end was cut short by a power cut, or is the
// zero bytes allocated ahead of a writer that was killed; it is dropped, so
// that what is added next starts a line of its own. Read from the end in
// blocks: such a tail can be a whole chunk long. *end is the length kept.
int CutTornTail(int fd, off_t* end) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return errno;
  constexpr off_t kBlock = 64 * 1024;
  std::vector<char> block;
  off_t kept = info.st_size;
  while (kept > 0) {
    const off_t from = (kept - 1) / kBlock * kBlock;
    block.resize(static_cast<std::size_t>(kept - from));
    const ssize_t got = pread(fd, block.data(), block.size(), from);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    const void* lineEnd = memrchr(block.data(), '\n', static_cast<std::size_t>(got));
    if (lineEnd != nullptr) {
      kept = from + (static_cast<const char*>(lineEnd) - block.data()) + 1;
      break;
    }
    kept = from;
  }
  if (end != nullptr) *end = kept;
  if (kept == info.st_size) return 0;
  return ftruncate(fd, kept) == 0 ? 0 : errno;
}

// Big enough that growing is rare (some thousands of messages a chunk),
// small enough that the zero tail a kill leaves is cheap to read past.
constexpr off_t kChunk = 1024 * 1024;

// Room for the outcomes once no more can be allocated, many times what one
// takes: an address, its entry and status.
constexpr off_t kReserve = 64 * 1024;

// Where a failed allocation or mapping means the file system (or the
// address space) offers none, not that the disk is full: the records then
// go by plain writes.
bool UnsupportedHere(int error) {
  return error == EOPNOTSUPP || error == ENOSYS || error == ENODEV || error == EINVAL ||
         error == EACCES || error == EPERM || error == ENOMEM;
}

}  // namespace

Result<std::unique_ptr<SendJournal>> SendJournal::Open(const std::string& path) {
  if (Status folder = EnsureParentFolder(path); !folder) return folder;
  bool created = false;
  // Read too, to find a torn last line. Not O_APPEND: records go where the
  // journal's own end says, through the mapping.
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
  off_t end = 0;
  int error = 0;
  if (created) {
    const std::string start = EncodeJournalRecord(journal_kind::kFileStart, {{"version", "1"}});
    error = WriteAll(fd, start);
    end = static_cast<off_t>(start.size());
  } else {
    error = CutTornTail(fd, &end);
  }
  if (error != 0) {
    close(fd);
    if (created) unlink(path.c_str());
    return JournalError(path, error);
  }
  // The new file reaches the disk with the flusher's first flush, within the
  // second the records may wait anyway.
  return std::unique_ptr<SendJournal>(new SendJournal(path, fd, created, end));
}

SendJournal::SendJournal(std::string path, int fd, bool created, off_t end)
    : path_(std::move(path)),
      fd_(fd),
      created_(created),
      end_(end),
      allocated_(end),
      syncData_(fdatasync),
      folderUnsynced_(created) {
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
    WritePending(pending_.size());
  }
  // Best effort: a run's end is flushed by RunEnded, which can say it failed;
  // what is written here (a run the journal already stopped, or one closed
  // without its end) has nobody left to tell.
  if (dirty_.exchange(false) && !discard) Flush();
  Unmap();
  // The zero bytes allocated ahead go (a crash before this leaves them to
  // the reader), and so does what a failed allocation may have added.
  struct stat info {};
  if (!discard && fstat(fd_, &info) == 0 && info.st_size > end_) ftruncate(fd_, end_);
  close(fd_);
  if (discard) {
    unlink(path_.c_str());
    if (!folderUnsynced_) SyncFolderOf(path_);
  }
}

// Linux's page cache is one for the mapping and the file, so fdatasync
// writes the copied records too.
int SendJournal::Flush() {
  std::lock_guard lock(flushMutex_);
  int result = 0;
  while ((result = syncData_(fd_)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    const int error = errno != 0 ? errno : EIO;
    int none = 0;
    flushError_.compare_exchange_strong(none, error);
  }
  if (const int error = flushError_.load()) return error;
  // Until a new journal's name is on disk, a crash would take every record
  // with it: the run must not go on as if they were kept.
  if (folderUnsynced_.load()) {
    if (const int error = SyncFolderOf(path_)) {
      int none = 0;
      flushError_.compare_exchange_strong(none, error);
      return flushError_.load();
    }
    folderUnsynced_ = false;
  }
  return 0;
}

const Status& SendJournal::Broken() {
  if (broken_) {
    if (const int error = flushError_.load()) broken_ = JournalError(path_, error);
  }
  return broken_;
}

void SendJournal::FlushLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; });
    if (stopping_) break;
    // Each call writes its own records; any left would be written here.
    if (pending_.size() != 0) WritePending(pending_.size());
    if (dirty_.exchange(false)) {
      lock.unlock();
      const int error = Flush();
      lock.lock();
      // Records the run counts as kept may be lost: the next hand-over is
      // refused, as after a failed append.
      if (error != 0) Broken();
    }
  }
}

void SendJournal::AddRecord(std::string_view kind, std::initializer_list<JournalField> fields) {
  char* const start = pending_.Room(JournalRecordRoom(kind, fields));
  pending_.Commit(static_cast<std::size_t>(WriteJournalRecord(start, kind, fields) - start));
}

Status SendJournal::WritePending(std::size_t settled) {
  if (!Broken()) {
    pending_.clear();
    return broken_;
  }
  if (pending_.size() == 0) return Status::Ok();
  const std::string_view records = pending_.view();
  const int error = Append(records, settled >= records.size());
  if (error != 0 && map_ != nullptr && !unmapped_) {
    // The disk is full: the outcomes still go down, as many whole ones as
    // the reserve holds (the first is the message the server took last),
    // and only the hand-over after them is refused.
    std::string_view kept = records.substr(0, settled);
    const auto room = static_cast<std::size_t>(mapStart_ + static_cast<off_t>(mapLength_) - end_);
    if (kept.size() > room) {
      kept = room == 0 ? std::string_view() : kept.substr(0, kept.rfind('\n', room - 1) + 1);
    }
    if (!kept.empty() && Append(kept, true) == 0) dirty_.store(true, std::memory_order_release);
  }
  pending_.clear();
  if (error != 0) {
    broken_ = JournalError(path_, error);
    return broken_;
  }
  dirty_.store(true, std::memory_order_release);
  return Status::Ok();
}

int SendJournal::Append(std::string_view bytes, bool intoReserve) {
  const off_t after = end_ + static_cast<off_t>(bytes.size());
  const off_t mapped = mapStart_ + static_cast<off_t>(mapLength_);
  if (!unmapped_ && (map_ == nullptr || after + kReserve > mapped)) {
    const int error = Grow(after + kReserve);
    if (error != 0 && UnsupportedHere(error)) {
      unmapped_ = true;
    } else if (error != 0 && (!intoReserve || map_ == nullptr || after > mapped)) {
      return error;
    }
  }
  if (unmapped_) {
    if (const int error = WriteAllAt(fd_, bytes, end_)) return error;
  } else {
    std::memcpy(map_ + (end_ - mapStart_), bytes.data(), bytes.size());
  }
  end_ = after;
  return 0;
}

int SendJournal::Allocate(off_t to) {
  int error = 0;
  while ((error = posix_fallocate(fd_, allocated_, to - allocated_)) == EINTR) {
  }
  if (error == 0) allocated_ = to;
  return error;
}

int SendJournal::Grow(off_t needed) {
  // Blocks allocated now cannot run out when the mapping is written later
  // (that would be SIGBUS): a full disk is an error here, before the message.
  if (needed > allocated_) {
    const off_t chunk = (needed + kChunk - 1) / kChunk * kChunk;
    int error = Allocate(chunk);
    // A disk with less than a chunk free still takes what fits on it.
    if (error != 0 && !UnsupportedHere(error) && chunk > needed) error = Allocate(needed);
    if (error != 0) return error;
  }
  Unmap();
  static const off_t page = sysconf(_SC_PAGESIZE);
  const off_t start = end_ / page * page;
  const auto length = static_cast<std::size_t>(allocated_ - start);
  void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, start);
  if (map == MAP_FAILED) return errno;
#ifdef MADV_POPULATE_WRITE
  // One call makes the chunk's pages ready instead of a fault at the first
  // copy into each, on the way from a reply to the next message (a fault
  // costs several times more than this does a page). Best effort: older
  // kernels refuse it and the pages fault in as before.
  madvise(map, length, MADV_POPULATE_WRITE);
#endif
  map_ = static_cast<char*>(map);
  mapStart_ = start;
  mapLength_ = length;
  return 0;
}

void SendJournal::Unmap() {
  if (map_ == nullptr) return;
  munmap(map_, mapLength_);
  map_ = nullptr;
  mapLength_ = 0;
}

Status SendJournal::RunStarted(const JournalIdentity& identity, int start, bool keepSent,
                               const EntryMarks* marks, const ChosenRows* chosen) {
  const std::string entries = std::to_string(identity.entries);
  const std::string size = std::to_string(identity.listSize);
  const std::string fields = std::to_string(identity.fieldsCrc);
  const std::string first = std::to_string(start);
  const StatusClearing which = ClearingForRun(keepSent);
  const std::string cleared =
      marks == nullptr ? std::string()
                       : EntrySetText(start, std::min(identity.entries, kMaxListEntries),
                                      [&](int entry) { return marks->ClearedBy(entry, which); });
  const std::string chosenText = chosen == nullptr ? std::string() : ChosenRowsText(*chosen);
  std::lock_guard lock(mutex_);
  const auto addRun = [&](auto... more) {
    AddRecord(journal_kind::kRun, {JournalField{"project", identity.projectPath},
                                   {"state", identity.entryStatePath},
                                   {"list", identity.listPath},
                                   {"entries", entries},
                                   {"size", size},
                                   {"fields", fields},
                                   {"digest", identity.listDigest},
                                   {"start", first},
                                   {"clear", first},
                                   {"keep", keepSent ? "sent" : "none"},
                                   {"column", identity.mailedColumn},
                                   more...});
  };
  // Without marks the replay goes by the selection it finds.
  if (marks != nullptr && chosen != nullptr) {
    addRun(JournalField{"cleared", cleared}, JournalField{"chosen", chosenText});
  } else if (marks != nullptr) {
    addRun(JournalField{"cleared", cleared});
  } else {
    addRun();
  }
  // A run starts only with room for its outcomes.
  Status status = WritePending(0);
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
// Older readers look each key up by its name and pass over the row's.
Status SendJournal::HandedOver(int entry, std::string_view address, std::string_view row) {
  const Digits index(entry);
  std::lock_guard lock(mutex_);
  const std::size_t settled = pending_.size();
  if (row.empty()) {
    AddRecord(journal_kind::kHandedOver, {{"entry", index.view()}, {"address", address}});
  } else {
    AddRecord(journal_kind::kHandedOver,
              {{"entry", index.view()}, {"address", address}, {"row", row}});
  }
  return WritePending(settled);
}

Status SendJournal::Outcome(int entry, int status, std::string_view address,
                            std::string_view row) {
  const Digits index(entry);
  const Digits value(status);
  std::lock_guard lock(mutex_);
  // A broken journal takes nothing: WritePending drops the record.
  if (row.empty()) {
    AddRecord(journal_kind::kOutcome,
              {{"entry", index.view()}, {"status", value.view()}, {"address", address}});
  } else {
    AddRecord(journal_kind::kOutcome, {{"entry", index.view()},
                                       {"status", value.view()},
                                       {"address", address},
                                       {"row", row}});
  }
  // Written at once: one kept back in memory for the next hand-over is lost
  // to a kill, and the message the server took is then sent again.
  return WritePending(pending_.size());
}

Status SendJournal::RunEnded(int lastIndexSent) {
  const Digits last(lastIndexSent);
  std::lock_guard lock(mutex_);
  AddRecord(journal_kind::kRunEnd, {{"last", last.view()}});
  if (Status status = WritePending(pending_.size()); !status) return status;
  dirty_.store(false);
  // A failure the flusher met counts too, though this flush found none.
  if (Flush() != 0) return Broken();
  return Status::Ok();
}

Status FoldSendJournal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) return Status::Ok();
  bool marked = false;
  if (fd >= 0) {
    marked = CutTornTail(fd, nullptr) == 0 &&
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
  // A journal marked folded and on disk reads as empty should its removal
  // not survive a power cut: only an unmarked one needs its folder synced.
  if (!marked) SyncFolderOf(path);
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

namespace {

// A copy of `from` made at `to`, on disk; 0 or errno.
int CopyToNewFile(const std::string& from, const std::string& to) {
  struct stat info {};
  const int in = OpenFileForReading(from, FinalLink::kRefuse, &info);
  if (in < 0) return errno;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                       info.st_mode & 0777);
  if (out < 0) {
    const int error = errno;
    close(in);
    return error;
  }
  int error = 0;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t got = read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    error = WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    if (error != 0) break;
  }
  if (error == 0 && fsync(out) != 0) error = errno;
  if (close(out) != 0 && error == 0) error = errno;
  close(in);
  return error;
}

}  // namespace

SendJournalMove::SendJournalMove(std::string from, std::string to, bool keepFrom)
    : from_(std::move(from)), to_(std::move(to)), keepFrom_(keepFrom) {}

SendJournalMove::~SendJournalMove() {
  if (!staged_.empty()) unlink(staged_.c_str());
}

Status SendJournalMove::MoveError(int error) const {
  return Status::Error("Cannot move the send journal \"" + from_ + "\" to \"" + to_ +
                       "\": " + DescribeWriteError(error));
}

Status SendJournalMove::Stage() {
  struct stat info {};
  if (from_.empty()) return Status::Ok();
  if (lstat(from_.c_str(), &info) != 0) return errno == ENOENT ? Status::Ok() : MoveError(errno);
  // The Save holds the lock of the project named `to`: a file of this name
  // is one that a move cut short left behind.
  const std::string staged = to_ + ".moving";
  unlink(staged.c_str());
  // A copy, never a link: a run under the new name appends to its journal,
  // and would write into the old name's record too.
  if (const int error = CopyToNewFile(from_, staged); error != 0) {
    unlink(staged.c_str());
    return MoveError(error);
  }
  staged_ = staged;
  return Status::Ok();
}

Status SendJournalMove::Finish() {
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(to_, error))) {
    if (Result<std::string> aside = SetAsideSendJournal(to_); !aside) return aside.status();
  }
  if (staged_.empty()) return Status::Ok();
  if (rename(staged_.c_str(), to_.c_str()) != 0) return MoveError(errno);
  staged_.clear();
  // The old project's files do not hold the journal's outcomes: it stays
  // there, as it was, for that project to apply when next opened. A nameless
  // project's has nobody else to apply it, and goes once the new name is on
  // disk.
  if (SyncFolderOf(to_) == 0 && !keepFrom_ && unlink(from_.c_str()) == 0) SyncFolderOf(from_);
  return Status::Ok();
}

}  // namespace postrider
