#include "send/attachment_check.h"

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

std::string TooLargeText(std::uint64_t size, std::uint64_t limit) {
  return "with its attachments the message would be about " + SizeText(size) +
         ", more than the " + SizeText(limit) + " the server takes";
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
    : fieldNames_(std::move(fieldNames)), options_(std::move(options)), startedAt_(FileClockNow()) {
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
                             SizeText(*options_.sizeLimit) + " the server takes");
  }
}

const AttachmentCheck::FileFacts& AttachmentCheck::Facts(const AttachmentPath& path) {
  const auto known = facts_.find(path.path);
  if (known != facts_.end()) return known->second;
  if (facts_.size() >= kMaxRememberedFiles) facts_.clear();
  FileFacts facts;
  if (Result<AttachmentFile> file = OpenAttachmentFile(path); file) {
    facts.partSize = AttachmentPartSize(path.FileName(), kLongestType, file->size());
  } else {
    facts.problem = file.status().message();
  }
  return facts_.emplace(path.path, std::move(facts)).first->second;
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
