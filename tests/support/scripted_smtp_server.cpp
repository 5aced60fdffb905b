#include "support/scripted_smtp_server.h"

#include <filesystem>
#include <sstream>

#include "support/free_port.h"

namespace postrider::testing {

ScriptedSmtpServer::ScriptedSmtpServer(const ServerScript& script)
    : host_(script.host), port_(FreeLoopbackPort(script.host)) {
  // Debian's python3 is the one that can import aiosmtpd.
  std::vector<std::string> argv = {"/usr/bin/python3",
                                   POSTRIDER_TEST_SUPPORT_DIR "/scripted_smtp_server.py",
                                   "--host", host_, "--port", std::to_string(port_),
                                   "--out", folder_.path()};
  for (const std::string& line : script.greeting) argv.insert(argv.end(), {"--greeting", line});
  if (script.multilineReplies) argv.push_back("--multiline");
  for (const auto& [command, reply] : script.replies) {
    argv.insert(argv.end(), {"--reply", command + "=" + reply});
  }
  for (const auto& [command, reply] : script.firstReplies) {
    argv.insert(argv.end(), {"--reply-once", command + "=" + reply});
  }
  for (const std::string& command : script.dropOn) argv.insert(argv.end(), {"--drop", command});
  for (const std::string& command : script.dropAfterReply) {
    argv.insert(argv.end(), {"--drop-after", command});
  }
  for (const auto& [command, seconds] : script.delays) {
    argv.insert(argv.end(), {"--delay", command + "=" + std::to_string(seconds)});
  }
  process_ = std::make_unique<ServerProcess>(argv, host_, port_);
}

std::string ScriptedSmtpServer::address() const {
  const std::string host = host_.find(':') == std::string::npos ? host_ : "[" + host_ + "]";
  return host + ":" + std::to_string(port_);
}

std::vector<std::string> ScriptedSmtpServer::Commands() const {
  std::vector<std::string> commands;
  std::istringstream log(ReadFileBytes(folder_.File("commands.log")));
  for (std::string line; std::getline(log, line);) commands.push_back(line);
  return commands;
}

int ScriptedSmtpServer::MessageCount() const {
  int count = 0;
  while (std::filesystem::exists(folder_.File("message-" + std::to_string(count + 1) + ".eml"))) {
    ++count;
  }
  return count;
}

std::string ScriptedSmtpServer::Message(int n) const {
  return ReadFileBytes(folder_.File("message-" + std::to_string(n) + ".eml"));
}

}  // namespace postrider::testing
