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
// take app passwords from mail programs of others. "openid email" asks for
// the signed-in account's address, to tell the user who signed in.
constexpr MailProvider kProviders[] = {
    {"Microsoft 365 / Outlook.com", "smtp.office365.com", "starttls", "oauth2",
     "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token",
     "https://outlook.office.com/SMTP.Send offline_access openid email"},
    {"Gmail / Google Workspace", "smtp.gmail.com", "tls", "oauth2",
     "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
     "https://mail.google.com/ openid email"},
    {"Yahoo", "smtp.mail.yahoo.com", "tls", "password", "", "", ""},
    {"iCloud", "smtp.mail.me.com", "starttls", "password", "", "", ""},
    {"Fastmail", "smtp.fastmail.com", "tls", "password", "", "", ""},
};

}  // namespace

std::span<const MailProvider> MailProviders() { return kProviders; }

const MailProvider* ProviderOfSettings(const UserSettings& settings) {
  const std::string server = AsciiLowercase(settings.smtpServer);
  for (const MailProvider& provider : kProviders) {
    if (server == provider.server) return &provider;
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
