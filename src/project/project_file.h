#pragma once

#include <string>

#include "platform/atomic_file.h"
#include "platform/status.h"
#include "project/letter_options.h"

namespace postrider {

// The keys of a project file, section "Settings": the seven every project
// has, the list's digest after them, then the letter options that are set.
struct ProjectFileKeys {
  std::string messageFile;       // MessageFile
  std::string listFile;          // DBFile
  int listSourceType = 0;        // DBFileType
  std::string emailFieldName;    // EmailFieldString
  int emailFieldIndex = 0;       // EmailFieldIndex
  std::string entryStateFile;    // HelperFile
  int lastIndexSent = 0;         // LastIndexSent
  // ListDigest: the SHA-256 of the mailing list the entry marks were saved
  // for; empty when the project does not know it (saved by an older program).
  std::string listDigest;
  // How the messages are made; its keys follow the ones above.
  LetterOptions letter;

  bool operator==(const ProjectFileKeys&) const = default;
};

// Reads the keys with their defaults for missing ones. Only an unreadable file
// is an error; whether the keys make a project is the document's call.
Result<ProjectFileKeys> ReadProjectFile(const std::string& path);
// Writes all the keys in one atomic replace, keeping whatever else the file holds.
Status WriteProjectFile(const std::string& path, const ProjectFileKeys& keys);
// As one of the files a Save replaces together.
Status WriteProjectFile(AtomicFileGroup& files, const std::string& path,
                        const ProjectFileKeys& keys);

}  // namespace postrider
