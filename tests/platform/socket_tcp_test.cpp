#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"
#include "platform/tcp_socket.h"
#include "support/free_port.h"

namespace postrider {
namespace {

using namespace std::chrono_literals;

// A listening socket of the test's own on a loopback address; it accepts
// only when asked to and writes only what the test writes.
class Listener {
 public:
  explicit Listener(int family = AF_INET) : family_(family) {
    fd_ = ::socket(family, SOCK_STREAM, 0);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET) {
      auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
      v4->sin_family = AF_INET;
      v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof *v4;
    } else {
      auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
      v6->sin6_family = AF_INET6;
      v6->sin6_addr = in6addr_loopback;
      length = sizeof *v6;
    }
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(fd_, 4), 0);
    EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    address_.length = length;
    address_.family = family;
    std::memcpy(&address_.address, &address, length);
  }
  ~Listener() {
    if (peer_ >= 0) ::close(peer_);
    ::close(fd_);
  }

  const ResolvedAddress& address() const { return address_; }
  int Accept() { return peer_ = ::accept(fd_, nullptr, nullptr); }
  void ClosePeer() {
    ::close(peer_);
    peer_ = -1;
  }

 private:
  int family_;
  int fd_ = -1;
  int peer_ = -1;
  ResolvedAddress address_;
};

class TcpSocketTest : public ::testing::Test {
 protected:
  void TearDown() override { SetBlockingHook(nullptr); }

  static ResolvedAddress Loopback(int port) {
    std::vector<ResolvedAddress> addresses;
    EXPECT_EQ(ResolveServer({"127.0.0.1", static_cast<std::uint16_t>(port)}, addresses), 0);
    return addresses.at(0);
  }
};

TEST_F(TcpSocketTest, ConnectToPortWithoutListenerIsRefused) {
  TcpSocket socket;
  bool creationFailed = true;
  const int port = testing::FreeLoopbackPort();
  EXPECT_EQ(socket.Connect(Loopback(port), DeadlineAfter(5s), &creationFailed), kWsaEconnrefused);
  EXPECT_FALSE(creationFailed);
  EXPECT_FALSE(socket.isOpen());
}

TEST_F(TcpSocketTest, ConnectsTriesEveryAddressUntilOneAnswers) {
  Listener listener;
  std::vector<ResolvedAddress> addresses = {Loopback(testing::FreeLoopbackPort()),
                                            listener.address()};
  TcpSocket socket;
  bool creationFailed = false;
  EXPECT_EQ(ConnectToAny(addresses, 5s, socket, &creationFailed), 0);
  EXPECT_TRUE(socket.isOpen());
}

TEST_F(TcpSocketTest, CarriesBytesBothWaysOverIpv6Loopback) {
  Listener listener(AF_INET6);
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  const int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  ASSERT_EQ(socket.SendAll("ping", 4, DeadlineAfter(5s)), 0);
  char got[8] = {};
  ASSERT_EQ(::recv(peer, got, 4, MSG_WAITALL), 4);
  EXPECT_EQ(std::string(got, 4), "ping");

  ASSERT_EQ(::send(peer, "pong", 4, 0), 4);
  char buffer[16];
  std::size_t received = 0;
  ASSERT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(5s)), 0);
  EXPECT_EQ(std::string(buffer, received), "pong");
}

TEST_F(TcpSocketTest, SendAllWritesEveryByteWhenThePeerReadsSlowly) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  const int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  // Far more than the socket buffers hold, so sends come back partly done.
  const std::string payload(8 * 1024 * 1024, 'x');
  std::size_t total = 0;
  std::thread reader([&] {
    std::this_thread::sleep_for(100ms);
    char chunk[65536];
    for (;;) {
      const ssize_t n = ::recv(peer, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      total += static_cast<std::size_t>(n);
    }
  });
  const int result = socket.SendAll(payload.data(), payload.size(), DeadlineAfter(60s));
  socket.Close();
  reader.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(total, payload.size());
}

TEST_F(TcpSocketTest, ReceiveFromSilentPeerTimesOutWith10060) {
  Listener listener;  // never accepts, never writes
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  char buffer[16];
  std::size_t received = 0;
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(200ms)), kWsaEtimedout);
  EXPECT_EQ(received, 0u);
}

