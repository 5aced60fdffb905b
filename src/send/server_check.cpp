#include "send/server_check.h"

#include "platform/socket_errors.h"
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
      say("Greeting: " + ShownReply({client.lastReplyCode(), client.lastReplyText()}));
      break;
    case SmtpStep::Ehlo:
      if (!client.capabilities().extended) {
        say("EHLO " + client.helloName() + " refused: " +
            ShownReply({client.lastReplyCode(), client.lastReplyText()}));
        say("The old dialogue will be used: HELO and RSET before every message");
        break;
      }
      say("EHLO " + client.helloName() + ": accepted");
      say("Capabilities: " +
          (client.capabilities().lines.empty() ? std::string("none")
                                               : JoinLines(client.capabilities().lines, ", ")));
      break;
    case SmtpStep::StartTls:
      say("STARTTLS: " + ShownReply({client.lastReplyCode(), client.lastReplyText()}));
      break;
    case SmtpStep::Auth:
      say("AUTH " + std::string(AuthMechanismName(*client.authMechanism())) + " as " +
          PrintableText(options.userName) + ": " +
          ShownReply({client.lastReplyCode(), client.lastReplyText()}));
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
  if (passed()) return {};
  if (failedStep == SmtpStep::None) return failureText;
  return "Failed at " + std::string(SmtpStepName(failedStep)) + " (" + std::to_string(result) +
         "):\n" + failureText;
}

ServerCheckResult CheckServer(const UserSettings& settings, const Secret* password,
                              const Say& say, SmtpTimeouts timeouts, IAccessTokenSource* tokens) {
  ServerCheckResult check;
  const bool oauth = UsesOAuth(settings);
  // The token step goes first: without a token there is nothing to check it with.
  if (oauth) {
    if (const Status method = CheckAuthMethod(settings); !method) {
      check.result = kSmtpProtocolError;
      check.failureText = method.message();
      return check;
    }
    if (tokens == nullptr) {
      check.result = kSmtpAuthNotPossible;
      check.failureText = "No OAuth 2.0 sign-in is at hand here.";
      return check;
    }
    say(settings.tokenCommand.empty()
            ? "OAuth 2.0: the access token of " + PrintableText(settings.userName) + " from " +
                  PrintableText(settings.oauthTokenUrl)
            : "OAuth 2.0: the access token from TokenCommand");
    const AccessToken token = tokens->Token(settings);
    if (!token.ok()) {
      check.result = kSmtpAuthNotPossible;
      check.failureText = token.message;
      return check;
    }
    say("OAuth 2.0: an access token is at hand");
  }
  // The token's own log-in is judged from what the server offers.
  UserSettings connecting = settings;
  if (oauth) {
    connecting.userName.clear();
    connecting.authMethod = "password";
  }
  const Result<SmtpSessionOptions> session = SessionOptionsFrom(connecting, password);
  if (!session) {
    check.result = kSmtpProtocolError;
    check.failureText = session.status().message();
    return check;
  }
  say("Checking " + settings.smtpServer + " (Security=" +
      std::string(SmtpSecurityName(session->security)) + "); no mail is sent");
  SmtpClient client(timeouts);
  client.SetProgressListener([&](SmtpStep step) { ReportStep(client, step, *session, say); });
  check.result = client.Connect(settings.smtpServer, *session);
  if (check.result == 0 && oauth) {
    const OAuthMechanismChoice choice =
        ChooseOAuthMechanism(client.capabilities(), client.tlsPeer() != nullptr, settings.userName);
    if (!choice.mechanism) {
      check.result = kSmtpAuthNotPossible;
      check.failedStep = SmtpStep::Auth;
      check.failureText = choice.refusal;
      client.Disconnect();
      return check;
    }
    say("AUTH " + std::string(OAuthMechanismName(*choice.mechanism)) +
        " is offered: the OAuth 2.0 sign-in of " + PrintableText(settings.userName) +
        " goes by it (this check does not log in with the token)");
  }
  client.Disconnect();
  if (check.result != 0) {
    check.failedStep = client.failedStep();
    check.failureText = client.failureText().empty() ? DescribeSocketError(check.result)
                                                     : client.failureText();
    return check;
  }
  say("Every step passed.");
  return check;
}

}  // namespace postrider
