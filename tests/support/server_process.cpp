#include "support/server_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/free_port.h"

namespace postrider::testing {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kPollStep = std::chrono::milliseconds(20);

}  // namespace

bool RunningAsRoot() { return geteuid() == 0; }

ServerProcess::ServerProcess(const std::vector<std::string>& argv, const std::string& host,
                             int port) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
#ifdef __linux__
    // A test that dies must not leave its server behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    execv(args[0], args.data());
    _exit(127);
  }

  const auto limit = std::chrono::steady_clock::now() + kStartLimit;
  while (!PortAccepts(host, port)) {
    if (Reap(0)) throw std::runtime_error(argv[0] + " exited before it listened");
    if (std::chrono::steady_clock::now() > limit) {
      Stop();
      throw std::runtime_error(argv[0] + " did not listen on port " + std::to_string(port));
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
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (Reap(3000)) return;
  kill(pid_, SIGKILL);
  Reap(10000);
}

}  // namespace postrider::testing
