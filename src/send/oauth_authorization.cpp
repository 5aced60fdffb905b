#include "send/oauth_authorization.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <vector>

#include "platform/base64.h"
#include "platform/url_text.h"

namespace postrider {

Result<std::string> RandomUrlSafeText(std::size_t bytes) {
  std::vector<unsigned char> random(bytes);
  if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
    return Status::Error("The system gave no random numbers for the sign-in.");
  }
  return Base64Url(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
}

std::string PkceChallengeOf(std::string_view verifier) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
  return Base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string AuthorizationUrl(const OAuthClient& client, const std::string& redirectUri,
                             const std::string& state, const std::string& challenge,
                             const std::string& loginHint) {
  std::vector<std::pair<std::string, std::string>> fields = {
      {"response_type", "code"},
      {"client_id", client.clientId},
      {"redirect_uri", redirectUri},
      {"scope", client.scope},
      {"state", state},
      {"code_challenge", challenge},
      {"code_challenge_method", "S256"},
  };
  if (!loginHint.empty()) fields.emplace_back("login_hint", loginHint);
  const char joiner = client.authorizeUrl.find('?') == std::string::npos ? '?' : '&';
  return client.authorizeUrl + joiner + FormEncode(fields);
}

}  // namespace postrider
