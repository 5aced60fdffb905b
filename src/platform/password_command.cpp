#include "platform/password_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/blocking_call.h"

namespace postrider {
namespace {

// Enough for any password; a command that prints more is not read further.
constexpr std::size_t kMaxRead = 64 * 1024;

// Whether the first line ended within what was kept: a longer one was cut,
// and a cut line is no password.
bool FirstLineWhole(const std::string& text) {
  return text.size() < kMaxRead || text.find('\n') != std::string::npos;
}

// The first line of text, as the password, wiping everything read.
Secret FirstLine(std::string& text) {
  std::size_t end = text.find('\n');
  if (end == std::string::npos) end = text.size();
  if (end > 0 && text[end - 1] == '\r') --end;
  Secret secret(text.substr(0, end));
  WipeString(text);
  return secret;
}

std::string Reason(int error) { return std::strerror(error); }

// How long one wait for the command's output lasts before the blocking hook
// runs again: short enough that a window answers a click at once.
constexpr int kSliceMs = 20;

// The command's shell and every process it started, as far as they can be
// found: a helper left running would keep our output open after we stopped.
void CollectProcessTree(pid_t pid, std::vector<pid_t>& tree) {
  constexpr std::size_t kMostProcesses = 256;
  if (tree.size() >= kMostProcesses) return;
  tree.push_back(pid);
  const std::string id = std::to_string(pid);
  std::ifstream children("/proc/" + id + "/task/" + id + "/children");
  for (pid_t child = 0; children >> child;) CollectProcessTree(child, tree);
}

void KillProcessTree(pid_t pid) {
  std::vector<pid_t> tree;
  CollectProcessTree(pid, tree);
  for (const pid_t member : tree) kill(member, SIGKILL);
}

// Reads the command's output to its end. The wait runs the blocking hook, so
// a window keeps painting and Pause or Ctrl+C ends a command that hangs (a
// token helper waiting on a network that went away); false when it did.
bool ReadOutput(int fd, std::string& text) {
  BlockingCallScope scope;
  char buffer[4096];
  bool cancelled = false;
  for (;;) {
    if (scope.entered() && scope.RunHook() != 0) {
      cancelled = true;
      break;
    }
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, scope.entered() ? kSliceMs : -1);
    if (polled < 0 && errno != EINTR) break;
    if (polled <= 0) continue;
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (text.size() < kMaxRead) {
      text.append(buffer, std::min(static_cast<std::size_t>(got), kMaxRead - text.size()));
    }
  }
  std::memset(buffer, 0, sizeof buffer);
  return !cancelled;
}

}  // namespace

Result<Secret> RunPasswordCommand(const std::string& command) {
  return RunSecretCommand(command, "PasswordCommand", "password");
}

Result<Secret> RunSecretCommand(const std::string& command, std::string_view setting,
                                std::string_view what) {
  const std::string name(setting);
  KeepSecretsOutOfCoreDumps();  // before the password is in memory at all
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    return Status::Error(name + " could not be run: " + Reason(errno));
  }
  const pid_t pid = fork();
  if (pid < 0) {
    const int error = errno;
    close(output[0]);
    close(output[1]);
    return Status::Error(name + " could not be run: " + Reason(error));
  }
  if (pid == 0) {
    dup2(output[1], STDOUT_FILENO);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);

  std::string text;
  const bool finished = ReadOutput(output[0], text);
  close(output[0]);
  // What a stopped command would still print is of no use.
  if (!finished) KillProcessTree(pid);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!finished) {
    WipeString(text);
    return Status::Error(name + " was stopped before it printed the " + std::string(what) + ".");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    WipeString(text);
    const std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                              : "signal " + std::to_string(WTERMSIG(status));
    return Status::Error(name + " failed (" + how + ").");
  }
  if (!FirstLineWhole(text)) {
    WipeString(text);
    return Status::Error(name + " printed a first line too long for a" +
                         (what.front() == 'a' ? "n " : " ") + std::string(what) + ".");
  }
  Secret secret = FirstLine(text);
  if (secret.empty()) return Status::Error(name + " printed no " + std::string(what) + ".");
  return secret;
}

Result<Secret> ReadPasswordFile(const std::string& path) {
  KeepSecretsOutOfCoreDumps();  // before the password is in memory at all
  // A pipe is welcome here: --password-file <(pass show mail) is one.
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return Status::Error("The password file " + path + " could not be opened: " + Reason(errno));
  }
  std::string text;
  char buffer[4096];
  int error = 0;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    text.append(buffer, std::min(static_cast<std::size_t>(got), kMaxRead - text.size()));
    // Only the first line is wanted; /dev/zero or an endless pipe must not
    // be read for ever.
    if (text.size() >= kMaxRead) break;
  }
  std::memset(buffer, 0, sizeof buffer);
  close(fd);
  if (error != 0) {
    WipeString(text);
    return Status::Error("The password file " + path + " could not be read: " + Reason(error));
  }
  if (!FirstLineWhole(text)) {
    WipeString(text);
    return Status::Error("The password file " + path +
                         " holds a first line too long for a password.");
  }
  Secret secret = FirstLine(text);
  if (secret.empty()) return Status::Error("The password file " + path + " is empty.");
  return secret;
}

}  // namespace postrider
