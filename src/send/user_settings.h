#pragma once

#include <string>

#include "platform/profile_file.h"
#include "platform/status.h"

namespace postrider {

// The per-user values that belong to no project, kept in section "Settings"
// of the settings file.
struct UserSettings {
  std::string realName;        // RealName: the sender's display name
  std::string returnAddress;   // ReturnAddress: MAIL FROM and the From: address
  std::string smtpServer;      // SMTPServer: host, host:port or [ipv6]:port
  int log = 0;                 // Log: nonzero appends every send run to the send log
  int currentProjectIdx = -1;  // CurrentProjectIdx: read and written back unchanged
  std::string currentProjectFile;  // CurrentProjectFile: the project opened or saved last

  // How the server is reached; the defaults are what a file without these
  // keys always meant: plain SMTP, no log-in.
  std::string security = "none";  // Security: none, starttls or tls, in any letter case
  std::string userName;           // UserName: empty, no AUTH
  std::string passwordCommand;    // PasswordCommand: its first output line is the password
  std::string tlsTrustFile;       // TLSTrustFile: PEM of CA certificates or the server's own
  std::string tlsFingerprint;     // TLSFingerprint: SHA-256 of the one certificate to accept
  int allowPlainAuth = 0;         // AllowPlainAuth: 1 lets the password cross without TLS
  std::string heloName;           // HeloName: empty, this host's full name or address literal

  // For providers that limit senders; 0 means no limit.
  int messagesPerMinute = 0;      // MessagesPerMinute: at most so many messages begin a minute
  int messagesPerConnection = 0;  // MessagesPerConnection: then QUIT and connect again

  // How UserName signs in: "password" (the default) or "oauth2", with an
  // access token from the provider's OAuth 2.0 sign-in or from TokenCommand.
  std::string authMethod = "password";  // AuthMethod
  std::string tokenCommand;       // TokenCommand: its first output line is an access token
  std::string oauthClientId;      // OAuthClientId: the client registered with the provider
  std::string oauthClientSecret;  // OAuthClientSecret: not confidential for a desktop client
  std::string oauthAuthorizeUrl;  // OAuthAuthorizeUrl: where the browser signs in
  std::string oauthTokenUrl;      // OAuthTokenUrl: where codes and refresh tokens are exchanged
  std::string oauthScope;         // OAuthScope: blank-separated scopes asked for
  std::string oauthTrustFile;     // OAuthTrustFile: CA certificates for those two URLs instead of the system's

  bool operator==(const UserSettings&) const = default;
};

// Reads the values; a missing file, section or key gives its default,
// and so does a file that cannot be read. No password is ever read from or
// written to the file.
UserSettings LoadSettings(const std::string& iniPath);
// The same from a file already read.
UserSettings SettingsFrom(const ProfileFile& profile);

// Writes the values (the six of old first, then the server's, then the
// sign-in's, these only when set or already in the file, so a password
// user's file keeps its look) in one replace of the file, creating its
// folder, and keeps everything else the file holds (the recent-file list
// above all).
// Values are stored exactly as given. A value the file cannot hold (one with
// a line break) keeps its old value; the others are still written, and the
// result names what was left out.
Status SaveSettings(const std::string& iniPath, const UserSettings& settings);
// The same for a program that read the file as `loaded` and holds it since:
// a value it did not change is left as the file holds it now, so what
// another program or a hand edit changed meanwhile is not written over.
Status SaveSettings(const std::string& iniPath, const UserSettings& settings,
                    const UserSettings& loaded);

}  // namespace postrider
