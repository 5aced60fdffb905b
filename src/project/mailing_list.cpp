#include "project/mailing_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/file_open.h"
#include "platform/sha256.h"
#include "project/entry_marks.h"
#include "project/list_line_splitter.h"

namespace postrider {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// The part of a header line split into field names; 25 names fit many times over.
constexpr std::size_t kMaxHeaderKept = kChunk;

std::string OpenError(const std::string& path) {
  return "Cannot open the mailing list " + path + ": " + DescribeOpenError(errno);
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size, std::int64_t offset) {
  ssize_t got = 0;
  do {
    got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

// Counts the values a header line splits into without keeping them, fed the
// line piece by piece, so that a header of millions of fields costs nothing.
// It follows the splitting rules of SplitTabLine and SplitCommaLine.
class FieldCounter {
 public:
  explicit FieldCounter(int listSourceType) : comma_(listSourceType == DBTypeComma) {}

  void Feed(std::string_view bytes) {
    for (const char c : bytes) {
      if (c == '\n') return;  // the line end; only ever the last byte fed
      if (pendingCr_) Scan('\r');
      pendingCr_ = c == '\r';
      if (!pendingCr_) Scan(c);
    }
  }

  // A CR just before the line end is no part of the line.
  std::int64_t Finish(bool hadLineEnd) {
    if (pendingCr_ && !hadLineEnd) Scan('\r');
    if (!comma_) return tabs_ + 1;
    if (quoteInQuotes_) {
      // The line's last character closed the value.
      quoteInQuotes_ = false;
      Close();
    }
    // A closing quote as the line's last character swallows the line end.
    return values_ + ((collected_ || (hadLineEnd && !skipNext_)) ? 1 : 0);
  }

 private:
  void Scan(char c) {
    if (!comma_) {
      if (c == '\t') ++tabs_;
    } else if (skipNext_) {
      skipNext_ = false;
    } else if (quoteInQuotes_) {
      // A quote after a quote inside quotes is one quote of the value; any
      // other character follows a closing quote and is swallowed.
      quoteInQuotes_ = false;
      if (c == '"') {
        collected_ = true;
      } else {
        Close();
        skipNext_ = false;
      }
    } else if (inQuotes_) {
      if (c == '"') {
        quoteInQuotes_ = true;
      } else {
        collected_ = true;
      }
    } else if (c == '"') {
      inQuotes_ = true;
    } else if (c == ',') {
      ++values_;
      collected_ = false;
    } else {
      collected_ = true;
    }
  }

  void Close() {
    ++values_;
    collected_ = false;
    inQuotes_ = false;
    skipNext_ = true;
  }

  bool comma_;
  bool pendingCr_ = false;
  std::int64_t tabs_ = 0;
  std::int64_t values_ = 0;
  bool inQuotes_ = false;
  bool skipNext_ = false;
  bool quoteInQuotes_ = false;  // a quote inside quotes, waiting for the next character
  bool collected_ = false;
};

// Reads the header line of an open file in read-window pieces: the names come
// from its first kMaxHeaderKept bytes, and the rest of the line is only
// counted, so memory stays bounded however long the line is. `end` becomes
// the position after the line.
ListHeader ReadHeader(int fd, int listSourceType, std::int64_t& end) {
  ListHeader header;
  FieldCounter counter(listSourceType);
  std::string kept;
  std::vector<char> buffer(kChunk);
  std::int64_t offset = 0;
  char last = '\0';
  for (;;) {
    const ssize_t got = ReadSome(fd, buffer.data(), buffer.size(), offset);
    if (got <= 0) break;
    std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
    const std::size_t newline = piece.find('\n');
    if (newline != std::string_view::npos) piece = piece.substr(0, newline + 1);
    offset += static_cast<std::int64_t>(piece.size());
    // A spreadsheet's "UTF-8 CSV" starts with a byte order mark; it is no part
    // of the first field's name.
    constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
    if (header.lineLength == 0 && piece.starts_with(kUtf8ByteOrderMark)) {
      piece.remove_prefix(kUtf8ByteOrderMark.size());
    }
    header.lineLength = offset;
    header.hasNulByte = header.hasNulByte || piece.find('\0') != std::string_view::npos;
    for (const char c : piece) {
      if (last == '\r' && c != '\n') header.hasLoneCr = true;
      last = c;
    }
    counter.Feed(piece);
    if (kept.size() < kMaxHeaderKept) {
      kept.append(piece.substr(0, kMaxHeaderKept - kept.size()));
    }
    if (newline != std::string_view::npos) {
      header.hasLineEnd = true;
      break;
    }
  }
  end = offset;
  if (offset == 0) return header;  // no first line, no fields
  if (last == '\r' && !header.hasLineEnd) header.hasLoneCr = true;
  SplitListLine(listSourceType, kept, header.fieldNames, kMaxListFields);
  const std::int64_t fields =
      IsTextListType(listSourceType) ? counter.Finish(header.hasLineEnd) : 0;
  header.fieldsInFile = static_cast<int>(std::min<std::int64_t>(fields, INT_MAX));
  return header;
}

// The wide encoding the open file starts with, or empty.
std::string_view WideEncodingOf(int fd) {
  char start[4];
  const ssize_t got = ReadSome(fd, start, sizeof start, 0);
  return WideTextEncoding(std::string_view(start, got > 0 ? static_cast<std::size_t>(got) : 0));
}

std::string WideListText(std::string_view encoding) {
  return "it is saved as " + std::string(encoding) + "; save it as UTF-8 or tab-delimited text.";
}

}  // namespace

std::string_view WideTextEncoding(std::string_view start) {
  using namespace std::string_view_literals;
  // UTF-32 LE first: its mark starts with UTF-16 LE's.
  if (start.starts_with("\xFF\xFE\0\0"sv) || start.starts_with("\0\0\xFE\xFF"sv)) return "UTF-32";
  if (start.starts_with("\xFF\xFE"sv) || start.starts_with("\xFE\xFF"sv)) return "UTF-16";
  return {};
}

std::string ListEncodingProblem(const std::string& path) {
  const int fd = OpenFileForReading(path);
  if (fd < 0) return {};
  const std::string_view encoding = WideEncodingOf(fd);
  if (!encoding.empty()) {
    ::close(fd);
    return "The mailing list " + path + " is saved as " + std::string(encoding) +
           "; save it as UTF-8 or tab-delimited text.";
  }
  // A workbook or other binary file picked by mistake: its "fields" would be
  // garbage and every entry a bad address. Only the field names' line is
  // judged: a NUL in a value is that entry's own problem.
  char start[4096];
  const ssize_t got = ReadSome(fd, start, sizeof start, 0);
  ::close(fd);
  const std::string_view read(start, got > 0 ? static_cast<std::size_t>(got) : 0);
  if (read.substr(0, read.find('\n')).find('\0') != std::string_view::npos) {
    return "The mailing list " + path +
           " holds NUL bytes: it is not a text list (a workbook must be saved as tab-delimited "
           "or comma-delimited text first).";
  }
  return {};
}

Result<ListHeader> ReadListHeaderFile(const std::string& path, int listSourceType) {
  const int fd = OpenFileForReading(path);
  if (fd < 0) return Status::Error(OpenError(path));
  if (const std::string_view encoding = WideEncodingOf(fd); !encoding.empty()) {
    ::close(fd);
    return Status::Error("Cannot open the mailing list " + path + ": " + WideListText(encoding));
  }
  std::int64_t end = 0;
  ListHeader header = ReadHeader(fd, listSourceType, end);
  ::close(fd);
  return header;
}

MailingList::~MailingList() { Close(); }

void MailingList::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
  type_ = DBTypeNone;
  header_ = {};
  entryCount_ = 0;
  recordLinesInFile_ = 0;
  fileSize_ = 0;
  contentDigest_.clear();
  lineStarts_.clear();
  lineStarts_.shrink_to_fit();
  brokenEntries_.clear();
  window_.clear();
  window_.shrink_to_fit();
  windowStart_ = 0;
  windowSize_ = 0;
  lastEnd_ = -1;
  identity_ = {};
  changed_ = false;
}

Status MailingList::Open(const std::string& path, int listSourceType) {
  Close();
  const int fd = OpenFileForReading(path);
  if (fd < 0) return Status::Error(OpenError(path));
  // Read as bytes, its field names and records would be garbage, and a
  // send would take every entry for a bad address.
  if (const std::string_view encoding = WideEncodingOf(fd); !encoding.empty()) {
    ::close(fd);
    return Status::Error("Cannot open the mailing list " + path + ": " + WideListText(encoding));
  }
  fd_ = fd;
  path_ = path;
  type_ = listSourceType;
  // Noted before any byte is read, so a write landing during the indexing
  // counts as a change too.
  identity_ = IdentityOf(fd_);
  std::int64_t headerEnd = 0;
  header_ = ReadHeader(fd_, listSourceType, headerEnd);
  Index(headerEnd);
  return Status::Ok();
}

// One pass over the file after the header, noting where each line starts.
// Lines of any length are one record each; lines past the 32000th are only
// counted.
void MailingList::Index(std::int64_t headerEnd) {
  lineStarts_.clear();
  // Room for every line the file can hold, at once: growing the index a
  // doubling at a time would copy it into fresh memory again and again.
  if (identity_.size > headerEnd) {
    lineStarts_.reserve(static_cast<std::size_t>(
        std::min<std::int64_t>(identity_.size - headerEnd, kMaxListEntries) + 1));
  }
  lineStarts_.push_back(headerEnd);
  brokenEntries_.clear();
  window_.resize(kChunk);
  Sha256 digest;
  // Quotes are followed in the same pass, from the header on: a header that
  // ends inside them leaves the first entry inside them too.
  const bool comma = type_ == DBTypeComma;
  CommaQuoteState quotes;
  for (std::int64_t at = 0; at < headerEnd;) {
    const ssize_t got = ReadSome(fd_, window_.data(),
                                 static_cast<std::size_t>(std::min<std::int64_t>(
                                     headerEnd - at, static_cast<std::int64_t>(kChunk))),
                                 at);
    if (got <= 0) break;
    std::string_view piece(window_.data(), static_cast<std::size_t>(got));
    digest.Update(piece);
    if (!piece.empty() && piece.back() == '\n') piece.remove_suffix(1);  // only ever the last byte
    if (comma) quotes.Feed(piece);
    at += got;
  }
  bool startsInQuotes = comma && quotes.EndLine();
  // Ends the line of entry `entryCount_ - 1` for the quotes' sake.
  const auto endEntryLine = [&] {
    const bool endsInQuotes = quotes.EndLine();
    if (startsInQuotes || endsInQuotes) brokenEntries_.push_back(entryCount_ - 1);
    startsInQuotes = endsInQuotes;
  };
  std::int64_t offset = headerEnd;
  bool lineOpen = false;  // bytes of an unfinished line have been seen
  for (;;) {
    const ssize_t got = ReadSome(fd_, window_.data(), window_.size(), offset);
    if (got <= 0) break;
    const char* begin = window_.data();
    const char* const end = begin + got;
    digest.Update({begin, static_cast<std::size_t>(got)});
    while (begin < end) {
      const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin)));
      // Only the indexed entries' quotes matter.
      const bool followQuotes = comma && entryCount_ < kMaxListEntries;
      if (newline == nullptr) {
        if (followQuotes) quotes.Feed({begin, static_cast<std::size_t>(end - begin)});
        lineOpen = true;
        break;
      }
      if (followQuotes) quotes.Feed({begin, static_cast<std::size_t>(newline - begin)});
      ++recordLinesInFile_;
      if (entryCount_ < kMaxListEntries) {
        ++entryCount_;
        lineStarts_.push_back(offset + (newline + 1 - window_.data()));
        if (followQuotes) endEntryLine();
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
      if (comma) endEntryLine();
    }
  }
  fileSize_ = offset;
  contentDigest_ = digest.HexDigest();
  windowSize_ = 0;
  lastEnd_ = -1;
}

