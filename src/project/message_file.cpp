#include "project/message_file.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/atomic_file.h"
#include "platform/utf8_text.h"
#include "project/mailing_list.h"

namespace postrider {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Reads lines with their line ends, as a line-at-a-time read gives them.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

  bool AtEnd() const { return position_ >= bytes_.size(); }
  std::string_view Next() {
    const std::size_t newline = bytes_.find('\n', position_);
    const std::size_t end = newline == std::string_view::npos ? bytes_.size() : newline + 1;
    const std::string_view line = bytes_.substr(position_, end - position_);
    position_ = end;
    return line;
  }
  std::string_view Rest() const { return bytes_.substr(std::min(position_, bytes_.size())); }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

std::string_view WithoutTrailingLineEnds(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// The text after a header line's label; the label itself is not compared.
std::string HeaderValue(std::string_view line, std::size_t labelLength) {
  line = WithoutTrailingLineEnds(line);
  return line.size() > labelLength ? std::string(line.substr(labelLength)) : std::string();
}

// A line break inside a header value would split the header line in two and
// shift the body into the header on the next load.
std::string OneLine(std::string value) {
  for (char& c : value) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return value;
}

constexpr std::int64_t kNsecPerSec = 1000000000;

// Size, identity and times only; false when no file is there. A folder or
// the like in its place is no letter to lose: the write says why it fails.
bool StatLetter(const std::string& path, LetterFileStamp& stamp) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  stamp.present = true;
  stamp.device = static_cast<std::uint64_t>(info.st_dev);
  stamp.inode = static_cast<std::uint64_t>(info.st_ino);
  stamp.size = info.st_size;
  stamp.mtimeNsec = info.st_mtim.tv_sec * kNsecPerSec + info.st_mtim.tv_nsec;
  stamp.ctimeNsec = info.st_ctim.tv_sec * kNsecPerSec + info.st_ctim.tv_nsec;
  return true;
}

}  // namespace

LetterFileStamp StampWrittenLetter(const std::string& path, std::string bytes) {
  LetterFileStamp stamp;
  StatLetter(path, stamp);
  // Even if it could not be looked at, the bytes settle the next check.
  stamp.present = true;
  stamp.bytes = std::move(bytes);
  return stamp;
}

bool LetterChangedSince(const std::string& path, const LetterFileStamp& stamp) {
  LetterFileStamp now;
  if (!StatLetter(path, now)) {
    // Not there: nothing to lose. Not to be looked at, or not a file: the
    // write says why.
    return false;
  }
  if (!stamp.present) return true;
  if (now.device == stamp.device && now.inode == stamp.inode && now.size == stamp.size &&
      now.mtimeNsec == stamp.mtimeNsec && now.ctimeNsec == stamp.ctimeNsec) {
    return false;
  }
  if (now.size != static_cast<std::int64_t>(stamp.bytes.size())) return true;
  // Touched, or written again with the same words.
  Result<std::optional<std::string>> bytes = ReadFileIfPresent(path);
  if (!bytes) return true;  // there, but unreadable: not ours to write over unasked
  return *bytes && **bytes != stamp.bytes;
}

MessageContents ParseMessageFile(std::string_view bytes) {
  MessageContents message;
  // Editors that save UTF-8 with a byte order mark would hide the To: line.
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  if (bytes.substr(0, 3) != "To:") {
    message.body.assign(bytes);
    return message;
  }
  LineReader lines(bytes);
  message.to = HeaderValue(lines.Next(), 4);  // "To: "
  if (lines.AtEnd()) return message;
  lines.Next();  // the From: line carries nothing the program keeps
  if (lines.AtEnd()) return message;
  message.subject = HeaderValue(lines.Next(), 9);  // "Subject: "
  message.body.assign(lines.Rest());
  return message;
}

bool MisreadsHeaderLines(std::string_view bytes) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  if (!bytes.starts_with("To:")) return false;
  LineReader lines(bytes);
  lines.Next();
  if (lines.AtEnd()) return false;
  if (!lines.Next().starts_with("From:")) return true;
  return !lines.AtEnd() && !lines.Next().starts_with("Subject:");
}

std::string FormatMessageFile(const MessageContents& message) {
  std::string bytes;
  bytes.reserve(message.to.size() + message.subject.size() + message.body.size() + 24);
  bytes += "To: ";
  bytes += OneLine(message.to);
  bytes += "\nFrom:  \nSubject: ";
  bytes += OneLine(message.subject);
  bytes += '\n';
  bytes += message.body;
  return bytes;
}

Result<MessageContents> ReadMessageFile(const std::string& path, bool* headersMisread,
                                        LetterFileStamp* seen) {
  // Looked at before the read: a write in between leaves times that do not
  // match the bytes, which costs a compare of them later, never a change missed.
  LetterFileStamp stamp;
  StatLetter(path, stamp);
  Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return bytes.status();
  if (seen != nullptr) {
    stamp.present = true;
    stamp.bytes = *bytes;
    *seen = std::move(stamp);
  }
  // Notepad's "Unicode" letter: read byte by byte it would go out as NULs and
  // mojibake. A save writes it back as UTF-8 only once it is changed.
  if (const std::string_view wide = WideTextEncoding(std::string_view(*bytes).substr(0, 4));
      !wide.empty()) {
    *bytes = Utf8FromWide(*bytes, std::string(wide).c_str());
  }
  if (headersMisread != nullptr) *headersMisread = MisreadsHeaderLines(*bytes);
  return ParseMessageFile(*bytes);
}

Status WriteMessageFile(const std::string& path, const MessageContents& message) {
  return WriteFileAtomically(path, FormatMessageFile(message));
}

Status WriteMessageFile(AtomicFileGroup& files, const std::string& path,
                        const MessageContents& message) {
  return files.Write(path, FormatMessageFile(message));
}

}  // namespace postrider
