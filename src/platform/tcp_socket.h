#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "platform/server_address.h"

namespace postrider {

using SocketClock = std::chrono::steady_clock;
using SocketDeadline = SocketClock::time_point;

// now + timeout, saturating instead of overflowing for huge timeouts.
SocketDeadline DeadlineAfter(std::chrono::milliseconds timeout);

// A connected TCP stream whose calls block the way the program expects: each
// wait is cut in short slices (a receive blocks in recv for one, a send
// polls), runs the blocking hook before and between them, fails with 10004
// once cancelled and with 10060 at its deadline. Errors are WinSock numbers.
class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Connects to one address. When the socket itself cannot be created,
  // *creationFailed is set (the user is told something different then).
  int Connect(const ResolvedAddress& address, SocketDeadline deadline, bool* creationFailed);

  // Writes every byte, however many sends that takes. With moreFollows the
  // bytes may wait briefly to share a packet with the next send's.
  int SendAll(const char* data, std::size_t size, SocketDeadline deadline,
              bool moreFollows = false);

  // Waits for at least one byte and returns what has arrived (up to capacity)
  // in received. A connection closed by the peer fails with 10101.
  int Receive(char* buffer, std::size_t capacity, std::size_t& received, SocketDeadline deadline);

  void Close();
  bool isOpen() const { return fd_ >= 0; }
  // This end's address of the connection; false when there is none.
  bool LocalAddress(ResolvedAddress& address) const;

 private:
  int WaitUntilReady(short events, SocketDeadline deadline);
  int PollAndReceive(char* buffer, std::size_t capacity, std::size_t& received,
                     SocketDeadline deadline);

  int fd_ = -1;
  // The receive timeout now set on the socket; 0 when none could be, and
  // receives poll.
  std::chrono::milliseconds receiveSlice_{0};
};

// Tries each address in turn until one connects, each attempt with its own
// timeout. Stops at once when the wait is cancelled. On failure returns the
// error of the last attempt and sets *creationFailed as TcpSocket::Connect does.
int ConnectToAny(const std::vector<ResolvedAddress>& addresses, std::chrono::milliseconds timeout,
                 TcpSocket& socket, bool* creationFailed);

}  // namespace postrider
