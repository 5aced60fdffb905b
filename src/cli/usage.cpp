#include <iostream>

#include "cli/commands.h"

namespace postrider::cli {

namespace {

constexpr const char* kUsage =
    "usage: postrider-cli info PROJECT\n"
    "       postrider-cli entries PROJECT\n"
    "       postrider-cli fields PROJECT\n"
    "       postrider-cli select PROJECT all|none\n"
    "       postrider-cli select PROJECT query FIELD OP VALUE [and|or FIELD OP VALUE]\n"
    "       postrider-cli new PROJECT --list FILE [--comma] --email-field NAME [--message FILE]\n"
    "       postrider-cli compose PROJECT INDEX [--settings FILE]\n"
    "       postrider-cli send PROJECT [--from-start|--resume] [--settings FILE]\n"
    "                     [--password-file FILE] [--per-minute N] [--per-connection M]\n"
    "                     [--skip-unready] [--fields-as-written]\n"
    "       postrider-cli check-server [--settings FILE] [--password-file FILE]\n"
    "       postrider-cli sign-in [--settings FILE] [--no-browser]\n"
    "       postrider-cli --help|--version\n"
    "OP: \"equals\", \"does not equal\", \"greater than\", \"greater than or equal\",\n"
    "    \"less than\", \"less than or equal\", \"valid email address\" (VALUE is then ignored)\n";

constexpr const char* kHelpIntro =
    "Postrider's mail merge from the command line: shows and selects the entries of a\n"
    "project's mailing list, makes projects, and sends each selected entry its message.\n\n";

constexpr const char* kHelpClosing =
    "\nExit status: 0 done; 1 failed (a project that cannot be opened or saved, a send that\n"
    "stopped early or left entries for a resume); 2 usage error, or a send that did not\n"
    "start; 3 a send that reached the end with recipients refused by the server.\n"
    "The manual page postrider-cli(1) tells every command, setting and file.\n";

}  // namespace

int UsageError(const std::string& problem) {
  if (!problem.empty()) std::cerr << "postrider-cli: " << problem << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

int PrintHelp() {
  std::cout << kHelpIntro << kUsage << kHelpClosing << std::flush;
  return std::cout ? kExitOk : kExitFailed;
}

int PrintVersion() {
  std::cout << "postrider-cli " POSTRIDER_VERSION "\n" << std::flush;
  return std::cout ? kExitOk : kExitFailed;
}

}  // namespace postrider::cli
