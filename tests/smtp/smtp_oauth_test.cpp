#include "smtp/smtp_oauth.h"

#include <gtest/gtest.h>

#include "platform/base64.h"
#include "smtp/sign_in_advice.h"

namespace postrider {
namespace {

SmtpCapabilities Offering(std::vector<std::string> mechanisms) {
  SmtpCapabilities capabilities;
  capabilities.extended = true;
  capabilities.authOffered = mechanisms;
  capabilities.authMechanisms = std::move(mechanisms);
  return capabilities;
}

TEST(SmtpOAuth, InitialResponsesCarryUserAndTokenAsTheMechanismsWriteThem) {
  struct Case {
    SmtpOAuthMechanism mechanism;
    std::string user;
    std::string expected;  // before base64
  };
  const Case cases[] = {
      // Google's documented example.
      {SmtpOAuthMechanism::XOAuth2, "someuser@example.com",
       "user=someuser@example.com\x01" "auth=Bearer ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg\x01\x01"},
      // RFC 7628's form, host and port of the connection.
      {SmtpOAuthMechanism::OAuthBearer, "someuser@example.com",
       "n,a=someuser@example.com,\x01" "host=smtp.example.com\x01" "port=587\x01"
       "auth=Bearer ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg\x01\x01"},
      // A ',' or '=' in the user would end the authzid: escaped.
      {SmtpOAuthMechanism::OAuthBearer, "a,b=c@example.com",
       "n,a=a=2Cb=3Dc@example.com,\x01" "host=smtp.example.com\x01" "port=587\x01"
       "auth=Bearer ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg\x01\x01"},
  };
  for (const Case& c : cases) {
    const std::string response = OAuthInitialResponse(
        c.mechanism, c.user, "smtp.example.com", 587, "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg");
    EXPECT_EQ(DecodeBase64(response), c.expected) << c.user;
  }
  EXPECT_EQ(OAuthInitialResponse(SmtpOAuthMechanism::XOAuth2, "someuser@example.com", "", 0,
                                 "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"),
            "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52"
            "YjNSbGNrQmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
}

TEST(SmtpOAuth, OAuthBearerComesFirstXOAuth2NextAndNeitherWithoutTls) {
  struct Case {
    std::vector<std::string> offered;
    bool encrypted;
    std::optional<SmtpOAuthMechanism> chosen;
    std::string refusalHolds;
  };
  const Case cases[] = {
      {{"PLAIN", "XOAUTH2", "OAUTHBEARER"}, true, SmtpOAuthMechanism::OAuthBearer, ""},
      {{"LOGIN", "XOAUTH2"}, true, SmtpOAuthMechanism::XOAuth2, ""},
      {{"PLAIN", "LOGIN"}, true, std::nullopt, "offers AUTH PLAIN LOGIN, but neither"},
      {{}, true, std::nullopt, "offers no AUTH"},
      {{"OAUTHBEARER"}, false, std::nullopt, "without TLS"},
  };
  for (const Case& c : cases) {
    const OAuthMechanismChoice choice =
        ChooseOAuthMechanism(Offering(c.offered), c.encrypted, "ann@example.com");
    EXPECT_EQ(choice.mechanism, c.chosen);
    EXPECT_NE(choice.refusal.find(c.refusalHolds), std::string::npos) << choice.refusal;
    EXPECT_EQ(choice.mechanism.has_value(), choice.refusal.empty());
  }
}

TEST(SmtpOAuth, AChallengesErrorDocumentIsReadAndAnsweredSoTheServerEndsTheExchange) {
  struct Case {
    std::string challenge;
    bool read;
    std::string status, scope, schemes;
  };
  const Case cases[] = {
      // Google's example, with a line break in its base64 removed.
      {"eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIG1hYyIsInNjb3BlIjoiaHR0cHM6Ly9t"
       "YWlsLmdvb2dsZS5jb20vIn0K",
       true, "401", "https://mail.google.com/", "bearer mac"},
      // RFC 7628's, with a number for status.
      {Base64(R"({"status":401,"scope":"example_scope",)"
              R"("openid-configuration":"https://example.com/.well-known/openid-configuration"})"),
       true, "401", "example_scope", ""},
      {Base64(R"({"status":"invalid_token"})"), true, "invalid_token", "", ""},
      {"", false, "", "", ""},
      {"not base64!", false, "", "", ""},
      {Base64("Go ahead"), false, "", "", ""},
      {Base64("[1,2]"), false, "", "", ""},
      {Base64("{}"), false, "", "", ""},
  };
  for (const Case& c : cases) {
    const std::optional<OAuthErrorDocument> document = ReadOAuthChallenge(c.challenge);
    ASSERT_EQ(document.has_value(), c.read) << c.challenge;
    if (!document) continue;
    EXPECT_EQ(document->status, c.status);
    EXPECT_EQ(document->scope, c.scope);
    EXPECT_EQ(document->schemes, c.schemes);
  }
  EXPECT_EQ(DecodeBase64(OAuthChallengeAnswer(SmtpOAuthMechanism::OAuthBearer)),
            std::string("\x01"));
  EXPECT_EQ(OAuthChallengeAnswer(SmtpOAuthMechanism::XOAuth2), "");
}

TEST(SmtpOAuth, ARefusalKeepsTheServersWordsAndTheDocuments) {
  const std::string text = OAuthRefusalText(
      "ann@example.com", {535, "5.7.8 Username and Password not accepted"},
      OAuthErrorDocument{"401", "https://mail.google.com/", "bearer"});
  EXPECT_NE(text.find("535 5.7.8 Username and Password not accepted"), std::string::npos);
  EXPECT_NE(text.find("status 401, the scope it needs https://mail.google.com/"),
            std::string::npos);
  EXPECT_NE(text.find("Sign in again"), std::string::npos);
}

TEST(SignInAdvice, PasswordRefusalsThatMeanAnotherSignInSaySoAfterTheServersWords) {
  struct Case {
    SmtpReply reply;
    std::string adviceHolds;  // empty: no advice
  };
  const Case cases[] = {
      {{550, "5.7.30 Basic authentication is not supported for Client Submission."}, "OAuth 2.0"},
      {{535, "5.7.139 Authentication unsuccessful, basic authentication is disabled."},
       "OAuth 2.0"},
      {{535, "5.7.139 Authentication unsuccessful, the request did not meet the criteria to be "
             "authenticated successfully."},
       "OAuth 2.0"},
      {{535, "5.7.139 Authentication unsuccessful, SmtpClientAuthentication is disabled for the "
             "Tenant."},
       "administrator"},
      {{534, "5.7.9 Application-specific password required. For more information, go to\n"
             "5.7.9  https://support.google.com/mail/?p=InvalidSecondFactor - gsmtp"},
       "app password"},
      // The same codes without those meanings, and plain wrong passwords: nothing added.
      {{534, "5.7.9 Authentication mechanism is too weak"}, ""},
      {{535, "5.7.8 Authentication credentials invalid"}, ""},
      {{535, "Authentication failed"}, ""},
      {{454, "4.7.0 Temporary authentication failure"}, ""},
  };
  for (const Case& c : cases) {
    const std::string text = WithPasswordRefusalAdvice("The server refused:\n" + c.reply.text,
                                                       c.reply);
    EXPECT_EQ(text.rfind("The server refused:\n" + c.reply.text, 0), 0u) << text;
    if (c.adviceHolds.empty()) {
      EXPECT_EQ(PasswordRefusalAdvice(c.reply), "") << c.reply.text;
    } else {
      EXPECT_NE(text.find(c.adviceHolds), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace postrider
