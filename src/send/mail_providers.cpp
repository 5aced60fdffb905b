#include "send/mail_providers.h"

#include "platform/ascii_text.h"

namespace postrider {
namespace {

// Checked against each provider's pages on OAuth and on mail clients' settings.
// Microsoft: "Authenticate an IMAP, POP or SMTP connection using OAuth" (the
// SMTP.Send scope, offline_access, XOAUTH2) and the identity platform's
// authorization code flow (the v2.0 endpoints; "common" serves work and
// personal accounts). Google: "OAuth 2.0 for Mobile & Desktop Apps" and "XOAUTH2
// protocol" (the scope https://mail.google.com/). Yahoo, iCloud and Fastmail
// take app passwords from mail programs of others. Microsoft's submission
// port is 587 with STARTTLS ("How to set up a multifunction device or
// application to send email using Microsoft 365"); the others' implicit TLS
// port 465, iCloud's 587, as their mail-settings pages give them. "openid email" asks for
// the signed-in account's address, to tell the user who signed in.
constexpr MailProvider kProviders[] = {
    {"Microsoft 365 / Outlook.com", "smtp.office365.com:587", "starttls", "oauth2",
     "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token",
     "https://outlook.office.com/SMTP.Send offline_access openid email"},
    {"Gmail / Google Workspace", "smtp.gmail.com:465", "tls", "oauth2",
     "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
     "https://mail.google.com/ openid email"},
    {"Yahoo", "smtp.mail.yahoo.com:465", "tls", "password", "", "", ""},
    {"iCloud", "smtp.mail.me.com:587", "starttls", "password", "", "", ""},
    {"Fastmail", "smtp.fastmail.com:465", "tls", "password", "", "", ""},
};

}  // namespace

std::span<const MailProvider> MailProviders() { return kProviders; }

const MailProvider* ProviderOfSettings(const UserSettings& settings) {
  // The host decides: a user may have chosen the provider's other port.
  const std::string server = AsciiLowercase(settings.smtpServer);
  const std::string host = server.substr(0, server.find(':'));
  for (const MailProvider& provider : kProviders) {
    if (host == provider.server.substr(0, provider.server.find(':'))) return &provider;
  }
  return nullptr;
}

void ApplyMailProvider(const MailProvider& provider, UserSettings& settings) {
  settings.smtpServer = provider.server;
  settings.security = provider.security;
  settings.authMethod = provider.authMethod;
  if (provider.authMethod == "oauth2") {
    // A client registration belongs to one provider.
    if (settings.oauthTokenUrl != provider.tokenUrl) {
      settings.oauthClientId.clear();
      settings.oauthClientSecret.clear();
    }
    settings.oauthAuthorizeUrl = provider.authorizeUrl;
    settings.oauthTokenUrl = provider.tokenUrl;
    settings.oauthScope = provider.scope;
  }
}

}  // namespace postrider
