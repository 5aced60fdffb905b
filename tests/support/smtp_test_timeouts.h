#pragma once

#include <chrono>

#include "smtp/smtp_client.h"

namespace postrider::testing {

// The same bound on every wait: long enough for a loaded machine, short
// enough that a test that goes wrong ends.
inline SmtpTimeouts UniformTimeouts(std::chrono::milliseconds wait = std::chrono::seconds(20)) {
  SmtpTimeouts timeouts;
  timeouts.connect = timeouts.greeting = timeouts.helo = timeouts.rset = timeouts.mail = wait;
  timeouts.tlsHandshake = timeouts.ehlo = timeouts.startTls = timeouts.auth = wait;
  timeouts.rcpt = timeouts.data = timeouts.textBlock = timeouts.endOfData = timeouts.quit = wait;
  return timeouts;
}

}  // namespace postrider::testing
