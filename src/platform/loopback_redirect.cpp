#include "platform/loopback_redirect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/blocking_call.h"
#include "platform/secret.h"
#include "platform/url_text.h"

namespace postrider {
namespace {

constexpr int kSliceMs = 25;
constexpr std::size_t kMaxRequest = 16 * 1024;
// Browsers open spare connections and leave them idle; a few are kept.
constexpr std::size_t kMaxClients = 16;
constexpr std::chrono::seconds kClientIdle{30};

struct Client {
  int fd = -1;
  std::string request;
  std::chrono::steady_clock::time_point since;
};

int ListenOn(int family, int port, int& chosenPort) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int yes = 1;
  if (family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *v4;
  } else {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    v6->sin6_addr = in6addr_loopback;
    length = sizeof *v6;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0) {
    const int why = errno;
    ::close(fd);
    errno = why;
    return -1;
  }
  socklen_t got = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &got);
  chosenPort = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port)
                                 : ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return fd;
}

void Answer(int fd, const std::string& status, const std::string& page) {
  std::string response = "HTTP/1.1 " + status +
                         "\r\nContent-Type: text/html; charset=utf-8\r\n"
                         "Cache-Control: no-store\r\nConnection: close\r\n"
                         "Content-Length: " +
                         std::to_string(page.size()) + "\r\n\r\n" + page;
  std::size_t sent = 0;
  // A short answer to a local browser: a few tries, never a long wait.
  for (int tries = 0; sent < response.size() && tries < 100; ++tries) {
    const ssize_t wrote = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (wrote > 0) {
      sent += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd ready{fd, POLLOUT, 0};
      ::poll(&ready, 1, 10);
    } else {
      break;
    }
  }
}

std::string SimplePage(const std::string& text) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Postrider</title></head>"
         "<body><p>" +
         HtmlEscape(text) + "</p></body></html>";
}

// The target of "GET /?a=b HTTP/1.1", once the request's head is complete.
bool RequestTarget(const std::string& request, std::string& method, std::string& target) {
  const std::size_t lineEnd = request.find("\r\n");
  if (lineEnd == std::string::npos) return false;
  const std::string line = request.substr(0, lineEnd);
  const std::size_t first = line.find(' ');
  const std::size_t second = line.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos) return false;
  method = line.substr(0, first);
  target = line.substr(first + 1, second - first - 1);
  return true;
}

}  // namespace

LoopbackRedirect::~LoopbackRedirect() { Close(); }

void LoopbackRedirect::Close() {
  for (const int fd : listeners_) ::close(fd);
  listeners_.clear();
}

Status LoopbackRedirect::Open(int firstPort) {
  Close();
  // A browser may take "localhost" for ::1: whoever held the ::1 side of the
  // port would be handed the answer, so ports are tried until both sides are
  // this listener's.
  constexpr int kTries = 20;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    int port = 0;
    const int v4 = ListenOn(AF_INET, attempt == 0 ? firstPort : 0, port);
    if (v4 < 0) {
      if (attempt == 0 && firstPort != 0) continue;
      return Status::Error(std::string("No port on 127.0.0.1 could be opened for the sign-in: ") +
                           std::strerror(errno));
    }
    int same = 0;
    const int v6 = ListenOn(AF_INET6, port, same);
    const int why = errno;
    if (v6 >= 0 || (why != EADDRINUSE && why != EACCES)) {
      // Without IPv6 on this machine, "localhost" is 127.0.0.1 alone.
      listeners_.push_back(v4);
      if (v6 >= 0) listeners_.push_back(v6);
      port_ = port;
      return Status::Ok();
    }
    ::close(v4);
  }
  return Status::Error(
      "No port could be opened for the sign-in on both 127.0.0.1 and ::1: other programs hold "
      "::1 on every port tried.");
}

std::string LoopbackRedirect::RedirectUri(const std::string& host) const {
  return "http://" + host + ":" + std::to_string(port_) + "/";
}

RedirectOutcome LoopbackRedirect::Wait(
    const std::string& state, std::chrono::milliseconds timeout,
    const std::function<std::string(const std::map<std::string, std::string>&)>& page) {
  RedirectOutcome outcome;
  if (listeners_.empty()) {
    outcome.error = "The sign-in's loopback port is not open.";
    return outcome;
  }
  BlockingCallScope scope;
  if (!scope.entered()) {
    outcome.error = "Another wait is in progress.";
    return outcome;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<Client> clients;
  auto drop = [&clients](std::size_t i) {
    ::close(clients[i].fd);
    WipeString(clients[i].request);
    clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
  };
  for (;;) {
    if (scope.RunHook() != 0) {
      outcome.cancelled = true;
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      outcome.timedOut = true;
      break;
    }
    std::vector<pollfd> polled;
    for (const int fd : listeners_) polled.push_back({fd, POLLIN, 0});
    for (const Client& client : clients) polled.push_back({client.fd, POLLIN, 0});
    if (::poll(polled.data(), polled.size(), kSliceMs) < 0 && errno != EINTR) {
      outcome.error = std::string("The sign-in's loopback port failed: ") + std::strerror(errno);
      break;
    }
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
      if ((polled[i].revents & POLLIN) == 0) continue;
      const int fd = ::accept4(listeners_[i], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) continue;
      if (clients.size() >= kMaxClients) drop(0);
      clients.push_back({fd, {}, now});
    }
    bool done = false;
    for (std::size_t i = clients.size(); i-- > 0 && !done;) {
      Client& client = clients[i];
      char buffer[4096];
      const ssize_t got = ::recv(client.fd, buffer, sizeof buffer, 0);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR) ||
          now - client.since > kClientIdle) {
        drop(i);
        continue;
      }
      if (got > 0) client.request.append(buffer, static_cast<std::size_t>(got));
      std::memset(buffer, 0, sizeof buffer);
      if (client.request.size() > kMaxRequest) {
        Answer(client.fd, "431 Request Header Fields Too Large", SimplePage("Too large."));
        drop(i);
        continue;
      }
      if (client.request.find("\r\n\r\n") == std::string::npos) continue;
      std::string method;
      std::string target;
      if (!RequestTarget(client.request, method, target) || method != "GET") {
        Answer(client.fd, "400 Bad Request", SimplePage("Not a sign-in answer."));
        drop(i);
        continue;
      }
      const std::size_t question = target.find('?');
      if (target.substr(0, question) != "/") {
        Answer(client.fd, "404 Not Found", SimplePage("Not found."));
        drop(i);
        continue;
      }
      auto fields = question == std::string::npos
                        ? std::optional<std::map<std::string, std::string>>()
                        : ParseQuery(std::string_view(target).substr(question + 1));
      WipeString(target);
      const bool ours = fields && fields->count("state") != 0 && (*fields)["state"] == state;
      if (!ours) {
        Answer(client.fd, "400 Bad Request",
               SimplePage("This is not the answer Postrider's sign-in is waiting for."));
        drop(i);
        continue;
      }
      Answer(client.fd, "200 OK", page(*fields));
      outcome.fields = std::move(*fields);
      drop(i);
      done = true;
    }
    if (done) break;
  }
  while (!clients.empty()) drop(clients.size() - 1);
  Close();
  return outcome;
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace postrider
