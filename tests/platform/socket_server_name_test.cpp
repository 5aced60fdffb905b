#include <netdb.h>
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/server_address.h"

namespace postrider {
namespace {

constexpr std::uint16_t kDefault = 2525;

void ExpectEndpoint(std::string_view server, const std::string& host, std::uint16_t port) {
  const std::optional<ServerEndpoint> endpoint = ParseServerName(server, kDefault);
  ASSERT_TRUE(endpoint.has_value()) << server;
  EXPECT_EQ(endpoint->host, host) << server;
  EXPECT_EQ(endpoint->port, port) << server;
}

TEST(ServerNameTest, AcceptsEveryWrittenForm) {
  ExpectEndpoint("mail.example.com", "mail.example.com", kDefault);
  ExpectEndpoint("mail.example.com:587", "mail.example.com", 587);
  ExpectEndpoint("192.0.2.7:65535", "192.0.2.7", 65535);
  ExpectEndpoint("[2001:db8::7]:26", "2001:db8::7", 26);
  ExpectEndpoint("[::1]", "::1", kDefault);
  ExpectEndpoint("2001:db8::7", "2001:db8::7", kDefault);
  ExpectEndpoint("::1", "::1", kDefault);
  ExpectEndpoint("  mail.example.com:25 ", "mail.example.com", 25);
}

TEST(ServerNameTest, RefusesTextThatNamesNoServer) {
  for (const char* server : {"", "   ", ":25", "mail.example.com:", "mail.example.com:0",
                             "mail.example.com:65536", "mail.example.com:2x5", "[::1", "[::1]25",
                             "[]:25", "[::1]:", "mail.example.com:-1"}) {
    EXPECT_FALSE(ParseServerName(server, kDefault).has_value()) << '"' << server << '"';
  }
}

TEST(ServerNameTest, DefaultPortIsTheSmtpServiceElse25) {
  const servent* service = getservbyname("smtp", "tcp");
  const std::uint16_t expected = service ? ntohs(static_cast<std::uint16_t>(service->s_port)) : 25;
  EXPECT_EQ(DefaultSmtpPort(), expected);
  EXPECT_EQ(ParseServerName("mail.example.com", DefaultPort::SmtpService())->port, expected);
  EXPECT_EQ(ParseServerName("mail.example.com:2526", DefaultPort::SmtpService())->port, 2526);
}

TEST(ServerNameTest, ResolvesLiteralsOfBothFamilies) {
  std::vector<ResolvedAddress> addresses;
  ASSERT_EQ(ResolveServer({"127.0.0.1", 2525}, addresses), 0);
  ASSERT_EQ(addresses.size(), 1u);
  EXPECT_EQ(addresses[0].family, AF_INET);

  ASSERT_EQ(ResolveServer({"::1", 2525}, addresses), 0);
  ASSERT_EQ(addresses.size(), 1u);
  EXPECT_EQ(addresses[0].family, AF_INET6);
}

// Literals are taken without the resolver; each must come out exactly as the
// resolver gives it, and every other form must still reach the resolver.
TEST(ServerNameTest, EveryAddressIsTheResolversOwn) {
  for (const char* host : {"127.0.0.1", "192.0.2.7", "::1", "2001:db8::7", "::ffff:192.0.2.1",
                           "127.1", "fe80::1%lo", "localhost"}) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    ASSERT_EQ(getaddrinfo(host, "2526", &hints, &found), 0) << host;
    std::vector<ResolvedAddress> expected;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
      ResolvedAddress address;
      std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
      address.length = entry->ai_addrlen;
      address.family = entry->ai_family;
      expected.push_back(address);
    }
    freeaddrinfo(found);

    std::vector<ResolvedAddress> addresses;
    ASSERT_EQ(ResolveServer({host, 2526}, addresses), 0) << host;
    ASSERT_EQ(addresses.size(), expected.size()) << host;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      EXPECT_EQ(addresses[i].family, expected[i].family) << host;
      ASSERT_EQ(addresses[i].length, expected[i].length) << host;
      EXPECT_EQ(std::memcmp(&addresses[i].address, &expected[i].address, expected[i].length), 0)
          << host;
    }
  }
}

TEST(ServerNameTest, NameThatDoesNotResolveGivesAResolverError) {
  std::vector<ResolvedAddress> addresses;
  const int error = ResolveServer({"no-such-host.invalid", 25}, addresses);
  EXPECT_GE(error, 11001);
  EXPECT_LE(error, 11004);
  EXPECT_TRUE(addresses.empty());
}

}  // namespace
}  // namespace postrider
