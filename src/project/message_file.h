#pragma once

#include <cstdint>
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

// What a letter's file held when the program last read or wrote it, so that
// a save can tell whether another program has written it since.
struct LetterFileStamp {
  bool present = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = -1;
  std::int64_t mtimeNsec = 0;
  std::int64_t ctimeNsec = 0;
  std::string bytes;  // as on disk, before any decoding
};

// The stamp of a letter just written with bytes.
LetterFileStamp StampWrittenLetter(const std::string& path, std::string bytes);
// Whether path holds something other than what stamp saw: written to,
// replaced, or made where there was none. A file gone is not: writing it
// again loses nothing. Size and times first; the bytes only when those moved.
bool LetterChangedSince(const std::string& path, const LetterFileStamp& stamp);

// headersMisread, when given, says whether MisreadsHeaderLines holds for the
// file; seen, when given, receives its stamp.
Result<MessageContents> ReadMessageFile(const std::string& path, bool* headersMisread = nullptr,
                                        LetterFileStamp* seen = nullptr);
Status WriteMessageFile(const std::string& path, const MessageContents& message);
// As one of the files a Save replaces together.
Status WriteMessageFile(AtomicFileGroup& files, const std::string& path,
                        const MessageContents& message);

}  // namespace postrider
