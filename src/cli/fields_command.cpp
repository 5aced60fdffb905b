#include <iostream>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/text_escape.h"

namespace postrider::cli {

// One list field name a line, for scripts and shell completion. Nothing is
// saved, so a project open in the desktop program is left as it is.
int RunFields(const Arguments& args) {
  if (args.size() != 1) return UsageError("fields takes one PROJECT");
  if (args[0].empty()) return UsageError("PROJECT is an empty path");
  CliDocument cli;
  if (!cli.Open(args[0])) return kExitFailed;
  for (const std::string& name : cli.document.GetFieldNames()) {
    std::cout << EscapeValue(name) << '\n';
  }
  std::cout.flush();
  return std::cout ? kExitOk : kExitFailed;
}

}  // namespace postrider::cli
