#include "send/server_check.h"

#include "send/oauth_client.h"
#include "send/session_settings.h"
#include "smtp/smtp_oauth.h"
#include "smtp/smtp_wording.h"
#include "smtp/tls_certificate.h"

namespace postrider {

namespace {

using Say = std::function<void(const std::string& line)>;

// One line, or more, for each step of the dialogue that passed.
void ReportStep(const SmtpClient& client, SmtpStep step, const SmtpSessionOptions& options,
                const Say& say) {
  switch (step) {
    case SmtpStep::Connect:
      say("Connected to " + client.host() + " port " + std::to_string(client.port()));
      break;
    case SmtpStep::TlsHandshake: {
      const TlsPeer& peer = *client.tlsPeer();
      say("TLS: " + peer.protocol + ", " + peer.cipher);
      say("Certificate: " + peer.subject);
      say("Issuer: " + peer.issuer);
      say("Valid until: " + peer.notAfter);
      say("SHA-256 fingerprint: " + FormatFingerprint(peer.fingerprint));
      say(peer.pinned ? "Certificate accepted: it is the one TLSFingerprint names"
                      : "Certificate verified for " + client.host() +
                            (options.trustFile.empty() ? "" : " against " + options.trustFile));
      break;
    }
    case SmtpStep::Greeting:
      say("Greeting: " + ShownReply(client.lastReply()));
      break;
    case SmtpStep::Ehlo:
      if (!client.capabilities().extended) {
        say("EHLO " + client.helloName() + " refused: " + ShownReply(client.lastReply()));
        say("The old dialogue will be used: HELO and RSET before every message");
        break;
      }
      say("EHLO " + client.helloName() + ": accepted");
      say("Capabilities: " +
          (client.capabilities().lines.empty() ? std::string("none")
                                               : JoinLines(client.capabilities().lines, ", ")));
      break;
    case SmtpStep::StartTls:
      say("STARTTLS: " + ShownReply(client.lastReply()));
      break;
    case SmtpStep::Auth:
      say("AUTH " + std::string(client.authMechanismName()) + " as " +
          PrintableText(options.userName) + ": " + ShownReply(client.lastReply()));
      break;
    case SmtpStep::Quit:
      say("QUIT: " + ShownReply(client.quitReply()));
      break;
    default:
      break;
  }
}

}  // namespace

std::string ServerCheckResult::Summary() const {
  if (!settingsProblem.empty()) return settingsProblem;
  if (outcome.ok()) return {};
  if (outcome.step() == SmtpStep::None) return shownText.empty() ? outcome.text() : shownText;
  return "Failed at " + std::string(SmtpStepName(outcome.step())) + " (" +
         std::to_string(outcome.number()) + "):\n" +
         (shownText.empty() ? outcome.text() : shownText);
}

ServerCheckResult CheckServer(const UserSettings& settings, const Secret* password,
                              const Say& sayAsIs, SmtpTimeouts timeouts,
                              IAccessTokenSource* tokens) {
  ServerCheckResult check;
  // With OAuth 2.0 the token comes first: without one there is nothing to log in with.
  Secret token;
  const Secret* credential = password;
  if (UsesOAuth(settings)) {
    if (tokens == nullptr) {
      check.settingsProblem = "No OAuth 2.0 sign-in is at hand here.";
      return check;
    }
    sayAsIs(settings.tokenCommand.empty()
                ? "OAuth 2.0: the access token of " + PrintableText(settings.userName) +
                      " from " + PrintableText(settings.oauthTokenUrl)
                : "OAuth 2.0: the access token from TokenCommand");
    AccessToken got = tokens->Token(settings);
    if (!got.ok()) {
      check.outcome = SmtpOutcome::SignInImpossible(SmtpStep::Auth, got.message);
      return check;
    }
    sayAsIs("OAuth 2.0: an access token is at hand");
    token = std::move(got.token);
    credential = &token;
  }
  // A server may quote the log-in back in its replies, which are shown.
  const Say say = [&](const std::string& line) {
    sayAsIs(credential != nullptr ? ConcealSecret(line, credential->reveal()) : line);
  };
  const Result<SmtpSessionOptions> session = SessionOptionsFrom(settings, credential);
  if (!session) {
    check.settingsProblem = session.status().message();
    return check;
  }
  say("Checking " + settings.smtpServer + " (Security=" +
      std::string(SmtpSecurityName(session->security)) + "); no mail is sent");
  SmtpClient client(timeouts);
  client.SetProgressListener([&](SmtpStep step) { ReportStep(client, step, *session, say); });
  check.outcome = client.Connect(settings.smtpServer, *session);
  client.Disconnect();
  if (credential != nullptr) {
    check.shownText = ConcealSecret(check.outcome.text(), credential->reveal());
  }
  token.Clear();
  if (!check.outcome.ok()) return check;
  say("Every step passed.");
  return check;
}

}  // namespace postrider
