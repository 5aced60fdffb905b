#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// The seven keys of a project file, section "Settings".
struct ProjectFileKeys {
  std::string messageFile;       // MessageFile
  std::string listFile;          // DBFile
  int listSourceType = 0;        // DBFileType
  std::string emailFieldName;    // EmailFieldString
  int emailFieldIndex = 0;       // EmailFieldIndex
  std::string entryStateFile;    // HelperFile
  int lastIndexSent = 0;         // LastIndexSent

  bool operator==(const ProjectFileKeys&) const = default;
};

// Reads the keys with their defaults for missing ones. Only an unreadable file
// is an error; whether the keys make a project is the document's call.
Result<ProjectFileKeys> ReadProjectFile(const std::string& path);
// Writes all seven keys in one atomic replace, keeping whatever else the file holds.
Status WriteProjectFile(const std::string& path, const ProjectFileKeys& keys);

}  // namespace postrider
