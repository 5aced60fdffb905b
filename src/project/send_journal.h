#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/byte_buffer.h"
#include "platform/status.h"
#include "project/entry_marks.h"
#include "project/send_journal_format.h"

namespace postrider {

// The send journal as a run writes it: what the run started from, each
// entry's outcome, the message in flight, the run's end. Each record is
// appended when it is made, an outcome too, not kept back for the next
// hand-over: a kill while the run waits loses none. A flusher thread puts
// the records on disk at least once a second, and the run's end before
// RunEnded returns, so a power cut loses at most the last second. A flush
// that fails (the kernel may then drop the failed pages' error, and the
// records with it) breaks the journal as a failed append does: the next
// hand-over is refused. Outcomes only: the user's edits reach disk by Save.
// An append is a copy into a shared mapping of the file's tail, allocated a
// chunk ahead, so a message costs no system call of the journal's; a full
// disk shows when a chunk is allocated (on a disk without room for one, only
// what is needed is). The last stretch allocated is kept for outcomes: a
// hand-over that would eat into it is refused when no more can be had, while
// outcomes still go down into it, so a message the server took is never
// lost for the one held back. Closed, the file is cut back to its
// records; after a kill the rest of the chunk stays, zero bytes the reader
// drops as a torn last line.
class SendJournal {
 public:
  // Opens the journal at path to add to it, making it (folder included) when
  // there is none yet. A failure names the path and the reason.
  static Result<std::unique_ptr<SendJournal>> Open(const std::string& path);
  ~SendJournal();
  SendJournal(const SendJournal&) = delete;
  SendJournal& operator=(const SendJournal&) = delete;

  // Statuses from `start` to the list's end are cleared, as the run does;
  // with keepSent (a resumed run), those marked sent stay. With marks (as
  // they stand when the run clears them), the entries it clears are named:
  // the selection they follow need not be the one on disk. With chosen (a
  // selection not saved), who it chose, for a list edited before the
  // journal is read.
  Status RunStarted(const JournalIdentity& identity, int start, bool keepSent = false,
                    const EntryMarks* marks = nullptr, const ChosenRows* chosen = nullptr);
  // The whole message is with the server and its answer not yet back:
  // written before the end of the data goes out, so that whatever happens
  // next, the entry is either known or named as possibly delivered. row:
  // the digest of the entry's values, none when unknown.
  Status HandedOver(int entry, std::string_view address, std::string_view row = {});
  // What became of the entry: its new status, or StatusNone for a message
  // handed over that the server then refused. The address (and row) let a
  // list that changed since be matched by recipient. Written at once (into
  // the reserve if need be), put on disk by the flusher.
  Status Outcome(int entry, int status, std::string_view address = {},
                 std::string_view row = {});
  // On disk when it returns.
  Status RunEnded(int lastIndexSent);

  const std::string& path() const { return path_; }

 private:
  SendJournal(std::string path, int fd, bool created, off_t end);
  // Adds a record to pending_; mutex_ held.
  void AddRecord(std::string_view kind, std::initializer_list<JournalField> fields);
  // Writes the records waiting in pending_ in one append; the first
  // `settled` bytes of them are outcomes, which may go into the reserve.
  // mutex_ held.
  Status WritePending(std::size_t settled);
  // Adds bytes at end_, keeping the reserve free unless intoReserve; 0 or
  // errno.
  int Append(std::string_view bytes, bool intoReserve);
  // Allocates the file up to at least `needed` bytes and maps its tail from
  // end_ on; 0 or errno.
  int Grow(off_t needed);
  // Allocates the file from allocated_ up to `to` bytes; 0 or errno.
  int Allocate(off_t to);
  void Unmap();
  // Puts what was written on disk (the new file's name too); 0 or errno.
  // Once one has failed, every later one fails with the same error: the
  // kernel tells a failed writeback only once, to whichever flush came first.
  int Flush();
  void FlushLoop();
  // broken_, or the error of a failed flush once it is known; mutex_ held.
  const Status& Broken();

  // The call that puts the file's data on disk; a unit test of this class
  // puts a failing one in its place.
  friend struct SendJournalTestSeam;
  using SyncCall = int (*)(int fd);

  std::string path_;
  int fd_;
  bool created_;      // this Open made the file
  bool wroteRun_ = false;

  // The file: records up to end_, zero bytes allocated up to allocated_, of
  // which mapLength_ from mapStart_ on are mapped at map_. Where the file
  // system maps no files, unmapped_ and records go by pwrite.
  off_t end_;
  off_t allocated_;
  off_t mapStart_ = 0;
  std::size_t mapLength_ = 0;
  char* map_ = nullptr;
  bool unmapped_ = false;

  // Guards broken_, pending_, stopping_ and the file's tail: the flusher
  // writes too.
  std::mutex mutex_;
  Status broken_ = Status::Ok();  // the first failed write; nothing is written after it
  // Whole records not yet written, in a buffer kept from one to the next.
  ByteBuffer pending_{512};

  // One flush at a time, so that the error of a failed one is kept before
  // the next can succeed. Taken after mutex_, never before it.
  std::mutex flushMutex_;
  SyncCall syncData_;             // guarded by flushMutex_
  std::atomic<int> flushError_{0};  // the first failed flush's errno

  std::atomic<bool> dirty_{false};
  std::atomic<bool> folderUnsynced_;  // a new file's name is not yet on disk
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread flusher_;
};

// Puts the journal's outcomes behind a Save: marks them taken in, then
// removes the file. No journal is no error.
Status FoldSendJournal(const std::string& path);

// Moves a journal out of the way, to "<path>.unfit" (or .unfit2, ...):
// that of a project a Save As writes over. Returns where it went.
Result<std::string> SetAsideSendJournal(const std::string& path);

// A journal that goes with its project to a new name when a Save leaves it
// unfolded. Stage, before the Save's files are committed, puts a copy of it
// on disk beside the new name (never a link: each name's runs write their own
// journal), so a journal that cannot go there fails the Save while nothing
// has changed. Finish, after the commit, puts the copy in place; the old
// project's journal stays as it was, and only an untitled project's is
// removed. Staged and never finished, the copy is removed again.
class SendJournalMove {
 public:
  // keepFrom: the old journal is a project's own and stays; an untitled
  // project's has nobody else to apply it and goes.
  SendJournalMove(std::string from, std::string to, bool keepFrom);
  ~SendJournalMove();
  SendJournalMove(const SendJournalMove&) = delete;
  SendJournalMove& operator=(const SendJournalMove&) = delete;

  // No journal at `from` is nothing to stage, and no error.
  Status Stage();
  // A journal already at `to` belongs to the project saved over: it is set
  // aside as SetAsideSendJournal does, never removed.
  Status Finish();
  const std::string& from() const { return from_; }

 private:
  Status MoveError(int error) const;

  std::string from_;
  std::string to_;
  std::string staged_;
  bool keepFrom_ = true;
};

}  // namespace postrider
