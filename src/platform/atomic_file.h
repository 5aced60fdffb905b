#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace postrider {

// Who may read a file written: as the file it replaces allowed (a new one:
// 0666 less the umask), or its owner only, group and others losing every bit.
enum class FileReaders { AsBefore, OwnerOnly };

// Replaces the file at path with bytes so that a crash or a full disk leaves
// either the old file or the new one, never a mixture: the bytes go to a
// temporary file in the same folder, are flushed to disk and renamed over the
// old file. An existing file keeps its permission bits (and, where allowed,
// its owner); a new one gets 0666 less the umask. A symbolic link at path is
// refused, neither followed nor replaced. A failure names the path and the
// reason.
Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           FileReaders readers = FileReaders::AsBefore);

// Files replaced together, each as WriteFileAtomically replaces one, but
// with each folder put on disk once for all rather than once a file. Write
// puts every new content under a temporary name and starts writing it to
// disk; Commit waits until all are on disk (a failure there, as in Write,
// leaves all the old files as they were), then renames (and removes) in the
// order given, and syncs the folders. The last file is the
// one that names the others: every other folder is synced before it is
// renamed, and its own folder after, so a crash never leaves it pointing at a
// file that is not on disk. Within one folder the renames reach the disk in
// the order they were made (the file system's journal commits them so).
// Temporary files of a group never committed are removed.
class AtomicFileGroup {
 public:
  AtomicFileGroup() = default;
  ~AtomicFileGroup();
  AtomicFileGroup(const AtomicFileGroup&) = delete;
  AtomicFileGroup& operator=(const AtomicFileGroup&) = delete;

  // The new content of path under a temporary name, on its way to the disk.
  Status Write(const std::string& path, std::string_view bytes,
               FileReaders readers = FileReaders::AsBefore);
  // As Write, with the bytes handed over a piece at a time by produce, so a
  // large file is never whole in memory. When produce returns false, path is
  // removed instead.
  using PieceSink = std::function<void(std::string_view piece)>;
  Status WritePieces(const std::string& path, const std::function<bool(const PieceSink&)>& produce,
                     FileReaders readers = FileReaders::AsBefore);
  // path removed in its turn at Commit (none there is no error).
  void Remove(const std::string& path);
  Status Commit();

 private:
  struct Step {
    std::string path;
    std::string temporary;  // empty: a removal
    int fd = -1;            // the temporary file until it is on disk
  };

  // fsync and close every temporary file still open; the first failure.
  Status SyncWritten();
  std::vector<Step> steps_;
};

// The most ReadWholeFile reads: far above any letter, project, journal or
// settings file, far below a size that would exhaust memory.
constexpr std::int64_t kMaxWholeFileRead = std::int64_t{256} << 20;

// The whole content of a file; a failure names the path and the reason. A
// file larger than kMaxWholeFileRead is refused as one.
Result<std::string> ReadWholeFile(const std::string& path);

// As ReadWholeFile, but a file that does not exist is no error: nothing.
Result<std::optional<std::string>> ReadFileIfPresent(const std::string& path);

}  // namespace postrider
