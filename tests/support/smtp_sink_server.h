#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace postrider::testing {

// Postfix's smtp-sink on a fresh loopback port, for one test. Every
// transaction it takes is appended to a dump file (see man smtp-sink);
// options are smtp-sink's own, e.g. {"-f", "RCPT", "-B", "550 5.1.1 No"}.
class SmtpSinkServer {
 public:
  explicit SmtpSinkServer(const std::vector<std::string>& options = {});

  int port() const { return port_; }
  // "127.0.0.1:PORT", as the SMTPServer setting would say it.
  std::string address() const;
  // What the sink has dumped so far: its X- headers, then each message with
  // LF line ends and the dots undone.
  std::string Dump() const;
  void Stop() { process_->Stop(); }

 private:
  TempDir folder_;
  int port_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace postrider::testing
