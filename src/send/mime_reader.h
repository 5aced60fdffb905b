#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace postrider {

// One file a message carries, as a mail program shows it.
struct MimeAttachment {
  std::string name;         // UTF-8, from filename* or filename, else the type's name
  std::string contentType;  // "application/pdf"
  std::string content;      // the file's bytes, transfer encoding undone
};

// A message as a mail program shows it, read with GMime: header values
// unfolded with their RFC 2047 words decoded, the text (the first text/plain
// part that is no attachment) with its transfer encoding undone, all as UTF-8
// with LF line ends, and the files it carries.
struct MimeMessage {
  std::vector<std::pair<std::string, std::string>> headers;  // name, value
  std::string body;
  std::vector<MimeAttachment> attachments;

  // The first header of that name (any letter case), "" when there is none.
  std::string Header(std::string_view name) const;
};

// Never fails: what it cannot decode (an unknown charset, a broken encoded
// word) is shown as it came, made valid UTF-8 (bytes that are not UTF-8 read
// as Windows-1252).
MimeMessage ReadMimeMessage(std::string_view message);

}  // namespace postrider
