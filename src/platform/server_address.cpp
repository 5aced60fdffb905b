#include "platform/server_address.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/socket_errors.h"

namespace postrider {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<ServerEndpoint> ParseServerName(std::string_view server, DefaultPort defaultPort) {
  server = TrimBlanks(server);
  ServerEndpoint endpoint;
  std::string_view portText;
  bool hasPort = false;

  if (!server.empty() && server.front() == '[') {
    const std::size_t close = server.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    endpoint.host = std::string(server.substr(1, close - 1));
    const std::string_view rest = server.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      portText = rest.substr(1);
      hasPort = true;
    }
  } else {
    const std::size_t colon = server.find(':');
    if (colon != std::string_view::npos && server.find(':', colon + 1) == std::string_view::npos) {
      endpoint.host = std::string(server.substr(0, colon));
      portText = server.substr(colon + 1);
      hasPort = true;
    } else {
      // No colon, or several: a host name or a bare IPv6 address.
      endpoint.host = std::string(server);
    }
  }

  if (endpoint.host.empty()) return std::nullopt;
  if (hasPort) {
    const std::optional<std::uint16_t> port = ParsePort(portText);
    if (!port) return std::nullopt;
    endpoint.port = *port;
  } else {
    endpoint.port = defaultPort.Get();
  }
  return endpoint;
}

std::uint16_t DefaultSmtpPort() {
  if (const servent* service = getservbyname("smtp", "tcp")) {
    return ntohs(static_cast<std::uint16_t>(service->s_port));
  }
  return 25;
}

namespace {

// RFC 6761 6.4: names under "invalid" never resolve, and resolvers should say
// so at once instead of asking a name server.
bool IsInvalidTopLevelName(std::string_view host) {
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kInvalid = "invalid";
  if (host.size() < kInvalid.size()) return false;
  const std::string_view tail = host.substr(host.size() - kInvalid.size());
  const bool matches = std::equal(tail.begin(), tail.end(), kInvalid.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
  return matches && (host.size() == kInvalid.size() || host[host.size() - kInvalid.size() - 1] == '.');
}

ResolvedAddress StoredAddress(const void* socketAddress, socklen_t length, int family) {
  ResolvedAddress address;
  std::memcpy(&address.address, socketAddress, length);
  address.length = length;
  address.family = family;
  return address;
}

// The address a strict IPv4 or IPv6 literal names, as getaddrinfo would give
// it, without its first call's cost. Other forms ("127.1", a scope as in
// "fe80::1%eth0") are left to the resolver.
bool ResolveLiteral(const ServerEndpoint& endpoint, ResolvedAddress& address) {
  const std::uint16_t port = htons(endpoint.port);
  if (in_addr v4{}; inet_pton(AF_INET, endpoint.host.c_str(), &v4) == 1) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = port;
    in.sin_addr = v4;
    address = StoredAddress(&in, sizeof in, AF_INET);
    return true;
  }
  if (in6_addr v6{}; inet_pton(AF_INET6, endpoint.host.c_str(), &v6) == 1) {
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = port;
    in6.sin6_addr = v6;
    address = StoredAddress(&in6, sizeof in6, AF_INET6);
    return true;
  }
  return false;
}

}  // namespace

int ResolveServer(const ServerEndpoint& endpoint, std::vector<ResolvedAddress>& addresses) {
  addresses.clear();
  if (IsInvalidTopLevelName(endpoint.host)) return kWsaHostNotFound;
  if (ResolvedAddress literal; ResolveLiteral(endpoint, literal)) {
    addresses.push_back(literal);
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  const std::string port = std::to_string(endpoint.port);
  addrinfo* found = nullptr;
  const int result = getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &found);
  if (result != 0) return SocketErrorFromResolver(result, errno);
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
    addresses.push_back(StoredAddress(entry->ai_addr, entry->ai_addrlen, entry->ai_family));
  }
  freeaddrinfo(found);
  return addresses.empty() ? kWsaNoData : 0;
}

}  // namespace postrider
