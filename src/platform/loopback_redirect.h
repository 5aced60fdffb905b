#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/status.h"

namespace postrider {

// What the browser brought back to the loopback address.
struct RedirectOutcome {
  bool cancelled = false;
  bool timedOut = false;
  std::string error;                          // the listener itself failed
  std::map<std::string, std::string> fields;  // the redirect's query: code, state, error...

  bool arrived() const { return !cancelled && !timedOut && error.empty(); }
};

// A one-shot HTTP listener on the loopback interface (RFC 8252 section 7.3)
// on a port the system picks, for the authorization server's redirect. It
// serves nobody but this machine, answers one request that carries the
// expected state, and closes.
class LoopbackRedirect {
 public:
  LoopbackRedirect() = default;
  ~LoopbackRedirect();
  LoopbackRedirect(const LoopbackRedirect&) = delete;
  LoopbackRedirect& operator=(const LoopbackRedirect&) = delete;

  // Listens on 127.0.0.1 and on ::1 at the same port (for a browser that
  // takes "localhost" for ::1; 127.0.0.1 alone where there is no IPv6),
  // trying `firstPort` first when it is not 0. Fails when every port tried
  // has its ::1 side held by someone else.
  Status Open(int firstPort = 0);
  int port() const { return port_; }
  // "http://HOST:PORT/" for host "127.0.0.1" or "localhost".
  std::string RedirectUri(const std::string& host) const;

  // Waits for GET /?...&state=STATE... and answers it with the page that
  // `page` makes of its fields. Any other request (a favicon, a wrong or
  // missing state, another path) is answered 404 or 400 and waited past, so
  // nothing on this machine can end the sign-in by guessing. The wait runs
  // the blocking hook: CancelBlockingCall ends it.
  RedirectOutcome Wait(const std::string& state, std::chrono::milliseconds timeout,
                       const std::function<std::string(const std::map<std::string, std::string>&)>&
                           page);

  void Close();

 private:
  std::vector<int> listeners_;
  int port_ = 0;
};

// Escapes text for an HTML page: & < > " '.
std::string HtmlEscape(const std::string& text);

}  // namespace postrider
