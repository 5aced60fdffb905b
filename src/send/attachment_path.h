#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace postrider {

// One attachment line's path for one recipient, merge fields filled.
//
// A mailing list often comes from someone else, and its values must never
// choose which of the user's files leave the machine. So a path that takes
// list values is split at the folder written before its first merge field:
// the file must lie inside that folder. A value with '/', "..", a leading '~'
// or a NUL, or a path that names no folder before its first field, makes the
// path unsafe before any file is looked at; a symbolic link that leads out of
// the folder is refused when the file is opened.
struct AttachmentPath {
  std::string written;  // as the line writes it
  std::string path;     // the file it names, fields filled
  // For a path that takes list values: the folder written before its first
  // merge field (ending in '/'), and the rest of the path beneath it.
  std::string folder;
  std::string beneath;
  std::string unsafe;  // why the file must not be opened; empty when it may
  bool hasFields = false;  // a list field's name is written in the path

  bool TakesListValues() const { return hasFields; }
  // The file's own name, the last part of the path.
  std::string FileName() const;
};

// Fills the path of one attachment line with one recipient's values (UTF-8,
// one per list field, as composition merges them; a field the record lacks is
// empty). A name that is no list field's stays as written. A leading "~/" is
// the user's home folder; a relative path is taken from `relativeTo` (the
// project's folder), and is unsafe without it.
AttachmentPath FillAttachmentPath(std::string_view written,
                                  const std::vector<std::string>& fieldNames,
                                  const std::vector<std::string>& values,
                                  std::string_view relativeTo);

// The paths of every attachment line of a letter (UTF-8, as composition
// reads it), filled for one recipient.
std::vector<AttachmentPath> FillLetterAttachments(std::string_view letter,
                                                  const std::vector<std::string>& fieldNames,
                                                  const std::vector<std::string>& values,
                                                  std::string_view relativeTo);

// Text from a letter or a list made safe to show on one line: control
// characters become '?'.
std::string ShownPathText(std::string_view text);

}  // namespace postrider
