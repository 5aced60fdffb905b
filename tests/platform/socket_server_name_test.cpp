#include <netdb.h>
#include <arpa/inet.h>

#include <gtest/gtest.h>

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

TEST(ServerNameTest, NameThatDoesNotResolveGivesAResolverError) {
  std::vector<ResolvedAddress> addresses;
  const int error = ResolveServer({"no-such-host.invalid", 25}, addresses);
  EXPECT_GE(error, 11001);
  EXPECT_LE(error, 11004);
  EXPECT_TRUE(addresses.empty());
}

}  // namespace
}  // namespace postrider
