#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "smtp/smtp_transport.h"

namespace postrider::testing {

// One turn of a dialogue played in the test process: what the client must
// have written since the last turn (every line with its CRLF; empty for the
// greeting), and the server's answer. An answer that is a number instead
// ("#10054") is that error from the wait for it: a closed connection, a
// time-out, a cancelled wait.
struct DialogueTurn {
  std::string client;
  std::string server;
};

// The server's side of a dialogue, without a socket: the client gets each
// turn's answer once it has written exactly what the turn expects. Anything
// else fails the test at once and ends the stream, but for a look that does
// not wait (a deadline already passed), which then finds nothing.
class ScriptedTransport final : public ISmtpTransport {
 public:
  explicit ScriptedTransport(std::vector<DialogueTurn> turns) : turns_(std::move(turns)) {}
  // A turn never played fails the test: the client stopped short.
  ~ScriptedTransport() override;

  int SendAll(std::string_view bytes, SocketDeadline deadline, bool moreFollows) override;
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              SocketDeadline deadline) override;
  void Close() override { closed_ = true; }

  // A factory for SmtpClient that hands out this script once, then refuses.
  static SmtpTransportFactory Factory(std::vector<DialogueTurn> turns);

 private:
  std::vector<DialogueTurn> turns_;
  std::size_t next_ = 0;
  std::string written_;  // since the last turn
  std::string pending_;  // the answer not yet read
  bool closed_ = false;
};

}  // namespace postrider::testing
