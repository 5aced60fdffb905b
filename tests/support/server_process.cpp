#include "support/server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/free_port.h"

namespace postrider::testing {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kPollStep = std::chrono::milliseconds(20);

// Runs the server in the background and stops it once standard input, the
// lifeline, reaches its end; exits with the server's status. (A background
// list's own standard input is /dev/null, hence the copy on descriptor 3.)
constexpr const char* kWatcher =
    "exec 3<&0\n"
    "\"$@\" </dev/null 3<&- & p=$!\n"
    "( read -r _ <&3; kill -TERM \"$p\" 2>/dev/null ) & r=$!\n"
    "wait \"$p\"; s=$?\n"
    "kill \"$r\" 2>/dev/null\n"
    "exit \"$s\"\n";

}  // namespace

bool RunningAsRoot() { return geteuid() == 0; }

ServerProcess::ServerProcess(const std::vector<std::string>& argv, const std::string& host,
                             int port)
    : ServerProcess(argv, [&host, port] { return PortAccepts(host, port); },
                    "port " + std::to_string(port)) {}

ServerProcess::ServerProcess(const std::vector<std::string>& argv,
                             const std::function<bool()>& ready, const std::string& name) {
  std::vector<std::string> command = {"/bin/sh", "-c", kWatcher, "server-watcher"};
  command.insert(command.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (std::string& arg : command) args.push_back(arg.data());
  args.push_back(nullptr);

  int lifeline[2];
  if (pipe2(lifeline, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) {
    close(lifeline[0]);
    close(lifeline[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    dup2(lifeline[0], STDIN_FILENO);  // the only end that survives exec
    execv(args[0], args.data());
    _exit(127);
  }
  close(lifeline[0]);
  lifeline_ = lifeline[1];

  const auto limit = std::chrono::steady_clock::now() + kStartLimit;
  while (!ready()) {
    if (Reap(0)) throw std::runtime_error(argv[0] + " exited before it listened");
    if (std::chrono::steady_clock::now() > limit) {
      Stop();
      throw std::runtime_error(argv[0] + " did not listen on " + name);
    }
    std::this_thread::sleep_for(kPollStep);
  }
}

ServerProcess::~ServerProcess() { Stop(); }

bool ServerProcess::Reap(int waitMilliseconds) {
  if (pid_ <= 0) return true;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) {
      pid_ = -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void ServerProcess::Stop() {
  if (lifeline_ >= 0) {
    close(lifeline_);
    lifeline_ = -1;
  }
  if (pid_ <= 0) return;
  if (Reap(5000)) return;
  kill(pid_, SIGKILL);
  Reap(10000);
}

}  // namespace postrider::testing
