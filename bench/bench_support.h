#pragma once

// What the SMTP benchmarks share: smtp-sink on a fresh loopback port,
// Postfix's smtp-source as the yardstick, and a few timing helpers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "smtp/smtp_client.h"

namespace postrider::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("bind");
    std::exit(1);
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

inline bool PortAccepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

// Starts a program; its output goes to /dev/null when quiet.
inline pid_t Spawn(const std::vector<std::string>& argv, bool quiet = false) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // The child must not write out our buffered output a second time.
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (quiet) {
      if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
      if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
    }
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

inline int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// smtp-sink on a fresh loopback port, stopped when the object goes, and by
// exit() too: a benchmark that gives up mid-round leaves no sink behind.
class Sink {
 public:
  Sink() : port_(FreeLoopbackPort()) {
    std::vector<std::string> argv = {"/usr/sbin/smtp-sink"};
    if (geteuid() == 0) argv.insert(argv.end(), {"-u", "nobody"});
    argv.insert(argv.end(), {"127.0.0.1:" + std::to_string(port_), "100"});
    pid_ = Spawn(argv);
    Running().push_back(pid_);
    static const bool stopAtExit = std::atexit(StopRunning) == 0;
    (void)stopAtExit;
    const auto limit = Clock::now() + std::chrono::seconds(20);
    while (!PortAccepts(port_)) {
      if (Clock::now() > limit || waitpid(pid_, nullptr, WNOHANG) != 0) {
        std::fprintf(stderr, "smtp-sink did not start\n");
        std::exit(1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~Sink() {
    kill(pid_, SIGTERM);
    WaitFor(pid_);
    auto& running = Running();
    running.erase(std::remove(running.begin(), running.end(), pid_), running.end());
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  static std::vector<pid_t>& Running() {
    static std::vector<pid_t> pids;
    return pids;
  }
  static void StopRunning() {
    for (const pid_t pid : Running()) kill(pid, SIGTERM);
    for (const pid_t pid : Running()) WaitFor(pid);
  }

  int port_;
  pid_t pid_ = -1;
};

// Seconds Postfix's smtp-source takes for `messages` messages of `bytes`
// bytes over one connection (HELO once, then MAIL, RCPT, DATA per message).
inline double RunSmtpSource(int messages, int bytes = 1024) {
  Sink sink;
  // -d keeps one connection for every message, as the client does.
  const std::vector<std::string> argv = {"/usr/sbin/smtp-source", "-s", "1", "-d",
                                         "-m", std::to_string(messages), "-l", std::to_string(bytes),
                                         "-f", "from@example.com", "-t", "to@example.com",
                                         sink.address()};
  const auto start = Clock::now();
  const int status = WaitFor(Spawn(argv));
  const double seconds = SecondsSince(start);
  if (status != 0) {
    std::fprintf(stderr, "smtp-source failed: %d\n", status);
    std::exit(1);
  }
  return seconds;
}

// Seconds SmtpClient takes for `messages` copies of `message` over one
// connection to a fresh sink.
inline double RunRawClient(const std::string& message, int messages) {
  Sink sink;
  const std::string recipient = "to@example.com";
  const std::string returnAddress = "from@example.com";
  SmtpClient client;
  const auto start = Clock::now();
  if (const SmtpOutcome connected = client.Connect(sink.address()); !connected.ok()) {
    std::fprintf(stderr, "Connect failed: %s\n", connected.text().c_str());
    std::exit(1);
  }
  for (int i = 0; i < messages; ++i) {
    if (const SmtpOutcome sent = client.SendMail(recipient, returnAddress, message); !sent.ok()) {
      std::fprintf(stderr, "SendMail %d failed: %s\n", i, sent.text().c_str());
      std::exit(1);
    }
  }
  client.Disconnect();
  return SecondsSince(start);
}

}  // namespace postrider::bench
