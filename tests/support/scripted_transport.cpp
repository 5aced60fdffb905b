#include "support/scripted_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/socket_errors.h"

namespace postrider::testing {

ScriptedTransport::~ScriptedTransport() {
  if (next_ < turns_.size()) {
    ADD_FAILURE() << "The client stopped before turn " << next_ + 1 << ", which expects\n"
                  << turns_[next_].client;
  } else if (!written_.empty()) {
    ADD_FAILURE() << "The client wrote after the last turn:\n" << written_;
  }
}

int ScriptedTransport::SendAll(std::string_view bytes, SocketDeadline, bool) {
  if (closed_) return kWsaEnotconn;
  written_.append(bytes);
  return 0;
}

int ScriptedTransport::Receive(char* buffer, std::size_t capacity, std::size_t& received,
                               SocketDeadline deadline) {
  received = 0;
  if (closed_) return kWsaEnotconn;
  // A look that does not wait finds only a turn whose words were written.
  const bool look = deadline <= SocketClock::now();
  if (pending_.empty() && look && (next_ >= turns_.size() || written_ != turns_[next_].client)) {
    return kWsaEtimedout;
  }
  if (pending_.empty()) {
    if (next_ >= turns_.size()) {
      ADD_FAILURE() << "The client waits for a reply the script does not have; it wrote:\n"
                    << written_;
      return kWsaEdiscon;
    }
    const DialogueTurn& turn = turns_[next_++];
    if (written_ != turn.client) {
      ADD_FAILURE() << "Turn " << next_ << ": the client wrote\n"
                    << written_ << "instead of\n"
                    << turn.client;
      closed_ = true;
      return kWsaEdiscon;
    }
    written_.clear();
    if (!turn.server.empty() && turn.server[0] == '#') return std::stoi(turn.server.substr(1));
    pending_ = turn.server;
  }
  received = std::min(capacity, pending_.size());
  std::memcpy(buffer, pending_.data(), received);
  pending_.erase(0, received);
  return 0;
}

SmtpTransportFactory ScriptedTransport::Factory(std::vector<DialogueTurn> turns) {
  auto script = std::make_shared<std::vector<DialogueTurn>>(std::move(turns));
  return [script](const std::string&, const ServerEndpoint&, std::chrono::milliseconds) {
    SmtpConnection connection;
    if (script->empty()) {
      connection.error = kWsaEconnrefused;
      connection.errorText = "The script was played already.";
      return connection;
    }
    connection.transport = std::make_unique<ScriptedTransport>(std::move(*script));
    script->clear();
    return connection;
  };
}

}  // namespace postrider::testing
