#pragma once

#include "platform/tcp_socket.h"
#include "smtp/smtp_transport.h"

namespace postrider {

// SMTP over an unencrypted TCP connection.
class PlainTransport final : public ISmtpTransport {
 public:
  explicit PlainTransport(TcpSocket socket);

  int SendAll(std::string_view bytes, SocketDeadline deadline, bool moreFollows) override;
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              SocketDeadline deadline) override;
  void Close() override;

 private:
  TcpSocket socket_;
};

// The client's own factory: resolves the endpoint and connects over TCP to
// the first of its addresses that answers.
SmtpConnection OpenTcpConnection(const std::string& server, const ServerEndpoint& endpoint,
                                 std::chrono::milliseconds timeout);

// "Unable to contact local host NAME" and the reason, for a server that
// cannot be found.
std::string UnreachableServerText(const std::string& server, int error);

}  // namespace postrider
