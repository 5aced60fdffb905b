#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/status.h"

namespace postrider {

// An INI ("private profile") file held in memory line by line, read and
// written the way the program has always relied on:
// - section and key names match without regard to ASCII case, and are
//   trimmed of blanks and tabs; lines before the first section belong to no
//   section; a line whose first non-blank character is ';' is a comment;
// - values are trimmed, and one pair of matching double or single quotes
//   around a value is removed;
// - when a section or key appears twice, the first one counts, for reads and
//   for writes;
// - a write changes only the line of its key, or adds one line (at the end of
//   the section, or a new section at the end of the file); every other line
//   stays byte for byte, except that line ends become LF. A leading UTF-8
//   byte order mark is kept.
// Values are stored exactly: one that would lose blanks or quotes when read
// back is written inside double quotes.
class ProfileFile {
 public:
  // A file that does not exist is an empty profile; one that cannot be read
  // is an error.
  static Result<ProfileFile> Load(const std::string& path);
  static ProfileFile FromText(std::string_view text);

  // The whole value of a key, or nothing when the section or key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // The value, or fallback when the key is missing, cut to bufferSize - 1
  // bytes as a caller's fixed buffer of bufferSize bytes would.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view fallback, std::size_t bufferSize = 256) const;
  // The leading decimal number of the value (blanks skipped, optional sign,
  // clamped to int); fallback when the key is missing or empty, 0 when the
  // value does not start with a number.
  int GetInt(std::string_view section, std::string_view key, int fallback) const;

  // Refuses (and changes nothing) a value or name holding a line break, a
  // section name holding ']', an empty key, and a key holding '=' or starting
  // with '[' or ';', since the file could not give any of them back.
  Status SetString(std::string_view section, std::string_view key, std::string_view value);
  Status SetInt(std::string_view section, std::string_view key, int value);
  // As SetString, but a key whose value GetString (with bufferSize) already
  // gives as value is left as it stands: a value longer than the buffer
  // stays whole, and one the file holds but SetString would refuse (a lone
  // CR inside it) fails no save.
  Status KeepOrSetString(std::string_view section, std::string_view key, std::string_view value,
                         std::size_t bufferSize = 256);

  std::string Text() const;
  // Replaces the file at path in one step (see WriteFileAtomically).
  Status Save(const std::string& path, FileReaders readers = FileReaders::AsBefore) const;

 private:
  struct SectionSpan {
    std::size_t header;  // index of the "[name]" line
    std::size_t end;     // one past the section's last line
  };
  std::optional<SectionSpan> FindSection(std::string_view name) const;
  std::optional<std::size_t> FindKeyLine(const SectionSpan& span, std::string_view key) const;

  bool hasByteOrderMark_ = false;
  std::vector<std::string> lines_;  // without their line ends
};

}  // namespace postrider
