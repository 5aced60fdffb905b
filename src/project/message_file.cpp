#include "project/message_file.h"

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

}  // namespace

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

Result<MessageContents> ReadMessageFile(const std::string& path, bool* headersMisread) {
  Result<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return bytes.status();
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
