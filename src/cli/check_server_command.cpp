#include <iostream>
#include <optional>

#include "cli/cli_password.h"
#include "cli/cli_settings.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "platform/blocking_call.h"
#include "platform/refresh_token_store.h"
#include "send/oauth_client.h"
#include "send/oauth_tokens.h"
#include "send/send_run.h"
#include "send/server_check.h"
#include "send/session_settings.h"

namespace postrider::cli {

namespace {

void Say(const std::string& line) { std::cout << line << '\n' << std::flush; }

}  // namespace

int RunCheckServer(const Arguments& args) {
  SettingsChoice choice;
  std::optional<std::string> passwordFile;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool takesFile = args[i] == "--settings" || args[i] == "--password-file";
    if (takesFile && i + 1 == args.size()) return UsageError(args[i] + " needs a FILE");
    // A second value would silently win over the first.
    if (takesFile && (args[i] == "--settings" ? choice.chosen() : bool(passwordFile))) {
      return UsageError(args[i] + " is given twice");
    }
    if (args[i] == "--settings") {
      choice.Choose(args[++i]);
    } else if (args[i] == "--password-file") {
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
  // Ctrl+C from here on stops the check cleanly, at the password prompt too,
  // which then puts the terminal's echo back.
  InterruptWatch stop([] { CancelBlockingCall(); });
  const bool oauth = UsesOAuth(*settings);
  CliPasswordSource source(passwordFile);
  bool passwordGiven = false;
  // A server the setting cannot name fails the check at once: no password for it.
  if (!settings->userName.empty() && !oauth && ServerNameProblem(settings->smtpServer).empty()) {
    Result<Secret> found = source.Password(*settings);
    if (!found) {
      std::cerr << "postrider-cli: " << found.status().message() << '\n';
      return kExitUsage;
    }
    password = std::move(found.value());
    passwordGiven = true;
  }
  const Result<SmtpSessionOptions> session = SessionOptionsFrom(*settings, &password);
  if (!session) {
    std::cerr << "postrider-cli: " << session.status().message() << '\n';
    return kExitUsage;
  }

  SecretServiceTokenStore store;
  OAuthTokens tokens(&store);
  ServerCheckResult check;
  check = CheckServer(*settings, &password, Say, {}, &tokens);
  password.Clear();
  if (!check.passed()) {
    std::cerr << check.Summary() << '\n';
    // As with send: nothing here can change it, so the user hears where it came from.
    if (passwordGiven && RefusedThePassword(check.outcome)) {
      std::cerr << source.PasswordRefused(*settings) << '\n';
    }
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace postrider::cli
