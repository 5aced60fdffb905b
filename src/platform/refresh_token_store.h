#pragma once

#include <chrono>
#include <string>

#include "platform/secret.h"
#include "platform/status.h"

namespace postrider {

// Whose refresh token an item is: the account signed in, at which token
// endpoint, for which registered client.
struct RefreshTokenKey {
  std::string account;
  std::string tokenUrl;
  std::string clientId;
};

struct StoredRefreshToken {
  enum class State { Found, Missing, Unavailable };
  State state = State::Missing;
  Secret token;       // when Found
  std::string error;  // when Unavailable: why the store could not be asked
};

// Where refresh tokens are kept between sessions.
class IRefreshTokenStore {
 public:
  virtual ~IRefreshTokenStore() = default;
  virtual StoredRefreshToken Read(const RefreshTokenKey& key) = 0;
  virtual Status Write(const RefreshTokenKey& key, const Secret& token) = 0;
  virtual Status Erase(const RefreshTokenKey& key) = 0;
};

// The desktop's secret store through the freedesktop Secret Service
// (libsecret: GNOME Keyring, KWallet), under a schema of the program's own
// ("org.postrider.OAuthRefreshToken"), so the desktop program and
// postrider-cli find the same item. Each call waits with the blocking hook
// running and can be cancelled; a store that has not answered within
// `timeout` (a locked keyring whose prompt nobody answers) counts as
// unavailable. Without a session bus or a Secret Service every call says so.
class SecretServiceTokenStore : public IRefreshTokenStore {
 public:
  explicit SecretServiceTokenStore(std::chrono::milliseconds timeout = std::chrono::minutes(2))
      : timeout_(timeout) {}
  StoredRefreshToken Read(const RefreshTokenKey& key) override;
  Status Write(const RefreshTokenKey& key, const Secret& token) override;
  Status Erase(const RefreshTokenKey& key) override;

 private:
  std::chrono::milliseconds timeout_;
};

}  // namespace postrider
