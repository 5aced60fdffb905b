#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postrider {

// Where the SMTPServer setting points.
struct ServerEndpoint {
  std::string host;
  std::uint16_t port = 0;
};

// Reads "host", "host:port", "[v6-address]:port", "[v6-address]" or a bare
// IPv6 literal; defaultPort is used when none is given. Nothing when the text
// cannot name a server (empty host, port not a number from 1 to 65535).
std::optional<ServerEndpoint> ParseServerName(std::string_view server, std::uint16_t defaultPort);

// The port of the "smtp" service in the services database, else 25.
std::uint16_t DefaultSmtpPort();

struct ResolvedAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  int family = 0;
};

// Every IPv4 and IPv6 address of the endpoint, in the resolver's order of
// preference. Returns 0, or the WinSock number of the failure.
int ResolveServer(const ServerEndpoint& endpoint, std::vector<ResolvedAddress>& addresses);

}  // namespace postrider
