#pragma once

#include <ctime>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "send/attachment_path.h"

namespace postrider {

// Why one entry's message (or, for entry -1, every message) cannot carry its
// files.
struct AttachmentProblem {
  static constexpr int kEveryEntry = -1;

  int entry = kEveryEntry;
  std::string recipient;  // the entry's address; empty for every entry
  std::string path;       // the file as filled for the entry, or the line as written
  std::string reason;     // "the file does not exist", "unsafe: ...", ...

  // A problem of the letter itself: unselecting entries cannot mend it.
  bool ForEveryEntry() const { return entry == kEveryEntry; }
};

struct AttachmentCheckOptions {
  std::string relativeTo;                   // the project's folder, for relative paths
  std::optional<std::uint64_t> sizeLimit;   // the server's SIZE, when it gave one
};

// The check before a run: every file the selected entries' messages would
// carry must be a regular file that can be read, a path filled from the
// list must stay inside its folder, and each message must stay within the
// server's SIZE. A file is looked at (opened, never read) once, however many
// entries carry it; a file every message carries is reported once, for
// every entry.
class AttachmentCheck {
 public:
  // The letter and field names as composition reads them (UTF-8).
  AttachmentCheck(std::string_view letter, std::vector<std::string> fieldNames,
                  AttachmentCheckOptions options);

  // Whether the letter has attachment lines: without, nothing is to check.
  bool HasAttachments() const { return !lines_.empty(); }

  // One entry the run will take up: its address, its values (UTF-8, one per
  // list field) and the size of its message without the files.
  void CheckEntry(int entry, std::string_view recipient, const std::vector<std::string>& values,
                  std::uint64_t messageBytes);

  const std::vector<AttachmentProblem>& problems() const { return problems_; }
  // When the check began: AttachmentMessageWriter refuses a file changed since.
  const struct timespec& startedAt() const { return startedAt_; }

 private:
  struct FileFacts {
    std::string problem;  // empty when the file can go
    std::uint64_t partSize = 0;
  };

  const FileFacts& Facts(const AttachmentPath& path);
  void AddLetterProblem(std::string path, std::string reason);
  void CheckFixedFiles();

  std::vector<std::string> fieldNames_;
  AttachmentCheckOptions options_;
  struct timespec startedAt_ {};
  std::vector<std::string> lines_;        // paths as written, at most kMaxAttachmentLines
  std::vector<bool> lineTakesValues_;
  std::vector<bool> lineRefused_;         // reported for every entry already
  std::uint64_t fixedBytes_ = 0;          // what the files of fixed lines add
  std::string fixedLargest_;
  std::uint64_t fixedLargestSize_ = 0;
  std::unordered_map<std::string, FileFacts> facts_;  // by path
  std::vector<AttachmentProblem> problems_;
};

// "12.4 MB", "830 KB", "512 bytes": sizes as the problems word them.
std::string SizeText(std::uint64_t bytes);

}  // namespace postrider
