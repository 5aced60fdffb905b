#include "send/server_check.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/server_address.h"

#include "send/oauth_client.h"
#include "send/session_settings.h"
#include "smtp/envelope_address.h"
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
                                               : client.ShownCapabilities()));
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

// A value as a message quotes it: a very long one cut, at a whole UTF-8 letter.
std::string QuotedValue(std::string_view value) {
  constexpr std::size_t kMost = 40;
  if (value.size() <= kMost) return PrintableText(value);
  std::size_t cut = kMost;
  while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
  return PrintableText(value.substr(0, cut)) + "...";
}

bool IsBlankOrControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7f;
}

}  // namespace

// Without this the connection could only say that no such host was found,
// whatever the fault.
std::string ServerNameProblem(const std::string& server) {
  const std::string setting = "The setting SMTPServer=" + QuotedValue(server);
  if (const std::optional<ServerEndpoint> endpoint = ParseServerName(server, DefaultPort(25))) {
    const std::string& host = endpoint->host;
    if (std::any_of(host.begin(), host.end(), IsBlankOrControl)) {
      return setting + " has a blank or a control character in its host name.";
    }
    // RFC 1035 2.3.4, measured in the ASCII form the connection looks up,
    // without the root's trailing dot.
    Result<std::string> ascii = AsciiDomainName(host);
    if (!ascii) return setting + ": its host name " + ascii.status().message() + ".";
    const std::size_t length = ascii->size() - (ascii->ends_with('.') ? 1 : 0);
    if (length > 253) {
      return setting + " has a host name of " + std::to_string(length) +
             " characters; a name has at most 253.";
    }
    return {};
  }
  // The forms ParseServerName reads, to tell which part is wrong.
  std::string_view text = server;
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const std::string form = setting + " is not host, host:port or [IPv6 address]:port.";
  std::string_view host = text;
  std::optional<std::string_view> port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return form;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return form;
    if (!rest.empty()) port = rest.substr(1);
  } else if (const std::size_t colon = text.find(':');
             colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host.empty()) return setting + " names no host.";
  if (port) return setting + " has a port that is not a number from 1 to 65535.";
  return form;
}

std::string ServerCheckResult::Summary() const {
  if (!settingsProblem.empty()) return settingsProblem;
  if (outcome.ok()) return {};
  if (outcome.step() == SmtpStep::None) return outcome.text();
  return "Failed at " + std::string(SmtpStepName(outcome.step())) + " (" +
         std::to_string(outcome.number()) + "):\n" + outcome.text();
}

ServerCheckResult CheckServer(const UserSettings& settings, const Secret* password,
                              const Say& sayAsIs, SmtpTimeouts timeouts,
                              IAccessTokenSource* tokens) {
  ServerCheckResult check;
  if (std::string problem = ServerNameProblem(settings.smtpServer); !problem.empty()) {
    check.settingsProblem = std::move(problem);
    return check;
  }
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
  const Result<SmtpSessionOptions> session = SessionOptionsFrom(settings, credential);
  if (!session) {
    check.settingsProblem = session.status().message();
    return check;
  }
  // A log-in the server quotes back comes hidden in its replies already.
  sayAsIs("Checking " + settings.smtpServer + " (Security=" +
      std::string(SmtpSecurityName(session->security)) + "); no mail is sent");
  SmtpClient client(timeouts);
  client.SetProgressListener([&](SmtpStep step) { ReportStep(client, step, *session, sayAsIs); });
  check.outcome = client.Connect(settings.smtpServer, *session);
  client.Disconnect();
  token.Clear();
  if (!check.outcome.ok()) return check;
  sayAsIs("Every step passed.");
  return check;
}

}  // namespace postrider
