#include "support/postfix_instance.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "support/free_port.h"

namespace postrider::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMaster = "/usr/lib/postfix/sbin/master";
constexpr const char* kPostcat = "/usr/sbin/postcat";

// The folders a queue needs; the master makes none of them itself.
constexpr const char* kQueueFolders[] = {"active", "bounce", "corrupt", "defer", "deferred",
                                         "flush", "hold", "incoming", "maildrop", "private",
                                         "public", "saved", "trace"};

void MakeFolder(const std::string& path, uid_t owner, mode_t mode) {
  fs::create_directories(path);
  if (chown(path.c_str(), owner, static_cast<gid_t>(-1)) != 0 || chmod(path.c_str(), mode) != 0) {
    throw std::runtime_error("cannot prepare " + path);
  }
}

std::string CommandOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      output.append(buffer, got);
    }
    pclose(pipe);
  }
  return output;
}

}  // namespace

std::optional<std::string> PostfixInstance::WhyUnavailable() {
  if (!fs::exists(kMaster) || !fs::exists(kPostcat)) {
    return std::string("Postfix is not installed (the postfix package).");
  }
  if (!RunningAsRoot()) {
    return std::string(
        "A Postfix instance needs root: its master runs as root and its daemons as the postfix "
        "user.");
  }
  if (getpwnam("postfix") == nullptr) return std::string("There is no postfix user.");
  return std::nullopt;
}

PostfixInstance::PostfixInstance(const std::vector<std::string>& mainSettings)
    : port_(FreeLoopbackPort()) {
  const passwd* postfix = getpwnam("postfix");
  if (postfix == nullptr) throw std::runtime_error("no postfix user");
  const uid_t owner = postfix->pw_uid;
  const std::string root = folder_.path();
  chmod(root.c_str(), 0755);  // the daemons, as postfix, work in the queue below it
  MakeFolder(root + "/conf", 0, 0755);
  MakeFolder(root + "/data", owner, 0700);
  MakeFolder(root + "/queue", 0, 0755);
  MakeFolder(root + "/queue/pid", 0, 0755);
  for (const char* name : kQueueFolders) MakeFolder(root + "/queue/" + name, owner, 0700);

  std::string main =
      "compatibility_level = 3.6\n"
      "queue_directory = " + root + "/queue\n"
      "data_directory = " + root + "/data\n"
      "mail_owner = postfix\n"
      "setgid_group = postdrop\n"
      "myhostname = postfix.test\n"
      "mydomain = postfix.test\n"
      "inet_interfaces = 127.0.0.1\n"
      "inet_protocols = ipv4\n"
      "mynetworks = 127.0.0.0/8\n"
      "smtpd_relay_restrictions = permit_mynetworks, reject\n"
      // Taken, then held: the test reads the queue, and nothing is delivered.
      "smtpd_end_of_data_restrictions = check_client_access static:HOLD\n"
      "smtpd_peername_lookup = no\n"
      "alias_maps =\n"
      "local_recipient_maps =\n"
      "smtputf8_enable = no\n"
      "maillog_file = " + root + "/maillog\n"
      "maillog_file_prefixes = " + root + "\n";
  for (const std::string& line : mainSettings) main += line + "\n";
  folder_.Write("conf/main.cf", main);
  folder_.Write("conf/master.cf",
                "127.0.0.1:" + std::to_string(port_) + " inet n - n - - smtpd\n"
                "cleanup unix n - n - 0 cleanup\n"
                "rewrite unix - - n - - trivial-rewrite\n"
                "anvil unix - - n - 1 anvil\n"
                "postlog unix-dgram n - n - 1 postlogd\n");

  // Up once the master says so: it listens by then, and a probing
  // connection would count against the limits the test sets.
  const std::string log = root + "/maillog";
  master_ = std::make_unique<ServerProcess>(
      std::vector<std::string>{kMaster, "-c", root + "/conf", "-d"},
      [log] { return ReadFileBytes(log).find("daemon started") != std::string::npos; },
      "port " + std::to_string(port_));
}

PostfixInstance::~PostfixInstance() {
  if (master_) master_->Stop();  // the master takes its daemons with it
}

std::string PostfixInstance::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> PostfixInstance::HeldRecipients() const {
  std::vector<std::string> recipients;
  const std::string hold = folder_.File("queue/hold");
  for (const auto& entry : fs::directory_iterator(hold)) {
    std::istringstream records(CommandOutput(std::string(kPostcat) + " -c '" +
                                             folder_.File("conf") + "' -e '" +
                                             entry.path().string() + "' 2>/dev/null"));
    for (std::string line; std::getline(records, line);) {
      if (line.rfind("recipient: ", 0) == 0) recipients.push_back(line.substr(11));
    }
  }
  std::sort(recipients.begin(), recipients.end());
  return recipients;
}

std::string PostfixInstance::Log() const { return ReadFileBytes(folder_.File("maillog")); }

}  // namespace postrider::testing
