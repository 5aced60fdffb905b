#include "send/oauth_sign_in.h"

#include "platform/ascii_text.h"
#include "platform/browser_launch.h"
#include "platform/loopback_redirect.h"
#include "send/oauth_authorization.h"
#include "send/oauth_client.h"
#include "send/oauth_token_endpoint.h"
#include "send/oauth_token_response.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

SignInResult Failed(OAuthFailure failure, std::string message) {
  SignInResult result;
  result.failure = failure;
  result.message = std::move(message);
  return result;
}

std::string Field(const std::map<std::string, std::string>& fields, const char* name) {
  const auto found = fields.find(name);
  return found == fields.end() ? std::string() : found->second;
}

// The page the browser shows once it has brought the answer back.
std::string RedirectPage(const std::map<std::string, std::string>& fields) {
  const std::string error = Field(fields, "error");
  const std::string text =
      error.empty() ? "Postrider has the sign-in. You can close this window and go back to "
                      "Postrider."
                    : "The sign-in was refused: " + error + ". Postrider says more.";
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Postrider</title></head>"
         "<body><p>" +
         HtmlEscape(text) + "</p></body></html>";
}

std::string Join(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : " ") + word;
  return joined;
}

}  // namespace

SignInResult SignIn(const UserSettings& settings, OAuthTokens& tokens,
                    const SignInOptions& options) {
  const Result<OAuthClient> client = OAuthClientFromSettings(settings);
  if (!client) return Failed(OAuthFailure::Settings, client.status().message());
  KeepSecretsOutOfCoreDumps();  // the code, the verifier and the tokens to come
  LoopbackRedirect listener;
  if (const Status opened = listener.Open(); !opened) {
    return Failed(OAuthFailure::NoAnswer, opened.message());
  }
  Result<std::string> verifier = RandomUrlSafeText(32);
  const Result<std::string> state = RandomUrlSafeText(24);
  if (!verifier || !state) return Failed(OAuthFailure::NoAnswer, verifier.status().message());
  const std::string redirectUri = listener.RedirectUri(RedirectHostFor(client->authorizeUrl));
  const std::string address = AuthorizationUrl(*client, redirectUri, *state,
                                               PkceChallengeOf(*verifier), settings.userName);

  const Status browser = options.openBrowser
                             ? OpenInBrowser(address)
                             : Status::Error("No browser was asked to open it.");
  if (options.addressReady) options.addressReady(address, browser);

  RedirectOutcome outcome = listener.Wait(*state, options.wait, RedirectPage);
  if (outcome.cancelled) return Failed(OAuthFailure::Cancelled, "The sign-in was cancelled.");
  if (outcome.timedOut) {
    return Failed(OAuthFailure::NoAnswer,
                  "No sign-in came back from the browser within " +
                      DurationText(std::chrono::duration_cast<std::chrono::milliseconds>(
                          options.wait)) +
                      ".");
  }
  if (!outcome.error.empty()) return Failed(OAuthFailure::NoAnswer, outcome.error);
  if (const std::string error = Field(outcome.fields, "error"); !error.empty()) {
    std::string words = ProviderWords(error);
    if (const std::string said = Field(outcome.fields, "error_description"); !said.empty()) {
      words += ": " + ProviderWords(said);
    }
    return Failed(OAuthFailure::Refused, "The provider refused the sign-in: " + words);
  }
  std::string code = Field(outcome.fields, "code");
  if (code.empty()) {
    return Failed(OAuthFailure::NoAnswer, "The browser came back without an authorization code.");
  }
  for (auto& field : outcome.fields) WipeString(field.second);

  TokenEndpointAnswer answer = ExchangeAuthorizationCode(*client, code, redirectUri, *verifier);
  WipeString(code);
  WipeString(verifier.value());
  if (answer.cancelled) return Failed(OAuthFailure::Cancelled, "The sign-in was cancelled.");
  if (!answer.noAnswer.empty()) {
    return Failed(OAuthFailure::NoAnswer, "The sign-in could not be finished: " + answer.noAnswer);
  }
  if (!answer.response.grant) {
    return Failed(OAuthFailure::Refused,
                  "The provider refused the sign-in: " + answer.response.ErrorText());
  }
  TokenGrant& grant = *answer.response.grant;
  if (!grant.scope.empty()) {
    const std::vector<std::string> missing = MissingScopes(client->scope, grant.scope);
    if (!missing.empty()) {
      return Failed(OAuthFailure::Refused,
                    "The provider granted " + PrintableText(grant.scope) + " but not " +
                        PrintableText(Join(missing)) +
                        ", which sending needs: sign in again and allow it.");
    }
  }

  SignInResult result;
  result.account = grant.account;
  if (!grant.account.empty() &&
      AsciiLowercase(grant.account) != AsciiLowercase(settings.userName)) {
    result.notes += "The account signed in is " + grant.account + ", but UserName is " +
                    PrintableText(settings.userName) +
                    ": the server takes the token only for the account it was issued to.\n";
  }
  if (grant.refreshToken.empty()) {
    result.notes +=
        "The provider gave no refresh token (does OAuthScope ask for offline_access?), so "
        "Postrider must sign in again once this access token expires.\n";
  }
  if (const Status kept = tokens.Keep(settings, std::move(grant)); !kept) {
    result.storeError = kept.message();
  }
  if (!result.notes.empty()) result.notes.pop_back();
  return result;
}

}  // namespace postrider
