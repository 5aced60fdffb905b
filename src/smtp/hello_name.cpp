#include "smtp/hello_name.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/ascii_text.h"

namespace postrider {
namespace {

std::string LocalHostName() {
  std::array<char, 1024> buffer{};
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) return {};
  return buffer.data();
}

bool IsFullyQualified(std::string_view name) {
  while (!name.empty() && name.back() == '.') name.remove_suffix(1);
  if (name.find('.') == std::string_view::npos) return false;
  return AsciiLowercase(name).rfind("localhost", 0) != 0;
}

// The resolver's canonical name for name, or "" when it does not resolve.
std::string CanonicalName(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return {};
  std::string canonical = found->ai_canonname != nullptr ? found->ai_canonname : name;
  freeaddrinfo(found);
  return canonical;
}

}  // namespace

std::string MakeHelloName(std::string_view hostName) {
  std::string name;
  for (const char c : hostName) {
    if (c > ' ' && c < 0x7f) name.push_back(c);
    if (name.size() == kMaxHelloNameLength) break;
  }
  if (name.empty()) name = "localhost";
  return name;
}

std::string LocalHelloName() { return MakeHelloName(LocalHostName()); }

std::string FullyQualifiedHostName() {
  const std::string host = LocalHostName();
  if (host.empty()) return {};
  const std::string canonical = CanonicalName(host);
  if (canonical.empty()) return {};  // a name that does not resolve is no name to give
  if (IsFullyQualified(host)) return host;
  if (IsFullyQualified(canonical)) return canonical;
  return {};
}

std::string AddressLiteral(const ResolvedAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address.address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    return std::string("[") + text + "]";
  }
  if (address.family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address.address);
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
      in_addr v4{};
      std::memcpy(&v4, v6->sin6_addr.s6_addr + 12, sizeof v4);
      inet_ntop(AF_INET, &v4, text, sizeof text);
      return std::string("[") + text + "]";
    }
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    return std::string("[IPv6:") + text + "]";
  }
  return "localhost";
}

std::string ChooseHelloName(std::string_view setting, const ResolvedAddress* localAddress) {
  const bool given = std::any_of(setting.begin(), setting.end(),
                                 [](char c) { return c > ' ' && c < 0x7f; });
  if (given) return MakeHelloName(setting);
  std::string name = FullyQualifiedHostName();
  if (!name.empty() && name.size() <= kMaxHelloNameLength) return MakeHelloName(name);
  if (localAddress != nullptr) return AddressLiteral(*localAddress);
  return LocalHelloName();
}

}  // namespace postrider
