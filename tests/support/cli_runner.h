#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace postrider::testing {

// What one run of postrider-cli did.
struct CliRun {
  int exitCode = -1;  // 128 + signal when a signal ended it
  std::string out;
  std::string err;
};

// The postrider-cli under test: POSTRIDER_CLI as CTest sets it, else the one
// of this test program's own build tree.
std::string PostriderCliPath();

struct CliOptions {
  std::vector<std::string> environment;  // "NAME=value" added to the test's own
  std::vector<std::string> unset;        // names taken out of the test's own
  // A program, with its arguments, that runs postrider-cli in turn: setpriv
  // to run it as another user, say. Its first word is an absolute path.
  std::vector<std::string> runUnder;
  // Runs while the program does, with its process id; the run is waited for after.
  std::function<void(pid_t)> whileRunning;
};

// Options that run the program as user nobody when the tests run as root, who
// may write anywhere: for a test that needs a folder the program cannot write.
CliOptions AsOrdinaryUser();

// Runs the real program; its output is collected through files in scratchFolder.
CliRun RunPostriderCli(const std::vector<std::string>& args, const std::string& scratchFolder,
                       const CliOptions& options = {});

}  // namespace postrider::testing
