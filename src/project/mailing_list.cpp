#include "project/mailing_list.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_open.h"
#include "project/entry_marks.h"
#include "project/list_line_splitter.h"

namespace postrider {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

std::string OpenError(const std::string& path) {
  return "Cannot open the mailing list " + path + ": " + std::strerror(errno);
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size, std::int64_t offset) {
  ssize_t got = 0;
  do {
    got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

// Reads the first line of an open file, line end included; `end` becomes the
// position after it.
std::string ReadFirstLine(int fd, std::int64_t& end) {
  std::string line;
  std::vector<char> buffer(kChunk);
  std::int64_t offset = 0;
  for (;;) {
    const ssize_t got = ReadSome(fd, buffer.data(), buffer.size(), offset);
    if (got <= 0) break;
    const auto* newline = static_cast<const char*>(std::memchr(buffer.data(), '\n', static_cast<std::size_t>(got)));
    if (newline != nullptr) {
      line.append(buffer.data(), static_cast<std::size_t>(newline - buffer.data() + 1));
      break;
    }
    line.append(buffer.data(), static_cast<std::size_t>(got));
    offset += got;
  }
  end = static_cast<std::int64_t>(line.size());
  return line;
}

ListHeader SplitHeader(std::string_view line, std::int64_t fileLength, int listSourceType) {
  ListHeader header;
  if (fileLength == 0) return header;  // no first line, no fields
  // A spreadsheet's "UTF-8 CSV" starts with a byte order mark; it is no part
  // of the first field's name.
  constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
  if (line.starts_with(kUtf8ByteOrderMark)) line.remove_prefix(kUtf8ByteOrderMark.size());
  std::vector<std::string> names;
  SplitListLine(listSourceType, line, names, static_cast<std::size_t>(-1));
  header.fieldsInFile = static_cast<int>(names.size());
  if (names.size() > static_cast<std::size_t>(kMaxListFields)) names.resize(kMaxListFields);
  header.fieldNames = std::move(names);
  return header;
}

}  // namespace

Result<ListHeader> ReadListHeaderFile(const std::string& path, int listSourceType) {
  const int fd = OpenFileForReading(path);
  if (fd < 0) return Status::Error(OpenError(path));
  std::int64_t end = 0;
  const std::string line = ReadFirstLine(fd, end);
  ::close(fd);
  return SplitHeader(line, end, listSourceType);
}

MailingList::~MailingList() { Close(); }

void MailingList::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  type_ = DBTypeNone;
  header_ = {};
  entryCount_ = 0;
  recordLinesInFile_ = 0;
  fileSize_ = 0;
  lineStarts_.clear();
  lineStarts_.shrink_to_fit();
  window_.clear();
  window_.shrink_to_fit();
  windowStart_ = 0;
  windowSize_ = 0;
  lastEnd_ = -1;
}

Status MailingList::Open(const std::string& path, int listSourceType) {
  Close();
  const int fd = OpenFileForReading(path);
  if (fd < 0) return Status::Error(OpenError(path));
  fd_ = fd;
  type_ = listSourceType;
  std::int64_t headerEnd = 0;
  const std::string line = ReadFirstLine(fd_, headerEnd);
  header_ = SplitHeader(line, headerEnd, listSourceType);
  Index(headerEnd);
  return Status::Ok();
}

// One pass over the file after the header, noting where each line starts.
// Lines of any length are one record each; lines past the 32000th are only
// counted.
void MailingList::Index(std::int64_t headerEnd) {
  lineStarts_.clear();
  lineStarts_.push_back(headerEnd);
  window_.resize(kChunk);
  std::int64_t offset = headerEnd;
  bool lineOpen = false;  // bytes of an unfinished line have been seen
  for (;;) {
    const ssize_t got = ReadSome(fd_, window_.data(), window_.size(), offset);
    if (got <= 0) break;
    const char* begin = window_.data();
    const char* const end = begin + got;
    while (begin < end) {
      const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin)));
      if (newline == nullptr) {
        lineOpen = true;
        break;
      }
      ++recordLinesInFile_;
      if (entryCount_ < kMaxListEntries) {
        ++entryCount_;
        lineStarts_.push_back(offset + (newline + 1 - window_.data()));
      }
      lineOpen = false;
      begin = newline + 1;
    }
    offset += got;
  }
  if (lineOpen) {  // a last line without a line end is still a line
    ++recordLinesInFile_;
    if (entryCount_ < kMaxListEntries) {
      ++entryCount_;
      lineStarts_.push_back(offset);
    }
  }
  fileSize_ = offset;
  windowSize_ = 0;
  lastEnd_ = -1;
}

bool MailingList::ReadRecord(int index, std::vector<std::string>& values) const {
  if (fd_ < 0 || index < 0 || index >= entryCount_) return false;
  const auto i = static_cast<std::size_t>(index);
  SplitListLine(type_, Bytes(lineStarts_[i], lineStarts_[i + 1]), values);
  return true;
}

std::string_view MailingList::Bytes(std::int64_t begin, std::int64_t end) const {
  const auto length = static_cast<std::size_t>(end - begin);
  const std::int64_t windowEnd = windowStart_ + static_cast<std::int64_t>(windowSize_);
  if (begin >= windowStart_ && end <= windowEnd) {
    lastEnd_ = end;
    return {window_.data() + (begin - windowStart_), length};
  }
  // Reading on from the end of the window is the usual pattern (a query, a
  // send run): read a whole chunk ahead. A jump reads little more than the line.
  const bool sequential = begin == lastEnd_;
  lastEnd_ = end;
  const std::size_t want = std::max(length, sequential ? kChunk : std::min(length + 4096, kChunk));
  if (window_.size() < want) window_.resize(want);
  const ssize_t got = ReadSome(fd_, window_.data(), want, begin);
  windowStart_ = begin;
  windowSize_ = got > 0 ? static_cast<std::size_t>(got) : 0;
  // A file that shrank under us gives what is still there.
  return {window_.data(), std::min(length, windowSize_)};
}

}  // namespace postrider
