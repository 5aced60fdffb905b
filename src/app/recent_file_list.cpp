#include "app/recent_file_list.h"

#include <algorithm>

#include "platform/profile_file.h"
#include "platform/user_paths.h"

namespace postrider {

namespace {

constexpr const char* kSection = "Recent File List";
// Paths are read through a buffer the size of the longest Linux path.
constexpr std::size_t kPathBuffer = 4096;

std::string KeyOf(int index) { return "File" + std::to_string(index + 1); }

}  // namespace

void RecentFileList::Load(const std::string& iniPath) {
  Result<ProfileFile> profile = ProfileFile::Load(iniPath);
  if (profile) {
    ReadFrom(*profile);
  } else {
    entries_.clear();
  }
}

void RecentFileList::ReadFrom(const ProfileFile& profile) {
  entries_.clear();
  for (int i = 0; i < kMaxEntries; ++i) {
    std::string path = profile.GetString(kSection, KeyOf(i), "", kPathBuffer);
    if (path.empty() || std::find(entries_.begin(), entries_.end(), path) != entries_.end()) {
      continue;
    }
    entries_.push_back(std::move(path));
  }
}

Status RecentFileList::WriteTo(ProfileFile& profile) const {
  Status result = Status::Ok();
  for (int i = 0; i < kMaxEntries; ++i) {
    const std::string value = i < size() ? at(i) : std::string();
    Status status = profile.SetString(kSection, KeyOf(i), value);
    if (!status) {
      // A path the file cannot hold (one with a line break) is left out
      // rather than leaving an older entry in its place.
      profile.SetString(kSection, KeyOf(i), "");
      if (result) result = status;
    }
  }
  return result;
}

Status RecentFileList::Save(const std::string& iniPath) const {
  if (Status status = EnsureParentFolder(iniPath); !status) return status;
  // One replace of the file for the whole list; an unreadable file is not
  // overwritten, as it holds the user's settings too.
  Result<ProfileFile> profile = ProfileFile::Load(iniPath);
  if (!profile) return profile.status();
  Status result = WriteTo(*profile);
  if (Status saved = profile->Save(iniPath); !saved) return saved;
  return result;
}

Status RecentFileList::AddAndSave(const std::string& iniPath, const std::string& path) {
  return ChangeStored(iniPath, [&] { Add(path); });
}

Status RecentFileList::RemoveAndSave(const std::string& iniPath, const std::string& path) {
  return ChangeStored(iniPath, [&] { std::erase(entries_, path); });
}

Status RecentFileList::ChangeStored(const std::string& iniPath,
                                    const std::function<void()>& change) {
  const Status ready = EnsureParentFolder(iniPath);
  Result<ProfileFile> profile = ready ? ProfileFile::Load(iniPath) : Result<ProfileFile>(ready);
  if (profile) ReadFrom(*profile);
  change();
  if (!profile) return profile.status();
  Status result = WriteTo(*profile);
  if (Status saved = profile->Save(iniPath); !saved) return saved;
  return result;
}

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  std::erase(entries_, path);
  entries_.insert(entries_.begin(), path);
  if (size() > kMaxEntries) entries_.resize(kMaxEntries);
}

void RecentFileList::Remove(int index) {
  if (index < 0 || index >= size()) return;
  entries_.erase(entries_.begin() + index);
}

}  // namespace postrider
