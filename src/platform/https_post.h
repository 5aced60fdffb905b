#pragma once

#include <chrono>
#include <string>

namespace postrider {

struct HttpsOptions {
  // A PEM file of CA certificates trusted instead of the system's: for an
  // authorization server of one's own (and the tests').
  std::string trustFile;
  std::chrono::milliseconds timeout{std::chrono::minutes(1)};
};

// What became of one request: the server's answer, or why none came.
struct HttpsExchange {
  bool cancelled = false;
  std::string error;  // why no answer came: the host and libcurl's words
  long status = 0;    // the HTTP status of the answer
  std::string body;   // at most 1 MiB of it

  bool answered() const { return !cancelled && error.empty(); }
};

// Posts a form (application/x-www-form-urlencoded) over HTTPS only, the
// server's certificate verified against the system's CAs (or trustFile) and
// its name. The wait runs the blocking hook, so a desktop keeps painting and
// CancelBlockingCall ends it. The form and the answer may hold secrets: the
// caller wipes them (WipeString); nothing here keeps or prints them.
HttpsExchange PostForm(const std::string& url, const std::string& form,
                       const HttpsOptions& options);

}  // namespace postrider
