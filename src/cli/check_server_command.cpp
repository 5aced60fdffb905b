#include <iostream>
#include <optional>

#include "cli/cli_password.h"
#include "cli/cli_settings.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "platform/blocking_call.h"
#include "send/session_settings.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_wording.h"
#include "smtp/tls_certificate.h"

namespace postrider::cli {

namespace {

void Say(const std::string& line) { std::cout << line << '\n' << std::flush; }

// One line, or more, for each step of the dialogue that passed.
void ReportStep(const SmtpClient& client, SmtpStep step, const SmtpSessionOptions& options) {
  switch (step) {
    case SmtpStep::Connect:
      Say("Connected to " + client.host() + " port " + std::to_string(client.port()));
      break;
    case SmtpStep::TlsHandshake: {
      const TlsPeer& peer = *client.tlsPeer();
      Say("TLS: " + peer.protocol + ", " + peer.cipher);
      Say("Certificate: " + peer.subject);
      Say("Issuer: " + peer.issuer);
      Say("Valid until: " + peer.notAfter);
      Say("SHA-256 fingerprint: " + FormatFingerprint(peer.fingerprint));
      Say(peer.pinned ? "Certificate accepted: it is the one TLSFingerprint names"
                      : "Certificate verified for " + client.host() +
                            (options.trustFile.empty() ? "" : " against " + options.trustFile));
      break;
    }
    case SmtpStep::Greeting:
      Say("Greeting: " + ShownReply({client.lastReplyCode(), client.lastReplyText()}));
      break;
    case SmtpStep::Ehlo:
      if (!client.capabilities().extended) {
        Say("EHLO " + client.helloName() + " refused: " +
            ShownReply({client.lastReplyCode(), client.lastReplyText()}));
        Say("The old dialogue will be used: HELO and RSET before every message");
        break;
      }
      Say("EHLO " + client.helloName() + ": accepted");
      Say("Capabilities: " +
          (client.capabilities().lines.empty() ? std::string("none")
                                               : JoinLines(client.capabilities().lines, ", ")));
      break;
    case SmtpStep::StartTls:
      Say("STARTTLS: " + ShownReply({client.lastReplyCode(), client.lastReplyText()}));
      break;
    case SmtpStep::Auth:
      Say("AUTH " + std::string(AuthMechanismName(*client.authMechanism())) + " as " +
          PrintableText(options.userName) + ": " +
          ShownReply({client.lastReplyCode(), client.lastReplyText()}));
      break;
    case SmtpStep::Quit:
      Say("QUIT: " + ShownReply(client.quitReply()));
      break;
    default:
      break;
  }
}

}  // namespace

int RunCheckServer(const Arguments& args) {
  SettingsChoice choice;
  std::optional<std::string> passwordFile;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--settings" && hasValue) {
      choice.Choose(args[++i]);
    } else if (args[i] == "--password-file" && hasValue) {
      passwordFile = args[++i];
    } else {
      return UsageError("unexpected argument: " + args[i]);
    }
  }
  const std::optional<UserSettings> settings = LoadCommandSettings(choice);
  if (!settings) return kExitUsage;
  if (settings->smtpServer.empty()) {
    std::cerr << "postrider-cli: no SMTPServer is set in " << choice.path() << '\n';
    return kExitUsage;
  }
  Secret password;
  if (!settings->userName.empty()) {
    CliPasswordSource source(passwordFile);
    Result<Secret> found = source.Password(*settings);
    if (!found) {
      std::cerr << "postrider-cli: " << found.status().message() << '\n';
      return kExitUsage;
    }
    password = std::move(found.value());
  }
  const Result<SmtpSessionOptions> session = SessionOptionsFrom(*settings, &password);
  if (!session) {
    std::cerr << "postrider-cli: " << session.status().message() << '\n';
    return kExitUsage;
  }

  Say("Checking " + settings->smtpServer + " (Security=" +
      std::string(SmtpSecurityName(session->security)) + "); no mail is sent");
  SmtpClient client;
  client.SetProgressListener(
      [&](SmtpStep step) { ReportStep(client, step, *session); });
  int result = 0;
  {
    InterruptWatch stop([] { CancelBlockingCall(); });
    result = client.Connect(settings->smtpServer, *session);
    password.Clear();
    client.Disconnect();
  }
  if (result != 0) {
    std::cerr << "Failed at " << SmtpStepName(client.failedStep()) << " (" << result
              << "):\n"
              << client.failureText() << '\n';
    return kExitFailed;
  }
  Say("Every step passed.");
  return kExitOk;
}

}  // namespace postrider::cli
