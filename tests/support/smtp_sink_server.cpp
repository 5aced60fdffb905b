#include "support/smtp_sink_server.h"

#include <sys/stat.h>

#include "support/free_port.h"

namespace postrider::testing {

SmtpSinkServer::SmtpSinkServer(const std::vector<std::string>& options)
    : port_(FreeLoopbackPort()) {
  // The sink writes its dump after dropping to "nobody".
  chmod(folder_.path().c_str(), 0777);
  std::vector<std::string> argv = {"/usr/sbin/smtp-sink"};
  if (RunningAsRoot()) argv.insert(argv.end(), {"-u", "nobody"});
  argv.insert(argv.end(), {"-D", folder_.File("dump")});
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"127.0.0.1:" + std::to_string(port_), "100"});
  process_ = std::make_unique<ServerProcess>(argv, "127.0.0.1", port_);
}

std::string SmtpSinkServer::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::string SmtpSinkServer::Dump() const { return ReadFileBytes(folder_.File("dump")); }

}  // namespace postrider::testing
