#include <csignal>
#include <cstdlib>
#include <map>
#include <string>

#include "cli/commands.h"
#include "platform/secret.h"
#include "project/entry_number.h"

namespace {

// GNU style: --help or --version in place of the command, or right after it.
bool Asks(int argc, char** argv, const std::string& option) {
  return (argc >= 2 && argv[1] == option) || (argc >= 3 && argv[2] == option);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace postrider::cli;
  // A password given in the environment is in this process from its first
  // instruction, before any Secret holds it.
  if (std::getenv("POSTRIDER_SMTP_PASSWORD") != nullptr) postrider::KeepSecretsOutOfCoreDumps();
  // Under a file size limit a write past it fails and is told, rather than
  // ending the program halfway through a save.
  std::signal(SIGXFSZ, SIG_IGN);
  // As `entries` lists them and `compose` takes them.
  postrider::NumberEntriesFrom(0);
  if (Asks(argc, argv, "--help")) return PrintHelp();
  if (Asks(argc, argv, "--version")) return PrintVersion();
  if (argc < 2) return UsageError("");
  const std::map<std::string, int (*)(const Arguments&)> commands = {
      {"info", RunInfo},       {"entries", RunEntries}, {"fields", RunFields},
      {"select", RunSelect},   {"new", RunNew},         {"compose", RunCompose},
      {"send", RunSend},       {"check-server", RunCheckServer}, {"sign-in", RunSignIn},
  };
  const auto command = commands.find(argv[1]);
  if (command == commands.end()) return UsageError(std::string("unknown command: ") + argv[1]);
  return command->second(Arguments(argv + 2, argv + argc));
}
