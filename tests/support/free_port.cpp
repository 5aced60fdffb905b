#include "support/free_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace postrider::testing {
namespace {

// A loopback socket address for host and port; false for an unknown host.
bool MakeAddress(const std::string& host, int port, sockaddr_storage& address, socklen_t& length) {
  std::memset(&address, 0, sizeof address);
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof(sockaddr_in);
    return true;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

}  // namespace

int FreeLoopbackPort(const std::string& host) {
  sockaddr_storage address;
  socklen_t length = 0;
  if (!MakeAddress(host, 0, address, length)) throw std::runtime_error("not an address: " + host);
  const int fd = ::socket(address.ss_family, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot bind a free port on " + host);
  }
  ::close(fd);
  const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
  return ntohs(address.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
}

bool PortAccepts(const std::string& host, int port) {
  sockaddr_storage address;
  socklen_t length = 0;
  if (!MakeAddress(host, port, address, length)) return false;
  const int fd = ::socket(address.ss_family, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  ::close(fd);
  return accepted;
}

}  // namespace postrider::testing