Status MailingList::CheckFileUnchanged() const {
  if (fd_ < 0) return Status::Ok();
  const int fd = OpenFileForReading(path_);
  if (fd < 0) return Status::Error(OpenError(path_));
  const FileIdentity atPath = IdentityOf(fd);
  // The very file indexed, not written to since: no second read of it.
  bool same = atPath.inode == identity_.inode && atPath.device == identity_.device &&
              !WrittenSinceOpen(atPath);
  if (!same && atPath.size == fileSize_) {
    std::vector<char> buffer(kChunk);
    Sha256 digest;
    std::int64_t offset = 0;
    for (ssize_t got; (got = ReadSome(fd, buffer.data(), buffer.size(), offset)) > 0;) {
      digest.Update({buffer.data(), static_cast<std::size_t>(got)});
      offset += got;
    }
    same = offset == fileSize_ && digest.HexDigest() == contentDigest_;
  }
  ::close(fd);
  if (same) return Status::Ok();
  return Status::Error(ChangedText());
}

std::string MailingList::ChangedText() const {
  return "The mailing list " + path_ +
         " has changed since the project was opened, so its entries may no longer be the ones "
         "shown and selected.";
}

MailingList::FileIdentity MailingList::IdentityOf(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return {};
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_ctim.tv_sec,
          info.st_ctim.tv_nsec, static_cast<std::uint64_t>(info.st_nlink)};
}

