#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/server_process.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace postrider::testing {

struct OAuthServerOptions {
  std::string clientId = "postrider-test-client";
  std::string clientSecret;  // empty: a public client
  int expiresIn = 3600;      // the access tokens' life, in seconds
  std::string grantScope;    // granted whatever was asked, when set
  std::string refuse;        // "error:description" for every authorization request
  // An error code for every refresh, its description quoting the token sent
  // and the whole form, percent-encoded as it came.
  std::string refuseRefresh;
};

// tests/support/oauth_server.py, python3-oauthlib's authorization server, on
// a loopback port over HTTPS with a certificate of the test's CA.
class OAuthTestServer {
 public:
  explicit OAuthTestServer(OAuthServerOptions options = {});

  const OAuthServerOptions& options() const { return options_; }
  std::string authorizeUrl() const { return base_ + "/authorize"; }
  std::string tokenUrl() const { return base_ + "/token"; }
  std::string introspectUrl() const { return base_ + "/introspect"; }
  // The CA that issued the server's certificate: what OAuthTrustFile names.
  const std::string& caFile() const { return certificates_.caFile(); }

  // POSTRIDER_BROWSER for the program: the test's browser, which posts the
  // consent as `user` (the login hint when empty) and logs what it saw.
  std::string BrowserCommand(const std::string& user = "") const;
  // What the browser logged: one JSON document a line.
  std::string BrowserLog() const { return ReadFileBytes(browserLog_); }
  // What the server logged: one JSON document a request.
  std::string RequestLog() const { return ReadFileBytes(requestLog_); }
  // As a user who withdraws the application's access: every refresh token
  // is refused from now on.
  void RevokeRefreshTokens();

 private:
  OAuthServerOptions options_;
  TempDir folder_;
  TestCertificates certificates_;
  std::string base_;
  std::string requestLog_;
  std::string browserLog_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace postrider::testing
