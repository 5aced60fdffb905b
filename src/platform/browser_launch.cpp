#include "platform/browser_launch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/blocking_call.h"

namespace postrider {
namespace {

// How long an opener may take to say it failed; one still running then
// is taken to have found a browser.
constexpr int kVerdictMs = 1500;

std::vector<std::string> OpenerCommand(const std::string& url) {
  std::vector<std::string> words;
  if (const char* chosen = std::getenv(kBrowserVariable); chosen != nullptr && *chosen != '\0') {
    std::istringstream split(chosen);
    for (std::string word; split >> word;) words.push_back(word);
  }
  if (words.empty()) words.push_back("xdg-open");
  words.push_back(url);
  return words;
}

}  // namespace

Status OpenInBrowser(const std::string& url) {
  const std::vector<std::string> words = OpenerCommand(url);
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  int verdict[2];
  if (pipe2(verdict, O_CLOEXEC) != 0) return Status::Error("No browser could be started.");
  // A go-between runs the opener and reports how it started, then leaves it
  // to init: the browser outlives the wait, and this process keeps no child.
  const pid_t middle = fork();
  if (middle < 0) {
    close(verdict[0]);
    close(verdict[1]);
    return Status::Error("No browser could be started.");
  }
  if (middle == 0) {
    close(verdict[0]);
    setsid();
    const pid_t opener = fork();
    if (opener == 0) {
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
      }
      execvp(argv[0], argv.data());
      _exit(127);
    }
    char failed = opener < 0 ? char{1} : char{0};
    for (int waited = 0; opener > 0 && waited < kVerdictMs; waited += 20) {
      int status = 0;
      const pid_t done = waitpid(opener, &status, WNOHANG);
      if (done == opener) {
        failed = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? char{0} : char{1};
        break;
      }
      const timespec slice{0, 20 * 1000 * 1000};
      nanosleep(&slice, nullptr);
    }
    (void)!write(verdict[1], &failed, 1);
    _exit(0);
  }
  close(verdict[1]);
  char failed = 1;
  {
    BlockingCallScope scope;
    for (;;) {
      pollfd ready{verdict[0], POLLIN, 0};
      if (poll(&ready, 1, 25) > 0) {
        if (read(verdict[0], &failed, 1) != 1) failed = 1;
        break;
      }
      // Cancelling leaves the opener to finish on its own.
      if (scope.entered() && scope.RunHook() != 0) break;
    }
  }
  close(verdict[0]);
  while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (failed != 0) {
    return Status::Error("No browser could be started (" + words.front() + " failed).");
  }
  return Status::Ok();
}

}  // namespace postrider
