#pragma once

#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/status.h"

namespace postrider {

// The letter of a project: the values of its To: and Subject: header lines
// and the body, byte for byte.
struct MessageContents {
  std::string to;
  std::string subject;
  std::string body;

  bool operator==(const MessageContents&) const = default;
};

// Reads a message file's bytes. A file whose first line does not begin with
// "To:" has no header lines: all of it is body.
MessageContents ParseMessageFile(std::string_view bytes);
// The bytes WriteMessageFile writes: three header lines ended by LF, then the body.
std::string FormatMessageFile(const MessageContents& message);

// Whether a letter starting with "To:" lacks the From: or Subject: line after
// it, so that reading takes text of the letter for those header lines.
bool MisreadsHeaderLines(std::string_view bytes);

// headersMisread, when given, says whether MisreadsHeaderLines holds for the file.
Result<MessageContents> ReadMessageFile(const std::string& path, bool* headersMisread = nullptr);
Status WriteMessageFile(const std::string& path, const MessageContents& message);
// As one of the files a Save replaces together.
Status WriteMessageFile(AtomicFileGroup& files, const std::string& path,
                        const MessageContents& message);

}  // namespace postrider