bool MailingList::WrittenSinceOpen(const FileIdentity& now) const {
  // A write moves mtime before its bytes land. ctime also catches a write
  // that set mtime back, but a rename over the file moves it too, with the
  // link count: that file still reads as it was.
  return now.size < 0 || identity_.size < 0 || now.size != identity_.size ||
         now.mtimeSec != identity_.mtimeSec || now.mtimeNsec != identity_.mtimeNsec ||
         (now.links == identity_.links &&
          (now.ctimeSec != identity_.ctimeSec || now.ctimeNsec != identity_.ctimeNsec));
}

bool MailingList::RecheckFile() const {
  if (fd_ < 0 || changed_) return changed_;
  changed_ = WrittenSinceOpen(IdentityOf(fd_));
  return changed_;
}

bool MailingList::IsInBrokenValue(int index) const {
  return std::binary_search(brokenEntries_.begin(), brokenEntries_.end(), index);
}

bool MailingList::ReadRecord(int index, std::vector<std::string>& values,
                             std::size_t maxValues) const {
  if (fd_ < 0 || index < 0 || index >= entryCount_) return false;
  const auto i = static_cast<std::size_t>(index);
  SplitListLine(type_, Bytes(lineStarts_[i], lineStarts_[i + 1]), values, maxValues);
  return true;
}