TEST_F(TcpSocketTest, DataThatArrivedWhileASlowHookRanIsNoTimeout) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  const int peer = listener.Accept();
  ASSERT_EQ(::send(peer, "250 OK\r\n", 8, 0), 8);
  // Taking one byte proves the rest is already here, waiting to be read.
  char buffer[16];
  std::size_t received = 0;
  ASSERT_EQ(socket.Receive(buffer, 1, received, DeadlineAfter(5s)), 0);

  // The hook outlasts the whole wait.
  SetBlockingHook([] { std::this_thread::sleep_for(50ms); });
  ASSERT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(1ms)), 0);
  EXPECT_EQ(std::string(buffer, received), "50 OK\r\n");
}

TEST_F(TcpSocketTest, SendAllToPeerThatNeverReadsTimesOutWith10060) {
  Listener listener;  // never accepts, never reads
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  const std::string chunk(1024 * 1024, 'x');
  int result = 0;
  // Bounded: the socket buffers of both ends fill long before 1 GiB.
  for (int i = 0; i < 1024 && result == 0; ++i) {
    result = socket.SendAll(chunk.data(), chunk.size(), DeadlineAfter(300ms));
  }
  EXPECT_EQ(result, kWsaEtimedout);
}

TEST_F(TcpSocketTest, ReceiveAfterPeerClosedFailsWith10101) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  ASSERT_GE(listener.Accept(), 0);
  listener.ClosePeer();
  char buffer[16];
  std::size_t received = 0;
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(5s)), kWsaEdiscon);
}

TEST_F(TcpSocketTest, HookRunsWhileWaitingAndCancelFailsTheWaitWith10004) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);

  int hookCalls = 0;
  bool sawBlockingCall = true;
  SetBlockingHook([&] {
    sawBlockingCall = sawBlockingCall && IsInBlockingCall();
    if (++hookCalls == 3) CancelBlockingCall();
  });
  char buffer[16];
  std::size_t received = 0;
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(30s)), kWsaEintr);
  EXPECT_EQ(hookCalls, 3);
  EXPECT_TRUE(sawBlockingCall);
  EXPECT_FALSE(IsInBlockingCall());

  // The cancel was for that call only: the next one waits out its own time.
  SetBlockingHook(nullptr);
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(100ms)), kWsaEtimedout);
}

TEST_F(TcpSocketTest, ReplyThatComesSlicesLaterIsReceivedAfterAShortWaitTimedOut) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  const int peer = listener.Accept();
  char buffer[16];
  std::size_t received = 0;
  // Shorter than one slice.
  ASSERT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(5ms)), kWsaEtimedout);

  // The reply goes only once the wait has run out some slices.
  int hookCalls = 0;
  SetBlockingHook([&] {
    if (++hookCalls == 4) {
      ASSERT_EQ(::send(peer, "250 OK\r\n", 8, 0), 8);
    }
  });
  ASSERT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(30s)), 0);
  EXPECT_EQ(std::string(buffer, received), "250 OK\r\n");
  EXPECT_GE(hookCalls, 4);
}

TEST_F(TcpSocketTest, CancelWithNoCallWaitingDoesNothing) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  const int peer = listener.Accept();
  ASSERT_EQ(::send(peer, "250 OK\r\n", 8, 0), 8);

  CancelBlockingCall();
  char buffer[16];
  std::size_t received = 0;
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, received, DeadlineAfter(5s)), 0);
  EXPECT_EQ(std::string(buffer, received), "250 OK\r\n");
}

TEST_F(TcpSocketTest, SocketCallFromInsideTheHookIsRefused) {
  Listener listener;
  TcpSocket waiting;
  TcpSocket other;
  ASSERT_EQ(waiting.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);
  ASSERT_EQ(other.Connect(listener.address(), DeadlineAfter(5s), nullptr), 0);

  int nestedResult = 0;
  SetBlockingHook([&] {
    char buffer[4];
    std::size_t received = 0;
    nestedResult = other.Receive(buffer, sizeof buffer, received, DeadlineAfter(5s));
    CancelBlockingCall();
  });
  char buffer[4];
  std::size_t received = 0;
  EXPECT_EQ(waiting.Receive(buffer, sizeof buffer, received, DeadlineAfter(5s)), kWsaEintr);
  EXPECT_EQ(nestedResult, kWsaEinprogress);
}

}  // namespace
}  // namespace postrider
