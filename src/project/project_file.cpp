#include "project/project_file.h"

#include "platform/profile_file.h"
#include "project/letter_option_keys.h"

namespace postrider {

namespace {

constexpr const char* kSection = "Settings";
// Paths are read through a buffer a path fits in; other strings through the
// platform's usual 256 bytes.
constexpr std::size_t kPathBuffer = 4096;

// A value the file gives back already, read as ReadProjectFile reads it, is
// left as it stands (see ProfileFile::KeepOrSetString).
Status SetString(ProfileFile& profile, const char* key, const std::string& value,
                 std::size_t buffer = 256) {
  return profile.KeepOrSetString(kSection, key, value, buffer);
}

}  // namespace

Result<ProjectFileKeys> ReadProjectFile(const std::string& path) {
  Result<ProfileFile> profile = ProfileFile::Load(path);
  if (!profile) return profile.status();
  ProjectFileKeys keys;
  keys.messageFile = profile->GetString(kSection, "MessageFile", "", kPathBuffer);
  keys.listFile = profile->GetString(kSection, "DBFile", "", kPathBuffer);
  keys.listSourceType = profile->GetInt(kSection, "DBFileType", 0);
  keys.emailFieldName = profile->GetString(kSection, "EmailFieldString", "");
  keys.emailFieldIndex = profile->GetInt(kSection, "EmailFieldIndex", 0);
  keys.entryStateFile = profile->GetString(kSection, "HelperFile", "", kPathBuffer);
  keys.lastIndexSent = profile->GetInt(kSection, "LastIndexSent", 0);
  keys.listDigest = profile->GetString(kSection, "ListDigest", "");
  keys.letter = ReadLetterOptionKeys(*profile);
  return keys;
}

Status WriteProjectFile(const std::string& path, const ProjectFileKeys& keys) {
  AtomicFileGroup file;
  if (Status written = WriteProjectFile(file, path, keys); !written) return written;
  return file.Commit();
}

Status WriteProjectFile(AtomicFileGroup& files, const std::string& path,
                        const ProjectFileKeys& keys) {
  Result<ProfileFile> profile = ProfileFile::Load(path);
  if (!profile) return profile.status();
  for (Status status : {SetString(*profile, "MessageFile", keys.messageFile, kPathBuffer),
                        SetString(*profile, "DBFile", keys.listFile, kPathBuffer),
                        profile->SetInt(kSection, "DBFileType", keys.listSourceType),
                        SetString(*profile, "EmailFieldString", keys.emailFieldName),
                        profile->SetInt(kSection, "EmailFieldIndex", keys.emailFieldIndex),
                        SetString(*profile, "HelperFile", keys.entryStateFile, kPathBuffer),
                        profile->SetInt(kSection, "LastIndexSent", keys.lastIndexSent),
                        SetString(*profile, "ListDigest", keys.listDigest)}) {
    if (!status) return Status::Error("Cannot save " + path + ": " + status.message());
  }
  if (Status status = WriteLetterOptionKeys(*profile, keys.letter); !status) {
    return Status::Error("Cannot save " + path + ": " + status.message());
  }
  return files.Write(path, profile->Text());
}

}  // namespace postrider
