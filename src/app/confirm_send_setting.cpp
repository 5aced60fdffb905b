#include "app/confirm_send_setting.h"

#include "platform/profile_file.h"

namespace postrider {

namespace {
constexpr const char* kSection = "Settings";
constexpr const char* kKey = "ConfirmSend";
}  // namespace

bool LoadConfirmSend(const std::string& iniPath) {
  Result<ProfileFile> profile = ProfileFile::Load(iniPath);
  // A file that cannot be read asks, the safe way.
  return !profile || profile->GetInt(kSection, kKey, 1) != 0;
}

Status SaveConfirmSend(const std::string& iniPath, bool confirm) {
  Result<ProfileFile> profile = ProfileFile::Load(iniPath);
  if (!profile) return profile.status();
  if (Status status = profile->SetInt(kSection, kKey, confirm ? 1 : 0); !status) return status;
  return profile->Save(iniPath);
}

}  // namespace postrider
