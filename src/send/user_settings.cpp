#include "send/user_settings.h"

#include <algorithm>

#include "platform/profile_file.h"
#include "platform/user_paths.h"

namespace postrider {
namespace {

constexpr const char* kSection = "Settings";
// The sizes of the buffers these values were always read through.
constexpr std::size_t kTextBuffer = 256;
constexpr std::size_t kPathBuffer = 4096;

}  // namespace

UserSettings LoadSettings(const std::string& iniPath) {
  Result<ProfileFile> profile = ProfileFile::Load(iniPath);
  if (!profile) return {};
  return SettingsFrom(*profile);
}

UserSettings SettingsFrom(const ProfileFile& profile) {
  UserSettings settings;
  settings.realName = profile.GetString(kSection, "RealName", "", kTextBuffer);
  settings.returnAddress = profile.GetString(kSection, "ReturnAddress", "", kTextBuffer);
  settings.smtpServer = profile.GetString(kSection, "SMTPServer", "", kTextBuffer);
  settings.log = profile.GetInt(kSection, "Log", 0);
  settings.currentProjectIdx = profile.GetInt(kSection, "CurrentProjectIdx", -1);
  settings.currentProjectFile =
      profile.GetString(kSection, "CurrentProjectFile", "", kPathBuffer);
  settings.security = profile.GetString(kSection, "Security", "none", kTextBuffer);
  settings.userName = profile.GetString(kSection, "UserName", "", kTextBuffer);
  settings.passwordCommand = profile.GetString(kSection, "PasswordCommand", "", kPathBuffer);
  settings.tlsTrustFile = profile.GetString(kSection, "TLSTrustFile", "", kPathBuffer);
  settings.tlsFingerprint = profile.GetString(kSection, "TLSFingerprint", "", kTextBuffer);
  settings.allowPlainAuth = profile.GetInt(kSection, "AllowPlainAuth", 0);
  settings.heloName = profile.GetString(kSection, "HeloName", "", kTextBuffer);
  // A negative count is taken for no limit.
  settings.messagesPerMinute = std::max(profile.GetInt(kSection, "MessagesPerMinute", 0), 0);
  settings.messagesPerConnection =
      std::max(profile.GetInt(kSection, "MessagesPerConnection", 0), 0);
  settings.authMethod = profile.GetString(kSection, "AuthMethod", "password", kTextBuffer);
  settings.tokenCommand = profile.GetString(kSection, "TokenCommand", "", kPathBuffer);
  settings.oauthClientId = profile.GetString(kSection, "OAuthClientId", "", kTextBuffer);
  settings.oauthClientSecret = profile.GetString(kSection, "OAuthClientSecret", "", kTextBuffer);
  settings.oauthAuthorizeUrl = profile.GetString(kSection, "OAuthAuthorizeUrl", "", kPathBuffer);
  settings.oauthTokenUrl = profile.GetString(kSection, "OAuthTokenUrl", "", kPathBuffer);
  settings.oauthScope = profile.GetString(kSection, "OAuthScope", "", kPathBuffer);
  settings.oauthTrustFile = profile.GetString(kSection, "OAuthTrustFile", "", kPathBuffer);
  return settings;
}

namespace {

Status Save(const std::string& iniPath, const UserSettings& settings, const UserSettings* loaded) {
  if (Status status = EnsureParentFolder(iniPath); !status) return status;
  // An unreadable file is not overwritten: it may hold the recent-file list.
  Result<ProfileFile> profile = ProfileFile::Load(iniPath);
  if (!profile) return profile.status();

  std::string leftOut;
  auto note = [&leftOut](const Status& status) {
    if (status) return;
    if (!leftOut.empty()) leftOut += '\n';
    leftOut += status.message();
  };
  // What this program did not change since it read the file stays as the
  // file has it now: another program, or a hand edit, may have changed it.
  auto othersValue = [&](const char* key, auto UserSettings::*member) {
    return loaded != nullptr && loaded->*member == settings.*member &&
           profile->Find(kSection, key).has_value();
  };
  // A value the file gives back already, read as SettingsFrom reads it, is
  // left as it stands.
  auto setString = [&](const char* key, std::string UserSettings::*member, std::size_t buffer) {
    if (othersValue(key, member)) return;
    note(profile->KeepOrSetString(kSection, key, settings.*member, buffer));
  };
  auto setInt = [&](const char* key, int UserSettings::*member) {
    if (othersValue(key, member)) return;
    note(profile->SetInt(kSection, key, settings.*member));
  };
  setString("RealName", &UserSettings::realName, kTextBuffer);
  setString("ReturnAddress", &UserSettings::returnAddress, kTextBuffer);
  setString("SMTPServer", &UserSettings::smtpServer, kTextBuffer);
  setInt("Log", &UserSettings::log);
  setInt("CurrentProjectIdx", &UserSettings::currentProjectIdx);
  setString("CurrentProjectFile", &UserSettings::currentProjectFile, kPathBuffer);
  setString("Security", &UserSettings::security, kTextBuffer);
  setString("UserName", &UserSettings::userName, kTextBuffer);
  setString("PasswordCommand", &UserSettings::passwordCommand, kPathBuffer);
  setString("TLSTrustFile", &UserSettings::tlsTrustFile, kPathBuffer);
  setString("TLSFingerprint", &UserSettings::tlsFingerprint, kTextBuffer);
  setInt("AllowPlainAuth", &UserSettings::allowPlainAuth);
  setString("HeloName", &UserSettings::heloName, kTextBuffer);
  setInt("MessagesPerMinute", &UserSettings::messagesPerMinute);
  setInt("MessagesPerConnection", &UserSettings::messagesPerConnection);
  // The sign-in's keys: written once they mean something.
  auto noteIfUsed = [&](const char* key, std::string UserSettings::*member,
                        const std::string& fallback, std::size_t buffer) {
    if (settings.*member != fallback || profile->Find(kSection, key)) {
      setString(key, member, buffer);
    }
  };
  noteIfUsed("AuthMethod", &UserSettings::authMethod, "password", kTextBuffer);
  noteIfUsed("TokenCommand", &UserSettings::tokenCommand, "", kPathBuffer);
  noteIfUsed("OAuthClientId", &UserSettings::oauthClientId, "", kTextBuffer);
  noteIfUsed("OAuthClientSecret", &UserSettings::oauthClientSecret, "", kTextBuffer);
  noteIfUsed("OAuthAuthorizeUrl", &UserSettings::oauthAuthorizeUrl, "", kPathBuffer);
  noteIfUsed("OAuthTokenUrl", &UserSettings::oauthTokenUrl, "", kPathBuffer);
  noteIfUsed("OAuthScope", &UserSettings::oauthScope, "", kPathBuffer);
  noteIfUsed("OAuthTrustFile", &UserSettings::oauthTrustFile, "", kPathBuffer);

  // A client secret in the file, this program's or another's, is kept from
  // the machine's other users.
  const std::optional<std::string> secret = profile->Find(kSection, "OAuthClientSecret");
  const FileReaders readers =
      secret && !secret->empty() ? FileReaders::OwnerOnly : FileReaders::AsBefore;
  if (Status status = profile->Save(iniPath, readers); !status) return status;
  if (!leftOut.empty()) return Status::Error(leftOut);
  return Status::Ok();
}

}  // namespace

Status SaveSettings(const std::string& iniPath, const UserSettings& settings) {
  return Save(iniPath, settings, nullptr);
}

Status SaveSettings(const std::string& iniPath, const UserSettings& settings,
                    const UserSettings& loaded) {
  return Save(iniPath, settings, &loaded);
}

}  // namespace postrider
