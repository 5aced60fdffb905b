#pragma once

#include <string>

#include "platform/secret.h"
#include "platform/status.h"

namespace postrider {

// What a look-up in a password store found.
struct StoredPassword {
  enum class State { Found, Missing, Unavailable };
  State state = State::Missing;
  Secret password;    // when Found
  std::string error;  // when Unavailable: why the store could not be asked
};

// Where passwords are kept between sessions: the desktop's secret store.
class IPasswordStore {
 public:
  virtual ~IPasswordStore() = default;
  virtual StoredPassword Read(const std::string& account) = 0;
  virtual Status Write(const std::string& account, const Secret& password) = 0;
  // Removes the account's password; none there counts as done.
  virtual Status Forget(const std::string& /*account*/) {
    return Status::Error("this store cannot remove a password");
  }
};

// The desktop's secret store through QtKeychain (the freedesktop Secret
// Service, KWallet). Each call waits for the store's answer, at most
// `timeoutMs`, with the event loop running.
class KeychainPasswordStore : public IPasswordStore {
 public:
  explicit KeychainPasswordStore(int timeoutMs = 20000) : timeoutMs_(timeoutMs) {}
  StoredPassword Read(const std::string& account) override;
  Status Write(const std::string& account, const Secret& password) override;
  Status Forget(const std::string& account) override;

 private:
  int timeoutMs_;
};

}  // namespace postrider
