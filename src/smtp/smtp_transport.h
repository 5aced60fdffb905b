#pragma once

#include <cstddef>
#include <string_view>

#include "platform/tcp_socket.h"

namespace postrider {

// The byte stream the SMTP client talks over: plain TCP now; TLS (implicit,
// or after STARTTLS) can take its place without the client changing.
// Results are 0 or WinSock-style error numbers.
class ISmtpTransport {
 public:
  virtual ~ISmtpTransport() = default;

  // moreFollows: another send comes at once, so the bytes may wait to share
  // a packet with it.
  virtual int SendAll(std::string_view bytes, SocketDeadline deadline,
                      bool moreFollows) = 0;
  // Waits for at least one byte; a closed connection is an error.
  virtual int Receive(char* buffer, std::size_t capacity, std::size_t& received,
                      SocketDeadline deadline) = 0;
  virtual void Close() = 0;
};

}  // namespace postrider
