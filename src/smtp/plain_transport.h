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

}  // namespace postrider
