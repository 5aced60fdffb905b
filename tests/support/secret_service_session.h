#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace postrider::testing {

// A D-Bus session bus and GNOME Keyring's Secret Service of a test's own, in
// a fresh folder, its login keyring made and unlocked: where the program
// keeps refresh tokens, as on a desktop. This process takes the bus as its
// session bus (DBUS_SESSION_BUS_ADDRESS); children get it through
// Environment(). Both are stopped when the object goes.
class SecretServiceSession {
 public:
  SecretServiceSession();
  ~SecretServiceSession();
  SecretServiceSession(const SecretServiceSession&) = delete;
  SecretServiceSession& operator=(const SecretServiceSession&) = delete;

  // False when dbus-daemon or gnome-keyring-daemon is not installed; the
  // test then skips.
  bool available() const { return available_; }
  const std::string& busAddress() const { return busAddress_; }
  // "NAME=value" entries that put a program on this bus.
  std::vector<std::string> Environment() const;
  // The secret of an item of the program's schema, as secret-tool finds it;
  // empty when there is none.
  std::string Lookup(const std::string& account) const;

 private:
  TempDir folder_;
  bool available_ = false;
  std::string busAddress_;
  std::unique_ptr<ServerProcess> bus_;
  std::unique_ptr<ServerProcess> keyring_;
};

// GDBus ends the process (SIGTERM) when the session bus it holds closes, as
// a SecretServiceSession's does before the next test; the desktop's secret
// store reaches the bus through it. Called once the store has been used.
void KeepRunningWhenTheSessionBusCloses();

}  // namespace postrider::testing
