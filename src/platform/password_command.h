#pragma once

#include <string>
#include <string_view>

#include "platform/secret.h"
#include "platform/status.h"

namespace postrider {

// Runs a shell command (as msmtp's passwordeval does, e.g. "secret-tool
// lookup host mail.example.com") and takes the first line it prints as the
// password. Its standard error goes where ours goes, so it can ask the user.
// An exit status other than 0, or no output, is an error; the error holds
// neither the command (it may carry the password) nor what it printed. The
// wait runs the blocking hook: CancelBlockingCall (Pause, Ctrl+C) ends the
// command, and that is an error too.
Result<Secret> RunPasswordCommand(const std::string& command);

// The same for a command a setting other than PasswordCommand names (TokenCommand
// for an access token): errors name that setting and what it should print.
Result<Secret> RunSecretCommand(const std::string& command, std::string_view setting,
                                std::string_view what);

// The first line of a password file, without its line end; an error names
// the file and the reason.
Result<Secret> ReadPasswordFile(const std::string& path);

}  // namespace postrider
