#include "smtp/plain_transport.h"

#include <utility>
#include <vector>

#include "platform/socket_errors.h"
#include "smtp/smtp_wording.h"

namespace postrider {

PlainTransport::PlainTransport(TcpSocket socket) : socket_(std::move(socket)) {}

int PlainTransport::SendAll(std::string_view bytes, SocketDeadline deadline, bool moreFollows) {
  return socket_.SendAll(bytes.data(), bytes.size(), deadline, moreFollows);
}

int PlainTransport::Receive(char* buffer, std::size_t capacity, std::size_t& received,
                            SocketDeadline deadline) {
  return socket_.Receive(buffer, capacity, received, deadline);
}

void PlainTransport::Close() { socket_.Close(); }

std::string UnreachableServerText(const std::string& server, int error) {
  return "Unable to contact local host " + server + "\n" + DescribeSocketError(error);
}

SmtpConnection OpenTcpConnection(const std::string& server, const ServerEndpoint& endpoint,
                                 std::chrono::milliseconds timeout) {
  SmtpConnection connection;
  std::vector<ResolvedAddress> addresses;
  if (const int error = ResolveServer(endpoint, addresses)) {
    connection.error = error;
    connection.errorText = UnreachableServerText(server, error);
    return connection;
  }
  TcpSocket socket;
  bool creationFailed = false;
  if (const int error = ConnectToAny(addresses, timeout, socket, &creationFailed)) {
    connection.error = error;
    if (creationFailed) {
      connection.errorText = "Error creating socket\n" + DescribeSocketError(error);
    } else {
      const std::string why =
          error == kWsaEtimedout ? "no answer within " + DurationText(timeout)
                                 : DescribeSocketError(error);
      connection.errorText = "Socket connect failed\n" + endpoint.host + " port " +
                             std::to_string(endpoint.port) + ": " + why;
    }
    return connection;
  }
  ResolvedAddress local;
  if (socket.LocalAddress(local)) connection.localAddress = local;
  connection.transport = std::make_unique<PlainTransport>(std::move(socket));
  return connection;
}

}  // namespace postrider
