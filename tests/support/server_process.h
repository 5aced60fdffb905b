#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace postrider::testing {

// A server program started for one test: runs argv, returns once host:port
// accepts connections, and is stopped when the object goes. Throws
// std::runtime_error when it does not come up.
//
// The server runs under a small shell that holds the read end of a pipe whose
// write end only this process has: however this process ends, a crash
// included, the pipe closes and the shell stops the server. (The parent-death
// signal would not do: Linux drops it when a server changes its user, as
// smtp-sink does when it runs as "nobody".)
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string>& argv, const std::string& host, int port);
  // The same, but up once ready() says so, for a server that must see no
  // connection but the test's own (one that counts connections).
  ServerProcess(const std::vector<std::string>& argv, const std::function<bool()>& ready,
                const std::string& name);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Stops the server now; later calls do nothing.
  void Stop();
  bool running() const { return pid_ > 0; }

 private:
  bool Reap(int waitMilliseconds);

  pid_t pid_ = -1;  // the watching shell
  int lifeline_ = -1;  // write end of the pipe the shell watches
};

// Whether the tests run as root (then Postfix's tools need "-u nobody").
bool RunningAsRoot();

}  // namespace postrider::testing
