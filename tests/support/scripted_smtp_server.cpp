#include "support/scripted_smtp_server.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

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
  if (!script.tlsCertificate.empty()) {
    argv.insert(argv.end(), {"--tls-cert", script.tlsCertificate, "--tls-key", script.tlsKey});
  }
  if (script.implicitTls) argv.push_back("--implicit-tls");
  if (script.requireStartTls) argv.push_back("--require-starttls");
  if (!script.authUser.empty()) {
    argv.insert(argv.end(), {"--auth", script.authUser + ":" + script.authPassword});
  }
  if (script.authRequired) argv.push_back("--auth-required");
  if (script.authWithoutTls) argv.push_back("--auth-without-tls");
  for (const std::string& mechanism : script.authExclude) {
    argv.insert(argv.end(), {"--auth-exclude", mechanism});
  }
  if (!script.oauthIntrospectUrl.empty()) {
    argv.insert(argv.end(), {"--oauth-introspect", script.oauthIntrospectUrl, "--oauth-ca",
                             script.oauthCaFile, "--oauth-scope", script.oauthScope});
  }
  if (script.smtpUtf8) argv.push_back("--smtputf8");
  if (script.pipelining) argv.push_back("--pipelining");
  if (script.dataWithoutRecipients) argv.push_back("--data-without-recipients");
  if (script.requireFqdnHelo) argv.push_back("--require-fqdn-helo");
  if (script.sizeLimit >= 0) argv.insert(argv.end(), {"--size-limit", std::to_string(script.sizeLimit)});
  // Up once the script says it listens: a probing connection would count
  // among the connections a script numbers (GREETING#2).
  const std::string ready = folder_.File("listening");
  process_ = std::make_unique<ServerProcess>(
      argv, [&ready] { return std::filesystem::exists(ready); }, "port " + std::to_string(port_));
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

void ScriptedSmtpServer::WaitForMessages(int count) const {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (MessageCount() < count && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::map<std::string, int> ScriptedSmtpServer::MessagesPerRecipient() const {
  std::map<std::string, int> received;
  std::string recipient;
  for (const std::string& line : Commands()) {
    if (line.rfind("RCPT TO:<", 0) == 0) recipient = line.substr(9, line.find('>') - 9);
    if (line == ".") ++received[recipient];
  }
  return received;
}

std::string ScriptedSmtpServer::Message(int n) const {
  return ReadFileBytes(folder_.File("message-" + std::to_string(n) + ".eml"));
}

}  // namespace postrider::testing
