#include <map>
#include <string>

#include "cli/commands.h"

int main(int argc, char** argv) {
  using namespace postrider::cli;
  if (argc < 2) return UsageError("");
  const std::map<std::string, int (*)(const Arguments&)> commands = {
      {"info", RunInfo}, {"entries", RunEntries}, {"select", RunSelect}, {"new", RunNew},
      {"compose", RunCompose}, {"send", RunSend}, {"check-server", RunCheckServer},
  };
  const auto command = commands.find(argv[1]);
  if (command == commands.end()) return UsageError(std::string("unknown command: ") + argv[1]);
  return command->second(Arguments(argv + 2, argv + argc));
}
