#include "smtp/plain_transport.h"

#include <utility>

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

}  // namespace postrider
