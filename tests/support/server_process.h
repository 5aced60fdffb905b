#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace postrider::testing {

// A server program started for one test: runs argv, returns once host:port
// accepts connections, and is stopped (SIGTERM, then SIGKILL, always reaped)
// when the object goes. Throws std::runtime_error when it does not come up.
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string>& argv, const std::string& host, int port);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Stops the server now; later calls do nothing.
  void Stop();
  bool running() const { return pid_ > 0; }

 private:
  bool Reap(int waitMilliseconds);

  pid_t pid_ = -1;
};

// Whether the tests run as root (then Postfix's tools need "-u nobody").
bool RunningAsRoot();

}  // namespace postrider::testing
