#include "platform/loopback_redirect.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace postrider {
namespace {

sockaddr_in6 V6Loopback(int port) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(static_cast<std::uint16_t>(port));
  address.sin6_addr = in6addr_loopback;
  return address;
}

// Another program's socket on [::1] at a port the system picks.
class V6Holder {
 public:
  V6Holder() {
    fd_ = ::socket(AF_INET6, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    sockaddr_in6 address = V6Loopback(0);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin6_port);
  }
  ~V6Holder() { ::close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The status line a GET of target at [::1]:port got.
std::string AskV6(int port, const std::string& target) {
  const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 address = V6Loopback(port);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
    (void)!::write(fd, request.data(), request.size());
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) answer.assign(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return answer.substr(0, answer.find("\r\n"));
}

TEST(LoopbackRedirect, APortWhoseV6SideSomeoneHoldsIsPassedForOneWhereBothAreOurs) {
  V6Holder other;
  if (other.port() == 0) GTEST_SKIP() << "no IPv6 loopback here";
  LoopbackRedirect redirect;
  ASSERT_TRUE(redirect.Open(other.port()));
  ASSERT_NE(redirect.port(), other.port());

  // A browser that takes localhost for ::1 brings the answer to this listener.
  std::string status;
  std::thread browser([&] { status = AskV6(redirect.port(), "/?code=c0de&state=st4te"); });
  const RedirectOutcome outcome = redirect.Wait(
      "st4te", std::chrono::minutes(2), [](const std::map<std::string, std::string>&) {
        return std::string("done");
      });
  browser.join();
  ASSERT_TRUE(outcome.arrived()) << outcome.error;
  EXPECT_EQ(outcome.fields.at("code"), "c0de");
  EXPECT_EQ(status, "HTTP/1.1 200 OK");
}

}  // namespace
}  // namespace postrider
