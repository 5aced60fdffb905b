#include "platform/tcp_socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"

namespace postrider {
namespace {

// Short enough that the hook keeps a window responsive.
constexpr std::chrono::milliseconds kWaitSlice{25};

// A dropped connection must not kill the program; a send never blocks, even
// once receives do.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
constexpr int kSendFlags = MSG_DONTWAIT;
#endif
#ifdef MSG_MORE
constexpr int kMoreFlag = MSG_MORE;
#else
constexpr int kMoreFlag = 0;
#endif

bool MakeNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Once connected, a receive blocks in recv itself for at most the slice it
// is given: one system call a reply instead of a poll and then a recv.
// Sends stay non-blocking through MSG_DONTWAIT.
bool MakeReceivesBlock(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SetReceiveTimeout(int fd, std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000 * 1000);
  return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) == 0;
}

// How long the next wait may block: a slice, less just before the deadline,
// nothing once it has passed (a slow hook can use it up), when one more look
// without waiting follows: what has already arrived is no timeout.
std::chrono::milliseconds NextSlice(SocketDeadline deadline) {
  const SocketDeadline now = SocketClock::now();
  if (now >= deadline) return std::chrono::milliseconds(0);
  return std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - now), kWaitSlice);
}

}  // namespace

SocketDeadline DeadlineAfter(std::chrono::milliseconds timeout) {
  const SocketDeadline now = SocketClock::now();
  if (timeout.count() <= 0) return now;
  const auto room =
      std::chrono::duration_cast<std::chrono::milliseconds>(SocketDeadline::max() - now);
  if (timeout >= room) return SocketDeadline::max();
  return now + timeout;
}

TcpSocket::~TcpSocket() { Close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), receiveSlice_(other.receiveSlice_) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    receiveSlice_ = other.receiveSlice_;
  }
  return *this;
}

void TcpSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool TcpSocket::LocalAddress(ResolvedAddress& address) const {
  if (fd_ < 0) return false;
  address.length = sizeof address.address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address.address), &address.length) != 0) {
    return false;
  }
  address.family = address.address.ss_family;
  return true;
}

int TcpSocket::WaitUntilReady(short events, SocketDeadline deadline) {
  BlockingCallScope call;
  if (!call.entered()) return kWsaEinprogress;
  for (;;) {
    if (const int cancelled = call.RunHook()) return cancelled;
    const auto slice = NextSlice(deadline);
    const bool late = slice.count() == 0;
    pollfd entry{fd_, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(slice.count()));
    // Errors and hang-ups count as ready: the call that follows reports them.
    if (ready > 0) return call.CancelResult();
    if (ready < 0 && errno != EINTR) return SocketErrorFromErrno(errno);
    if (late) return kWsaEtimedout;
  }
}

int TcpSocket::Connect(const ResolvedAddress& address, SocketDeadline deadline,
                       bool* creationFailed) {
  Close();
  if (creationFailed != nullptr) *creationFailed = false;
  fd_ = ::socket(address.family, SOCK_STREAM, 0);
  if (fd_ < 0 || !MakeNonBlocking(fd_)) {
    const int error = SocketErrorFromErrno(errno);
    Close();
    if (creationFailed != nullptr) *creationFailed = true;
    return error;
  }

  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      const int error = SocketErrorFromErrno(errno);
      Close();
      return error;
    }
    if (const int error = WaitUntilReady(POLLOUT, deadline)) {
      Close();
      return error;
    }
    int pending = 0;
    socklen_t length = sizeof pending;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) pending = errno;
    if (pending != 0) {
      Close();
      return SocketErrorFromErrno(pending);
    }
  }

  // Commands and replies are small and strictly alternate: never hold one back.
  const int noDelay = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  // Without a receive timeout recv would block for good: then every receive
  // polls first, as sends do.
  receiveSlice_ = std::chrono::milliseconds(0);
  if (SetReceiveTimeout(fd_, kWaitSlice) && MakeReceivesBlock(fd_)) receiveSlice_ = kWaitSlice;
  return 0;
}

int TcpSocket::SendAll(const char* data, std::size_t size, SocketDeadline deadline,
                       bool moreFollows) {
  if (fd_ < 0) return kWsaEnotconn;
  const int flags = kSendFlags | (moreFollows ? kMoreFlag : 0);
  while (size > 0) {
    const ssize_t sent = ::send(fd_, data, size, flags);
    if (sent >= 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return SocketErrorFromErrno(errno);
    if (const int error = WaitUntilReady(POLLOUT, deadline)) return error;
  }
  return 0;
}

int TcpSocket::Receive(char* buffer, std::size_t capacity, std::size_t& received,
                       SocketDeadline deadline) {
  received = 0;
  if (fd_ < 0) return kWsaEnotconn;
  if (receiveSlice_.count() == 0) return PollAndReceive(buffer, capacity, received, deadline);
  BlockingCallScope call;
  if (!call.entered()) return kWsaEinprogress;
  for (;;) {
    if (const int cancelled = call.RunHook()) return cancelled;
    const auto slice = NextSlice(deadline);
    const bool late = slice.count() == 0;
    // Only the last slice before a deadline is shorter.
    if (!late && slice != receiveSlice_ && SetReceiveTimeout(fd_, slice)) receiveSlice_ = slice;
    const ssize_t count = ::recv(fd_, buffer, capacity, late ? MSG_DONTWAIT : 0);
    if (count > 0) {
      // Cancelled while the bytes came: the cancel wins, as after a poll.
      if (const int cancelled = call.CancelResult()) return cancelled;
      received = static_cast<std::size_t>(count);
      return 0;
    }
    if (count == 0) return kWsaEdiscon;
    // EAGAIN is a slice run out; EINTR a signal, perhaps the one that cancels.
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return SocketErrorFromErrno(errno);
    }
    if (late && errno != EINTR) return kWsaEtimedout;
  }
}

int TcpSocket::PollAndReceive(char* buffer, std::size_t capacity, std::size_t& received,
                              SocketDeadline deadline) {
  for (;;) {
    if (const int error = WaitUntilReady(POLLIN, deadline)) return error;
    const ssize_t count = ::recv(fd_, buffer, capacity, MSG_DONTWAIT);
    if (count > 0) {
      received = static_cast<std::size_t>(count);
      return 0;
    }
    if (count == 0) return kWsaEdiscon;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return SocketErrorFromErrno(errno);
    }
  }
}

int ConnectToAny(const std::vector<ResolvedAddress>& addresses, std::chrono::milliseconds timeout,
                 TcpSocket& socket, bool* creationFailed) {
  int error = kWsaHostNotFound;
  for (const ResolvedAddress& address : addresses) {
    error = socket.Connect(address, DeadlineAfter(timeout), creationFailed);
    if (error == 0 || error == kWsaEintr || error == kWsaEinprogress) return error;
  }
  return error;
}

}  // namespace postrider
