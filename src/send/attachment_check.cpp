#include "send/attachment_check.h"

#include <time.h>

#include <algorithm>
#include <cstdio>

#include "send/attachment_file.h"
#include "send/attachment_lines.h"
#include "send/attachment_mime.h"

namespace postrider {
namespace {

// The facts of this many files are kept; a longer list of files of its own
// is looked at again past that, rather than growing without bound.
constexpr std::size_t kMaxRememberedFiles = 4096;

// The part's size without reading the file for its type: the longest type a
// header may name stands in for it.
const std::string kLongestType(127, 'x');

// Files get their times from the kernel's coarse clock (one tick is a few
// milliseconds), on some file systems rounded down to whole seconds.
std::int64_t FileClockNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The last moment a change may be stamped with the same time as `changedNs`.
std::int64_t SameStampUntil(std::int64_t changedNs) {
  // Whole seconds (two on FAT): a file system that keeps no finer times.
  const bool wholeSeconds = changedNs % 1000000000 == 0;
  return changedNs + (wholeSeconds ? 2000000000 : 0);
}

// Waits until the file clock has passed `momentNs`, for at most `deadlineNs`
// of it (a file dated ahead by a network file system's clock).
void AwaitFileClockPast(std::int64_t momentNs, std::int64_t deadlineNs) {
  for (std::int64_t now = FileClockNs(); now <= momentNs && now < deadlineNs; now = FileClockNs()) {
    const std::int64_t wait = std::clamp<std::int64_t>(momentNs - now, 1000000, 100000000);
    const struct timespec pause {0, static_cast<long>(wait)};
    ::nanosleep(&pause, nullptr);
  }
}

// Never the identity of a file: what a file that changed while it was
// checked is recorded as.
const FileIdentity kChangedDuringCheck{0, 0, -1, 0, 0};

// Who sets the limit: the server's SIZE, or Postrider's own when it is lower.
std::string LimitText(std::uint64_t limit) {
  return limit == kMaxMessageWithFiles ? SizeText(limit) + " Postrider sends in one message"
                                       : SizeText(limit) + " the server takes";
}

std::string TooLargeText(std::uint64_t size, std::uint64_t limit) {
  return "with its attachments the message would be about " + SizeText(size) + ", more than the " +
         LimitText(limit);
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  char text[32];
  if (bytes >= 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else if (bytes >= 1000) {
    std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  }
  return text;
}

AttachmentCheck::AttachmentCheck(std::string_view letter, std::vector<std::string> fieldNames,
                                 AttachmentCheckOptions options)
    : fieldNames_(std::move(fieldNames)), options_(std::move(options)) {
  if (!options_.sizeLimit || *options_.sizeLimit > kMaxMessageWithFiles) {
    options_.sizeLimit = kMaxMessageWithFiles;
  }
  std::vector<std::string> written = AttachmentPathsAsWritten(letter, fieldNames_);
  if (written.size() > kMaxAttachmentLines) {
    AddLetterProblem(written[kMaxAttachmentLines],
                     "the letter has " + std::to_string(written.size()) +
                         " attachment lines; a message carries at most " +
                         std::to_string(kMaxAttachmentLines) + " files");
    written.resize(kMaxAttachmentLines);
  }
  lines_ = std::move(written);
  CheckFixedFiles();
}

void AttachmentCheck::AddLetterProblem(std::string path, std::string reason) {
  problems_.push_back({AttachmentProblem::kEveryEntry, {}, std::move(path), std::move(reason)});
}

// What does not depend on the entry is found once: files every message
// carries, and paths whose fields would choose their folder.
void AttachmentCheck::CheckFixedFiles() {
  const std::vector<std::string> noValues;
  for (const std::string& written : lines_) {
    const AttachmentPath path = FillAttachmentPath(written, fieldNames_, noValues, options_.relativeTo);
    lineTakesValues_.push_back(path.TakesListValues());
    lineRefused_.push_back(false);
    if (path.TakesListValues()) {
      if (path.folder.empty()) {
        // The fields come before any folder: a problem whatever the values.
        AddLetterProblem(ShownPathText(written), "unsafe: " + path.unsafe);
        lineRefused_.back() = true;
      }
      continue;
    }
    const FileFacts& facts = Facts(path);
    if (!facts.problem.empty()) {
      AddLetterProblem(ShownPathText(path.path), facts.problem);
      lineRefused_.back() = true;
    }
    fixedBytes_ += facts.partSize;
    if (facts.partSize >= fixedLargestSize_) {
      fixedLargestSize_ = facts.partSize;
      fixedLargest_ = path.path;
    }
  }
  if (options_.sizeLimit && kMultipartOverhead + fixedBytes_ > *options_.sizeLimit) {
    AddLetterProblem({}, "the files every message carries make it about " +
                             SizeText(kMultipartOverhead + fixedBytes_) + ", more than the " +
                             LimitText(*options_.sizeLimit));
  }
}

const AttachmentCheck::FileFacts& AttachmentCheck::Facts(const AttachmentPath& path) {
  const auto known = facts_.find(path.path);
  if (known != facts_.end()) return known->second;
  if (facts_.size() >= kMaxRememberedFiles) facts_.clear();
  FileFacts facts;
  const std::int64_t clockBefore = FileClockNs();
  if (Result<AttachmentFile> file = OpenAttachmentFile(path); file) {
    facts.partSize = AttachmentPartSize(path.FileName(), kLongestType, file->size());
    Record(path, file->identity(), clockBefore);
  } else {
    facts.problem = file.status().message();
  }
  return facts_.emplace(path.path, std::move(facts)).first->second;
}

void AttachmentCheck::Record(const AttachmentPath& path, const FileIdentity& identity,
                             std::int64_t clockBefore) {
  const auto [recorded, added] = checked_.try_emplace(path.path, identity);
  if (!added) {
    // Looked at again once its facts were forgotten.
    if (recorded->second != identity) recorded->second = kChangedDuringCheck;
    return;
  }
  // A change later in the same tick would keep every time of the file.
  if (SameStampUntil(identity.changedNs) >= clockBefore) unsettled_.push_back(path);
}

// Files changed in the tick they were looked at are looked at again once the
// clock has moved on: any change after that look gives them a new ctime.
void AttachmentCheck::Settle() {
  if (unsettled_.empty()) return;
  std::int64_t until = 0;
  for (const AttachmentPath& path : unsettled_) {
    until = std::max(until, SameStampUntil(checked_.at(path.path).changedNs));
  }
  AwaitFileClockPast(until, FileClockNs() + 3000000000LL);
  for (const AttachmentPath& path : unsettled_) {
    FileIdentity& recorded = checked_.at(path.path);
    Result<AttachmentFile> file = OpenAttachmentFile(path);
    // What was found of it (its size, that it can be read) may no longer hold.
    if (!file || file->identity() != recorded) recorded = kChangedDuringCheck;
  }
  unsettled_.clear();
}

CheckedFiles AttachmentCheck::TakeCheckedFiles() {
  Settle();
  return std::move(checked_);
}

void AttachmentCheck::CheckEntry(int entry, std::string_view recipient,
                                 const std::vector<std::string>& values,
                                 std::uint64_t messageBytes) {
  if (lines_.empty()) return;
  std::uint64_t size = messageBytes + kMultipartOverhead + fixedBytes_;
  std::string largest = fixedLargest_;
  std::uint64_t largestSize = fixedLargestSize_;
  bool entryProblem = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!lineTakesValues_[i] || lineRefused_[i]) continue;
    const AttachmentPath path = FillAttachmentPath(lines_[i], fieldNames_, values, options_.relativeTo);
    // An unsafe path is reported without a look at the file.
    const FileFacts& facts =
        path.unsafe.empty() ? Facts(path) : FileFacts{"unsafe: " + path.unsafe, 0};
    if (!facts.problem.empty()) {
      problems_.push_back({entry, ShownPathText(recipient), ShownPathText(path.path), facts.problem});
      entryProblem = true;
      continue;
    }
    size += facts.partSize;
    if (facts.partSize >= largestSize) {
      largestSize = facts.partSize;
      largest = path.path;
    }
  }
  if (!entryProblem && options_.sizeLimit && size > *options_.sizeLimit &&
      kMultipartOverhead + fixedBytes_ <= *options_.sizeLimit) {
    problems_.push_back({entry, ShownPathText(recipient), ShownPathText(largest),
                         TooLargeText(size, *options_.sizeLimit)});
  }
}

}  // namespace postrider
