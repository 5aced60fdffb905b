#include "support/oauth_test_server.h"

#include <stdexcept>

#include "platform/https_post.h"
#include "support/free_port.h"

namespace postrider::testing {

OAuthTestServer::OAuthTestServer(OAuthServerOptions options) : options_(std::move(options)) {
  const CertificateFiles certificate = certificates_.Good();
  const int port = FreeLoopbackPort();
  base_ = "https://127.0.0.1:" + std::to_string(port);
  requestLog_ = folder_.File("requests.log");
  browserLog_ = folder_.File("browser.log");
  std::vector<std::string> argv = {"/usr/bin/python3",
                                   std::string(POSTRIDER_TEST_SUPPORT_DIR) + "/oauth_server.py",
                                   "--port", std::to_string(port),
                                   "--cert", certificate.certificate,
                                   "--key", certificate.key,
                                   "--client-id", options_.clientId,
                                   "--expires-in", std::to_string(options_.expiresIn),
                                   "--log", requestLog_};
  if (!options_.clientSecret.empty()) {
    argv.insert(argv.end(), {"--client-secret", options_.clientSecret});
  }
  if (!options_.grantScope.empty()) argv.insert(argv.end(), {"--grant-scope", options_.grantScope});
  if (!options_.refuse.empty()) argv.insert(argv.end(), {"--refuse", options_.refuse});
  if (!options_.refuseRefresh.empty()) {
    argv.insert(argv.end(), {"--refuse-refresh", options_.refuseRefresh});
  }
  process_ = std::make_unique<ServerProcess>(argv, "127.0.0.1", port);
}

std::string OAuthTestServer::BrowserCommand(const std::string& user) const {
  std::string command = "/usr/bin/python3 " + std::string(POSTRIDER_TEST_SUPPORT_DIR) +
                        "/oauth_browser.py --ca " + caFile() + " --log " + browserLog_;
  if (!user.empty()) command += " --user " + user;
  return command;
}

void OAuthTestServer::RevokeRefreshTokens() {
  HttpsOptions options;
  options.trustFile = caFile();
  const HttpsExchange exchange = PostForm(base_ + "/control/revoke", "", options);
  if (!exchange.answered() || exchange.status != 200) {
    throw std::runtime_error("the authorization server did not revoke: " + exchange.error);
  }
}

}  // namespace postrider::testing
