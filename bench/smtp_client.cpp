// Sends 10000 messages of about 1 KiB over one connection to Postfix's
// smtp-sink on loopback, once with SmtpClient and once with Postfix's
// smtp-source, and prints both rates and their ratio.
//
// Usage: bench_smtp_client [messages [rounds]]
//
// The two take turns for a few rounds; the median and the best round of each
// are reported, so that a moment of load on the machine does not decide the
// outcome (load only ever slows a round down).

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

namespace {

using Clock = std::chrono::steady_clock;

int FreeLoopbackPort() {
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

bool PortAccepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

pid_t Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// smtp-sink on a fresh loopback port, stopped when the object goes.
class Sink {
 public:
  Sink() : port_(FreeLoopbackPort()) {
    std::vector<std::string> argv = {"/usr/sbin/smtp-sink"};
    if (geteuid() == 0) argv.insert(argv.end(), {"-u", "nobody"});
    argv.insert(argv.end(), {"127.0.0.1:" + std::to_string(port_), "100"});
    pid_ = Spawn(argv);
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
  }
  int port() const { return port_; }

 private:
  int port_;
  pid_t pid_ = -1;
};

std::string ComposeMessage() {
  std::string message =
      "From: <from@example.com>\r\nTo: <to@example.com>\r\nSubject: Benchmark\r\n\r\n";
  std::string body;
  for (int line = 0; body.size() < 1024; ++line) {
    body += static_cast<char>('0' + line % 10);
    body += std::string(77, 'X');
    body += "\r\n";
  }
  body.resize(1022);
  return message + body + "\r\n";
}

double RunClient(int messages) {
  Sink sink;
  const std::string message = ComposeMessage();
  const std::string recipient = "to@example.com";
  const std::string returnAddress = "from@example.com";
  postrider::SmtpClient client(nullptr);
  const auto start = Clock::now();
  if (const int result = client.Connect("127.0.0.1:" + std::to_string(sink.port()))) {
    std::fprintf(stderr, "Connect failed: %d\n", result);
    std::exit(1);
  }
  for (int i = 0; i < messages; ++i) {
    if (const int result = client.SendMail(recipient, returnAddress, message)) {
      std::fprintf(stderr, "SendMail %d failed: %d\n", i, result);
      std::exit(1);
    }
  }
  client.Disconnect();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double RunSmtpSource(int messages) {
  Sink sink;
  // -d keeps one connection for every message, as the client does.
  const std::vector<std::string> argv = {"/usr/sbin/smtp-source", "-s", "1", "-d",
                                         "-m", std::to_string(messages), "-l", "1024",
                                         "-f", "from@example.com", "-t", "to@example.com",
                                         "127.0.0.1:" + std::to_string(sink.port())};
  const auto start = Clock::now();
  const int status = WaitFor(Spawn(argv));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (status != 0) {
    std::fprintf(stderr, "smtp-source failed: %d\n", status);
    std::exit(1);
  }
  return seconds;
}

}  // namespace

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (messages <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: %s [messages [rounds]]\n", argv[0]);
    return 2;
  }
  std::printf("%d messages of about 1 KiB (%zu bytes with headers) over one connection\n"
              "to smtp-sink on loopback, %d rounds\n",
              messages, ComposeMessage().size(), rounds);

  std::vector<double> clientRates;
  std::vector<double> sourceRates;
  for (int round = 1; round <= rounds; ++round) {
    const double clientSeconds = RunClient(messages);
    const double sourceSeconds = RunSmtpSource(messages);
    clientRates.push_back(messages / clientSeconds);
    sourceRates.push_back(messages / sourceSeconds);
    std::printf("round %d: SmtpClient %.3f s (%.0f messages/s), "
                "smtp-source %.3f s (%.0f messages/s)\n",
                round, clientSeconds, clientRates.back(), sourceSeconds, sourceRates.back());
  }
  const double clientMedian = Median(clientRates);
  const double sourceMedian = Median(sourceRates);
  const double clientBest = *std::max_element(clientRates.begin(), clientRates.end());
  const double sourceBest = *std::max_element(sourceRates.begin(), sourceRates.end());
  std::printf("SmtpClient:  median %6.0f messages/s, best %6.0f messages/s\n", clientMedian,
              clientBest);
  std::printf("smtp-source: median %6.0f messages/s, best %6.0f messages/s\n", sourceMedian,
              sourceBest);
  std::printf("ratio client/smtp-source: median %.2f, best %.2f (target 0.75)\n",
              clientMedian / sourceMedian, clientBest / sourceBest);
  return 0;
}
