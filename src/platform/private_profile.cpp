#include "platform/private_profile.h"

#include "platform/profile_file.h"

namespace postrider {

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path,
                                    std::size_t bufferSize) {
  const Result<ProfileFile> profile = ProfileFile::Load(path);
  if (!profile) return ProfileFile().GetString(section, key, fallback, bufferSize);
  return profile->GetString(section, key, fallback, bufferSize);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int fallback,
                         const std::string& path) {
  const Result<ProfileFile> profile = ProfileFile::Load(path);
  if (!profile) return fallback;
  return profile->GetInt(section, key, fallback);
}

Status WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, const std::string& path) {
  Result<ProfileFile> profile = ProfileFile::Load(path);
  if (!profile) return profile.status();
  if (Status stored = profile->SetString(section, key, value); !stored) {
    return Status::Error("Cannot write \"" + path + "\": " + stored.message());
  }
  return profile->Save(path);
}

}  // namespace postrider
