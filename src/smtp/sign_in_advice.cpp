#include "smtp/sign_in_advice.h"

#include "platform/ascii_text.h"
#include "smtp/enhanced_status.h"

namespace postrider {
namespace {

constexpr const char* kChooseOAuth =
    "This account does not sign in with its password here: choose the OAuth 2.0 sign-in "
    "(Sign-in method OAuth 2.0 in Configure, or AuthMethod=oauth2) and sign in.";

bool Has(const std::string& lowerText, const char* words) {
  return lowerText.find(words) != std::string::npos;
}

}  // namespace

std::string PasswordRefusalAdvice(const SmtpReply& reply) {
  if (reply.code < 500 || reply.code > 599) return {};
  const std::optional<EnhancedStatus> status = EnhancedStatusOf(reply);
  if (!status || status->statusClass != 5 || status->subject != 7) return {};
  const std::string text = AsciiLowercase(reply.text);
  switch (status->detail) {
    case 30:  // Microsoft: basic authentication is off for client submission
      return kChooseOAuth;
    case 139:  // Microsoft: authentication unsuccessful, in its several forms
      if (Has(text, "smtpclientauthentication is disabled")) {
        return "Authenticated SMTP is turned off for this mailbox or organisation: an "
               "administrator of Microsoft 365 must turn it on (the OAuth 2.0 sign-in needs it "
               "too).";
      }
      return kChooseOAuth;
    case 9:  // Google's application-specific password required
      if (Has(text, "application-specific password")) {
        return "Google takes no account password here: choose the OAuth 2.0 sign-in "
               "(Sign-in method OAuth 2.0 in Configure, or AuthMethod=oauth2), or make an app "
               "password in the Google Account's security settings and give that as the "
               "password.";
      }
      return {};
    default:
      return {};
  }
}

std::string WithPasswordRefusalAdvice(std::string failureText, const SmtpReply& reply) {
  const std::string advice = PasswordRefusalAdvice(reply);
  if (advice.empty()) return failureText;
  if (!failureText.empty()) failureText += '\n';
  failureText += advice;
  return failureText;
}

}  // namespace postrider
