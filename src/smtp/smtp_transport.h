#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/server_address.h"
#include "platform/tcp_socket.h"

namespace postrider {

// The byte stream the SMTP client talks over: plain TCP, or TLS over it
// (implicit, or after STARTTLS), without the client changing.
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

  // Whether bytes have come that Receive hands over without the network: a
  // TLS layer hands them over one record at a time and keeps the rest.
  virtual bool hasBufferedBytes() const { return false; }
  // Whether what is sent is encrypted (and the server's certificate trusted).
  virtual bool isEncrypted() const { return false; }
  // Words for the last failure when the stream itself can say more than its
  // number (the TLS library's reason); empty otherwise.
  virtual std::string errorText() const { return {}; }
};

// What a transport factory gives the client: a stream to the server, or why
// there is none.
struct SmtpConnection {
  std::unique_ptr<ISmtpTransport> transport;  // empty when none could be made
  std::optional<ResolvedAddress> localAddress;  // this end's, for the EHLO name
  int error = 0;          // without a transport: the WinSock number
  std::string errorText;  // and the failure in words, naming the server
};

// Makes the stream to `server` (the setting as the user wrote it, for the
// words of a failure) at `endpoint`, giving each address `timeout`.
using SmtpTransportFactory = std::function<SmtpConnection(
    const std::string& server, const ServerEndpoint& endpoint, std::chrono::milliseconds timeout)>;

}  // namespace postrider
