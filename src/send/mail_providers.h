#pragma once

#include <span>
#include <string_view>

#include "send/user_settings.h"

namespace postrider {

// A provider's submission server and sign-in, as its own documentation gives
// them. The OAuth client registration is not among them: the program ships
// none, each user or administrator registers one (OAuthClientId).
struct MailProvider {
  std::string_view name;        // as the Provider box shows it
  std::string_view server;      // SMTPServer
  std::string_view security;    // Security
  std::string_view authMethod;  // AuthMethod
  std::string_view authorizeUrl;  // OAuthAuthorizeUrl, for AuthMethod=oauth2
  std::string_view tokenUrl;      // OAuthTokenUrl
  std::string_view scope;         // OAuthScope
};

// Microsoft 365 / Outlook.com, Gmail / Google Workspace, Yahoo, iCloud, Fastmail.
std::span<const MailProvider> MailProviders();

// The provider whose server the settings name; nothing for any other server ("Other").
const MailProvider* ProviderOfSettings(const UserSettings& settings);

// The provider's server, security, sign-in method and endpoints over the
// settings; the user name and all else stay, the client registration too
// unless it was made for another provider's token endpoint.
void ApplyMailProvider(const MailProvider& provider, UserSettings& settings);

}  // namespace postrider
