#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace postrider::testing {

// A Postfix of the test's own (Debian's postfix package): its master with
// a configuration folder, queue and log of its own in a fresh folder, smtpd on
// a fresh loopback port, and every message it takes put on hold, so nothing
// goes anywhere. The master runs as root and its daemons as the postfix
// user, so it needs root.
class PostfixInstance {
 public:
  // Why no instance can run here ("needs root"), or nothing when one can.
  static std::optional<std::string> WhyUnavailable();

  // mainSettings: lines added to main.cf, e.g. "smtpd_client_message_rate_limit = 3".
  explicit PostfixInstance(const std::vector<std::string>& mainSettings = {});
  ~PostfixInstance();

  // "127.0.0.1:PORT", as the SMTPServer setting would say it.
  std::string address() const;
  // The recipient of each message on hold, one entry a message, sorted.
  std::vector<std::string> HeldRecipients() const;
  // What Postfix has logged so far.
  std::string Log() const;

 private:
  TempDir folder_;
  int port_;
  std::unique_ptr<ServerProcess> master_;
};

}  // namespace postrider::testing
