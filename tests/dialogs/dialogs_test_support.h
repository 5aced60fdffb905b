#pragma once

// Shared by the dialogs' tests: a secret store that is not there, as on a
// machine without a desktop session, and the settings file's bytes.

#include <QByteArray>
#include <QtGlobal>

#include <string>

#include "dialogs/password_store.h"

namespace postrider::testing {

// A store that cannot be reached, and counts what was asked of it.
class UnavailableStore : public IPasswordStore {
 public:
  StoredPassword Read(const std::string&) override {
    ++reads;
    StoredPassword none;
    none.state = StoredPassword::State::Unavailable;
    none.error = "no secret service on this session bus";
    return none;
  }
  Status Write(const std::string&, const Secret&) override {
    ++writes;
    return Status::Error("no secret service on this session bus");
  }
  int reads = 0;
  int writes = 0;
};

// No test may reach the real user's secret store: a session bus that does
// not exist makes the desktop's store unavailable at once.
inline void CutOffTheSessionBus() {
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/postrider-test-bus");
}

}  // namespace postrider::testing
