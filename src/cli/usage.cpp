#include <iostream>

#include "cli/commands.h"

namespace postrider::cli {

namespace {

constexpr const char* kUsage =
    "usage: postrider-cli info PROJECT\n"
    "       postrider-cli entries PROJECT\n"
    "       postrider-cli select PROJECT all|none\n"
    "       postrider-cli select PROJECT query FIELD OP VALUE [and|or FIELD OP VALUE]\n"
    "       postrider-cli new PROJECT --list FILE [--comma] --email-field NAME [--message FILE]\n"
    "       postrider-cli compose PROJECT INDEX [--settings FILE]\n"
    "       postrider-cli send PROJECT [--from-start|--resume] [--settings FILE]\n"
    "                     [--password-file FILE] [--per-minute N] [--per-connection M]\n"
    "       postrider-cli check-server [--settings FILE] [--password-file FILE]\n"
    "OP: \"equals\", \"does not equal\", \"greater than\", \"greater than or equal\",\n"
    "    \"less than\", \"less than or equal\", \"valid email address\" (VALUE is then ignored)\n";

}  // namespace

int UsageError(const std::string& problem) {
  if (!problem.empty()) std::cerr << "postrider-cli: " << problem << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

}  // namespace postrider::cli
