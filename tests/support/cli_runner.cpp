#include "support/cli_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <filesystem>

#include "support/temp_dir.h"

extern char** environ;

namespace postrider::testing {

std::string PostriderCliPath() {
  if (const char* cli = std::getenv("POSTRIDER_CLI")) return cli;
  namespace fs = std::filesystem;
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src/postrider-cli")
      .string();
}

CliOptions AsOrdinaryUser() {
  CliOptions options;
  if (geteuid() == 0) {
    options.runUnder = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                        "--"};
  }
  return options;
}

CliRun RunPostriderCli(const std::vector<std::string>& args, const std::string& scratchFolder,
                       const CliOptions& options) {
  const std::string cli = PostriderCliPath();
  std::vector<std::string> argv = options.runUnder;
  argv.push_back(cli);
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string program = argv.front();
  std::vector<char*> argPointers;
  for (std::string& arg : argv) argPointers.push_back(arg.data());
  argPointers.push_back(nullptr);

  std::vector<std::string> environment = options.environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view name(*entry, std::strcspn(*entry, "="));
    bool dropped = false;
    for (const std::string& unset : options.unset) dropped = dropped || name == unset;
    if (!dropped) environment.emplace_back(*entry);
  }
  std::vector<char*> envPointers;
  for (std::string& entry : environment) envPointers.push_back(entry.data());
  envPointers.push_back(nullptr);

  const std::string outPath = scratchFolder + "/cli-stdout";
  const std::string errPath = scratchFolder + "/cli-stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A session of its own: the program has no terminal to ask anything on,
  // as under cron, and a test never waits for someone to type.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  CliRun run;
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argPointers.data(),
                                  envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    run.err = "cannot start " + program;
    return run;
  }
  if (options.whileRunning) options.whileRunning(pid);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadFileBytes(outPath);
  run.err = ReadFileBytes(errPath);
  return run;
}

}  // namespace postrider::testing
