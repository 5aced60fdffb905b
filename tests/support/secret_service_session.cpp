#include "support/secret_service_session.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace postrider::testing {

namespace {

bool Installed(const char* path) { return access(path, X_OK) == 0; }

// Runs a command line and gives what it printed.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

}  // namespace

SecretServiceSession::SecretServiceSession() {
  if (!Installed("/usr/bin/dbus-daemon") || !Installed("/usr/bin/gnome-keyring-daemon") ||
      !Installed("/usr/bin/dbus-send")) {
    return;
  }
  const std::string socket = folder_.File("bus");
  busAddress_ = "unix:path=" + socket;
  mkdir(folder_.File("data").c_str(), 0700);
  mkdir(folder_.File("run").c_str(), 0700);
  bus_ = std::make_unique<ServerProcess>(
      std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                               "--address=" + busAddress_},
      [socket] {
        struct stat info {};
        return stat(socket.c_str(), &info) == 0;
      },
      "dbus-daemon");
  setenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.c_str(), 1);
  // --unlock takes the login keyring's password on its input, and makes the
  // keyring when there is none.
  keyring_ = std::make_unique<ServerProcess>(
      std::vector<std::string>{
          "/usr/bin/env", "HOME=" + folder_.path(), "XDG_DATA_HOME=" + folder_.File("data"),
          "XDG_RUNTIME_DIR=" + folder_.File("run"), "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
          "/bin/sh", "-c",
          "printf test | exec /usr/bin/gnome-keyring-daemon --foreground --components=secrets "
          "--unlock"},
      [this] {
        return Output("DBUS_SESSION_BUS_ADDRESS='" + busAddress_ +
                      "' /usr/bin/dbus-send --session --print-reply "
                      "--dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "
                      "string:org.freedesktop.secrets 2>/dev/null")
                   .find("boolean true") != std::string::npos;
      },
      "gnome-keyring-daemon");
  available_ = true;
}

SecretServiceSession::~SecretServiceSession() {
  keyring_.reset();
  bus_.reset();
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

std::vector<std::string> SecretServiceSession::Environment() const {
  return {"DBUS_SESSION_BUS_ADDRESS=" + busAddress_};
}

std::string SecretServiceSession::Lookup(const std::string& account) const {
  if (!Installed("/usr/bin/secret-tool")) return {};
  return Output("DBUS_SESSION_BUS_ADDRESS='" + busAddress_ +
                "' /usr/bin/secret-tool lookup xdg:schema org.postrider.OAuthRefreshToken "
                "account '" +
                account + "' 2>/dev/null");
}

// Looked up at run time: GLib comes with Qt, and this library does not link it.
void KeepRunningWhenTheSessionBusCloses() {
  using BusGet = void* (*)(int, void*, void**);
  using SetExitOnClose = void (*)(void*, int);
  using Unref = void (*)(void*);
  const auto get = reinterpret_cast<BusGet>(dlsym(RTLD_DEFAULT, "g_bus_get_sync"));
  const auto set =
      reinterpret_cast<SetExitOnClose>(dlsym(RTLD_DEFAULT, "g_dbus_connection_set_exit_on_close"));
  const auto unref = reinterpret_cast<Unref>(dlsym(RTLD_DEFAULT, "g_object_unref"));
  if (get == nullptr || set == nullptr || unref == nullptr) return;
  constexpr int kSessionBus = 2;  // G_BUS_TYPE_SESSION
  if (void* bus = get(kSessionBus, nullptr, nullptr)) {
    set(bus, 0);
    unref(bus);
  }
}

}  // namespace postrider::testing
