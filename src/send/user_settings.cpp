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

Status SaveSettings(const std::string& iniPath, const UserSettings& settings) {
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
  // A value the file gives back already, read as SettingsFrom reads it, is
  // left as it stands.
  auto setString = [&](const char* key, const std::string& value, std::size_t buffer) {
    note(profile->KeepOrSetString(kSection, key, value, buffer));
  };
  setString("RealName", settings.realName, kTextBuffer);
  setString("ReturnAddress", settings.returnAddress, kTextBuffer);
  setString("SMTPServer", settings.smtpServer, kTextBuffer);
  note(profile->SetInt(kSection, "Log", settings.log));
  note(profile->SetInt(kSection, "CurrentProjectIdx", settings.currentProjectIdx));
  setString("CurrentProjectFile", settings.currentProjectFile, kPathBuffer);
  setString("Security", settings.security, kTextBuffer);
  setString("UserName", settings.userName, kTextBuffer);
  setString("PasswordCommand", settings.passwordCommand, kPathBuffer);
  setString("TLSTrustFile", settings.tlsTrustFile, kPathBuffer);
  setString("TLSFingerprint", settings.tlsFingerprint, kTextBuffer);
  note(profile->SetInt(kSection, "AllowPlainAuth", settings.allowPlainAuth));
  setString("HeloName", settings.heloName, kTextBuffer);
  note(profile->SetInt(kSection, "MessagesPerMinute", settings.messagesPerMinute));
  note(profile->SetInt(kSection, "MessagesPerConnection", settings.messagesPerConnection));
  // The sign-in's keys: written once they mean something.
  auto noteIfUsed = [&](const char* key, const std::string& value, const std::string& fallback,
                        std::size_t buffer) {
    if (value != fallback || profile->Find(kSection, key)) setString(key, value, buffer);
  };
  noteIfUsed("AuthMethod", settings.authMethod, "password", kTextBuffer);
  noteIfUsed("TokenCommand", settings.tokenCommand, "", kPathBuffer);
  noteIfUsed("OAuthClientId", settings.oauthClientId, "", kTextBuffer);
  noteIfUsed("OAuthClientSecret", settings.oauthClientSecret, "", kTextBuffer);
  noteIfUsed("OAuthAuthorizeUrl", settings.oauthAuthorizeUrl, "", kPathBuffer);
  noteIfUsed("OAuthTokenUrl", settings.oauthTokenUrl, "", kPathBuffer);
  noteIfUsed("OAuthScope", settings.oauthScope, "", kPathBuffer);
  noteIfUsed("OAuthTrustFile", settings.oauthTrustFile, "", kPathBuffer);

  // A client secret is kept from the machine's other users.
  const FileReaders readers =
      settings.oauthClientSecret.empty() ? FileReaders::AsBefore : FileReaders::OwnerOnly;
  if (Status status = profile->Save(iniPath, readers); !status) return status;
  if (!leftOut.empty()) return Status::Error(leftOut);
  return Status::Ok();
}

}  // namespace postrider