std::string_view MailingList::ReadValue(int index, std::size_t field,
                                        std::vector<std::string>& scratch) const {
  if (fd_ < 0 || index < 0 || index >= entryCount_ || field >= kMaxListFields) return {};
  const auto i = static_cast<std::size_t>(index);
  const std::string_view line = Bytes(lineStarts_[i], lineStarts_[i + 1]);
  if (type_ == DBTypeTab) return TabLineValue(line, field);
  SplitListLine(type_, line, scratch, field + 1);
  return field < scratch.size() ? std::string_view(scratch[field]) : std::string_view();
}

std::string_view MailingList::ReadValueAsOlderPrograms(int index, std::size_t field,
                                                       std::vector<std::string>& scratch) const {
  if (type_ != DBTypeComma) return ReadValue(index, field, scratch);
  if (fd_ < 0 || index < 0 || index >= entryCount_ || field >= kMaxListFields) return {};
  const auto i = static_cast<std::size_t>(index);
  SplitCommaLine(Bytes(lineStarts_[i], lineStarts_[i + 1]), scratch, field + 1,
                 CommaQuotes::kDoubledCloses);
  return field < scratch.size() ? std::string_view(scratch[field]) : std::string_view();
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
  // After the read, not before: bytes written over the old ones show in the
  // identity by now.
  RecheckFile();
  // A file that shrank under us gives what is still there.
  return {window_.data(), std::min(length, windowSize_)};
}

}  // namespace postrider
