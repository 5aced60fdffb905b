#include "send/oauth_token_endpoint.h"

#include <utility>
#include <vector>

#include "platform/https_post.h"
#include "platform/url_text.h"

namespace postrider {
namespace {

TokenEndpointAnswer Post(const OAuthClient& client,
                         std::vector<std::pair<std::string, std::string>> fields) {
  fields.emplace_back("client_id", client.clientId);
  // A desktop client's secret is no secret (RFC 8252 8.5), but a provider
  // that issued one wants it.
  if (!client.clientSecret.empty()) fields.emplace_back("client_secret", client.clientSecret);
  std::string form = FormEncode(fields);
  HttpsOptions options;
  options.trustFile = client.trustFile;
  HttpsExchange exchange = PostForm(client.tokenUrl, form, options);
  WipeString(form);
  TokenEndpointAnswer answer;
  answer.cancelled = exchange.cancelled;
  answer.noAnswer = exchange.error;
  if (exchange.answered()) answer.response = ReadTokenResponse(exchange.status, exchange.body);
  WipeString(exchange.body);
  // An endpoint may quote what it was sent back in its error, in any form:
  // hidden as it came, before it is made printable.
  for (auto& [name, value] : fields) {
    if (name != "grant_type" && name != "client_id" && name != "redirect_uri" && name != "scope") {
      for (std::string* said : {&answer.response.error, &answer.response.description}) {
        *said = ConcealSecret(*said, value);
      }
    }
    WipeString(value);
  }
  return answer;
}

}  // namespace

TokenEndpointAnswer ExchangeAuthorizationCode(const OAuthClient& client, const std::string& code,
                                              const std::string& redirectUri,
                                              const std::string& verifier) {
  return Post(client, {{"grant_type", "authorization_code"},
                       {"code", code},
                       {"redirect_uri", redirectUri},
                       {"code_verifier", verifier}});
}

TokenEndpointAnswer RefreshAccessToken(const OAuthClient& client, const Secret& refreshToken) {
  std::vector<std::pair<std::string, std::string>> fields = {
      {"grant_type", "refresh_token"}, {"refresh_token", std::string(refreshToken.reveal())}};
  if (RefreshNamesScope(client.tokenUrl) && !client.scope.empty()) {
    fields.emplace_back("scope", client.scope);
  }
  return Post(client, std::move(fields));
}

}  // namespace postrider
