#include "cli/cli_password.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/interrupt_watch.h"
#include "platform/password_command.h"
#include "send/oauth_client.h"

namespace postrider::cli {

Result<Secret> CliPasswordSource::Password(const UserSettings& settings) {
  // No password is asked for an account that signs in with a token.
  if (UsesOAuth(settings)) {
    if (tokens_ == nullptr) return Status::Error("No OAuth 2.0 sign-in is at hand here.");
    return AccessTokenFor(*tokens_, settings);
  }
  if (passwordFile_) {
    origin_ = "the file given with --password-file";
    return ReadPasswordFile(*passwordFile_);
  }
  if (const char* fromEnvironment = std::getenv(kPasswordVariable)) {
    origin_ = std::string("the environment variable ") + kPasswordVariable;
    return Secret(fromEnvironment);
  }
  if (!settings.passwordCommand.empty()) {
    origin_ = "the PasswordCommand setting's command";
    return RunPasswordCommand(settings.passwordCommand);
  }
  origin_.clear();  // typed: the next run asks again
  Result<Secret> typed =
      AskPasswordOnTerminal("Password for " + settings.userName + " at " + settings.smtpServer + ": ");
  if (typed) return typed;
  return Status::Error(typed.status().message() +
                       "\nGive the password for UserName in POSTRIDER_SMTP_PASSWORD, with "
                       "--password-file FILE, or through the PasswordCommand setting.");
}

std::string CliPasswordSource::PasswordRefused(const UserSettings& /*settings*/) {
  if (origin_.empty()) return "The server refused the password typed: the next run asks again.";
  return "The server refused the password from " + origin_ + ": give the right one there " +
         "before the next run.";
}

Result<Secret> AskPasswordOnTerminal(const std::string& prompt) {
  // The typed characters are in memory before a Secret holds them.
  KeepSecretsOutOfCoreDumps();
  const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return Status::Error("There is no terminal to ask for the password on.");
  termios saved {};
  const bool isTerminal = tcgetattr(tty, &saved) == 0;
  if (isTerminal) {
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  (void)!::write(tty, prompt.data(), prompt.size());

  std::string line;
  line.reserve(256);  // no copies of a half-typed password left behind in freed memory
  bool complete = false;
  // Signals restart reads while an interrupt watch is on, so Ctrl+C is
  // looked for between short waits rather than left to end the read.
  while (!InterruptWatch::Interrupted()) {
    pollfd ready{tty, POLLIN, 0};
    const int polled = ::poll(&ready, 1, 200);
    if (polled < 0 && errno != EINTR) break;
    if (polled <= 0) continue;
    char c = 0;
    const ssize_t got = ::read(tty, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // end of input
    if (c == '\n' || c == '\r') {
      complete = true;
      break;
    }
    line += c;
  }
  if (isTerminal) tcsetattr(tty, TCSAFLUSH, &saved);
  ::close(tty);
  Secret secret(std::move(line));
  WipeString(line);
  if (!complete) return Status::Error("No password was typed.");
  return secret;
}

}  // namespace postrider::cli
