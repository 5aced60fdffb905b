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

// The port of the "smtp" service in the services database, else 25.
std::uint16_t DefaultSmtpPort();

// The port for a server named without one: a number, or the "smtp" service's,
// asked of the services database only when a server needs it (that reads
// nsswitch.conf and /etc/services, milliseconds at every connection).
class DefaultPort {
 public:
  constexpr DefaultPort(std::uint16_t port) : port_(port) {}  // NOLINT: any port is one
  static constexpr DefaultPort SmtpService() { return DefaultPort(0); }

  std::uint16_t Get() const { return port_ != 0 ? port_ : DefaultSmtpPort(); }
  operator std::uint16_t() const { return Get(); }  // NOLINT

 private:
  std::uint16_t port_;  // 0: the smtp service's
};

// Reads "host", "host:port", "[v6-address]:port", "[v6-address]" or a bare
// IPv6 literal; defaultPort is used when none is given. Nothing when the text
// cannot name a server (empty host, port not a number from 1 to 65535).
std::optional<ServerEndpoint> ParseServerName(std::string_view server, DefaultPort defaultPort);

struct ResolvedAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  int family = 0;
};

// Every IPv4 and IPv6 address of the endpoint, in the resolver's order of
// preference; an address literal without a scope is taken as it is. Returns
// 0, or the WinSock number of the failure.
int ResolveServer(const ServerEndpoint& endpoint, std::vector<ResolvedAddress>& addresses);

}  // namespace postrider
