#pragma once

#include <string>
#include <vector>

namespace postrider::cli {

using Arguments = std::vector<std::string>;  // after the command's name

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;    // also: a send that did not start, nothing sent
constexpr int kExitRefused = 3;  // a send that reached the end, the server refusing some

// Prints the usage text to stderr and gives the usage exit code.
int UsageError(const std::string& problem);
// --help and --version: their text on stdout, and success.
int PrintHelp();
int PrintVersion();

int RunInfo(const Arguments& args);
int RunEntries(const Arguments& args);
int RunFields(const Arguments& args);
int RunSelect(const Arguments& args);
int RunNew(const Arguments& args);
int RunCompose(const Arguments& args);
int RunSend(const Arguments& args);
int RunCheckServer(const Arguments& args);
int RunSignIn(const Arguments& args);

}  // namespace postrider::cli
