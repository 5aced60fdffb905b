#include "send/oauth_token_response.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

#include "platform/ascii_text.h"
#include "platform/base64.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

std::string StringOf(const nlohmann::json& document, const char* key) {
  const auto found = document.find(key);
  if (found == document.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

constexpr long long kLongestLifeSeconds = 366LL * 24 * 3600;

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::istringstream split{std::string(text)};
  for (std::string word; split >> word;) words.push_back(word);
  return words;
}

}  // namespace

std::string ProviderWords(std::string_view text) {
  constexpr std::size_t kMost = 400;
  if (text.size() <= kMost) return PrintableText(text);
  std::size_t cut = kMost;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return PrintableText(text.substr(0, cut)) + "...";
}

std::string TokenResponse::ErrorText() const {
  std::string text = ProviderWords(error);
  if (!description.empty()) text += (text.empty() ? "" : ": ") + ProviderWords(description);
  return text;
}

TokenResponse ReadTokenResponse(long httpStatus, std::string_view body) {
  TokenResponse response;
  nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
  const bool isObject = !document.is_discarded() && document.is_object();
  if (isObject && document.contains("error")) {
    response.error = StringOf(document, "error");
    response.description = StringOf(document, "error_description");
    if (response.error.empty()) response.error = "error";
    return response;
  }
  if (httpStatus < 200 || httpStatus > 299) {
    response.error = "HTTP status " + std::to_string(httpStatus);
    response.description = isObject ? "" : "the answer is no token response";
    return response;
  }
  if (!isObject || StringOf(document, "access_token").empty()) {
    response.error = "no_token";
    response.description = "the token endpoint's answer holds no access token";
    return response;
  }
  if (!IsAccessTokenText(StringOf(document, "access_token"))) {
    response.error = "no_token";
    response.description =
        "the token endpoint's access token holds characters no access token has";
    return response;
  }
  const std::string type = AsciiLowercase(StringOf(document, "token_type"));
  if (!type.empty() && type != "bearer") {
    response.error = "unsupported_token_type";
    response.description = "the token endpoint gave a " + PrintableText(type) +
                           " token; SMTP takes bearer tokens only";
    return response;
  }
  TokenGrant grant;
  std::string access = StringOf(document, "access_token");
  grant.accessToken = Secret(access);
  WipeString(access);
  std::string refresh = StringOf(document, "refresh_token");
  grant.refreshToken = Secret(refresh);
  WipeString(refresh);
  if (const auto expires = document.find("expires_in"); expires != document.end()) {
    // Some endpoints send the number as a string.
    long long seconds = 0;
    if (expires->is_number_integer()) {
      seconds = expires->get<long long>();
    } else if (expires->is_string()) {
      seconds = std::atoll(expires->get<std::string>().c_str());
    }
    // Far beyond any real token's life, and no overflow of the clock's sums.
    grant.expiresIn = std::chrono::seconds(std::clamp(seconds, 0LL, kLongestLifeSeconds));
  }
  grant.scope = StringOf(document, "scope");
  grant.account = AccountOfIdToken(StringOf(document, "id_token"));
  // The document's copies of the tokens go with it.
  for (const char* key : {"access_token", "refresh_token", "id_token"}) {
    if (auto found = document.find(key); found != document.end() && found->is_string()) {
      WipeString(found->get_ref<std::string&>());
    }
  }
  response.grant = std::move(grant);
  return response;
}

bool IsAccessTokenText(std::string_view token) {
  return !token.empty() && std::all_of(token.begin(), token.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7e;
  });
}

std::string AccountOfIdToken(std::string_view idToken) {
  const std::size_t first = idToken.find('.');
  if (first == std::string_view::npos) return {};
  const std::size_t second = idToken.find('.', first + 1);
  if (second == std::string_view::npos) return {};
  const std::optional<std::string> payload = DecodeBase64(idToken.substr(first + 1, second - first - 1));
  if (!payload) return {};
  const nlohmann::json claims = nlohmann::json::parse(*payload, nullptr, false);
  if (claims.is_discarded() || !claims.is_object()) return {};
  for (const char* claim : {"email", "preferred_username", "upn"}) {
    if (std::string value = StringOf(claims, claim); !value.empty()) return PrintableText(value);
  }
  return {};
}

std::vector<std::string> MissingScopes(std::string_view requested, std::string_view granted) {
  static const std::vector<std::string> kGrantedUnlisted = {"openid", "email", "profile",
                                                            "offline_access"};
  const std::vector<std::string> have = Words(granted);
  std::vector<std::string> missing;
  for (const std::string& scope : Words(requested)) {
    if (std::find(kGrantedUnlisted.begin(), kGrantedUnlisted.end(), scope) !=
        kGrantedUnlisted.end()) {
      continue;
    }
    if (std::find(have.begin(), have.end(), scope) == have.end()) missing.push_back(scope);
  }
  return missing;
}

}  // namespace postrider
