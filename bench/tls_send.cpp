// The send rate over implicit TLS beside plain TCP, in one run, to the same
// smtp-sink on loopback: plain straight to the sink, TLS through Debian's
// stunnel4 in front of it (certificate made with the openssl command and
// trusted through TLSTrustFile, so the client verifies it as it always does).
// Each round sends `messages` messages of about 1 KiB over one connection,
// plain and TLS taking turns; the handshake is part of the TLS time.
//
// stunnel puts a process of its own between client and sink, so every round
// trip wakes two more processes. To tell that hop from the cost of TLS, a
// third run goes in plain text through a relay process of this program's own
// that only copies bytes; and the client's own processor time per message is
// printed for plain and TLS.
//
// Usage: bench_tls_send [messages [rounds]]

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "bench_support.h"
#include "smtp/smtp_session_options.h"

namespace {

using namespace postrider;
using namespace postrider::bench;
namespace fs = std::filesystem;

std::string Message() {
  std::string message =
      "From: <from@example.com>\r\nTo: <to@example.com>\r\nSubject: Benchmark\r\n\r\n";
  while (message.size() < 1100) message += std::string(76, 'X') + "\r\n";
  return message;
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// stunnel taking TLS on a fresh port and passing it on in plain text.
class Tunnel {
 public:
  Tunnel(const fs::path& folder, int sinkPort) : port_(FreeLoopbackPort()) {
    const fs::path config = folder / "stunnel.conf";
    WriteFile(config, "foreground = yes\npid =\ndebug = 0\n"
                      "socket = l:TCP_NODELAY=1\nsocket = r:TCP_NODELAY=1\n"
                      "[smtps]\naccept = 127.0.0.1:" + std::to_string(port_) +
                      "\nconnect = 127.0.0.1:" + std::to_string(sinkPort) +
                      "\ncert = " + (folder / "cert.pem").string() +
                      "\nkey = " + (folder / "key.pem").string() + "\n");
    pid_ = Spawn({"/usr/bin/stunnel4", config.string()}, /*quiet=*/true);
    const auto limit = Clock::now() + std::chrono::seconds(20);
    while (!PortAccepts(port_)) {
      if (Clock::now() > limit || waitpid(pid_, nullptr, WNOHANG) != 0) {
        std::fprintf(stderr, "stunnel4 did not start\n");
        std::exit(1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~Tunnel() {
    kill(pid_, SIGTERM);
    WaitFor(pid_);
  }
  Tunnel(const Tunnel&) = delete;
  Tunnel& operator=(const Tunnel&) = delete;

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int port_;
  pid_t pid_ = -1;
};

// A process that takes one connection at a time on a fresh port and copies
// bytes both ways to the sink: a hop like stunnel's, without TLS.
class Relay {
 public:
  explicit Relay(int sinkPort) : port_(FreeLoopbackPort()) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address = Loopback(port_);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0) {
      std::perror("relay");
      std::exit(1);
    }
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sink = Loopback(sinkPort);
        if (::connect(server, reinterpret_cast<sockaddr*>(&sink), sizeof sink) == 0) {
          Copy(client, server);
        }
        ::close(server);
        ::close(client);
      }
    }
    ::close(listener);
  }
  ~Relay() {
    kill(pid_, SIGTERM);
    WaitFor(pid_);
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  static sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
  }
  static void Copy(int a, int b) {
    const int on = 1;
    ::setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(b, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char buffer[16384];
    pollfd both[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    for (;;) {
      if (::poll(both, 2, -1) < 0) return;
      for (int i = 0; i < 2; ++i) {
        if (both[i].revents == 0) continue;
        const ssize_t got = ::read(both[i].fd, buffer, sizeof buffer);
        if (got <= 0 || ::write(both[1 - i].fd, buffer, static_cast<std::size_t>(got)) != got) {
          return;
        }
      }
    }
  }

  int port_;
  pid_t pid_ = -1;
};

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Measured {
  double seconds = 0;
  double processorSeconds = 0;  // this process alone: the client
};

Measured Run(const std::string& server, const SmtpSessionOptions& options,
             const std::string& message, int messages) {
  SmtpClient client;
  const double processorStart = ProcessorSeconds();
  const auto start = Clock::now();
  if (const SmtpOutcome connected = client.Connect(server, options); !connected.ok()) {
    std::fprintf(stderr, "Connect failed: %d\n%s\n", connected.number(), connected.text().c_str());
    std::exit(1);
  }
  for (int i = 0; i < messages; ++i) {
    if (const SmtpOutcome sent = client.SendMail("to@example.com", "from@example.com", message);
        !sent.ok()) {
      std::fprintf(stderr, "SendMail %d failed: %d\n%s\n", i, sent.number(), sent.text().c_str());
      std::exit(1);
    }
  }
  client.Disconnect();
  return {SecondsSince(start), ProcessorSeconds() - processorStart};
}

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (messages <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: %s [messages [rounds]]\n", argv[0]);
    return 2;
  }
  char pattern[] = "/tmp/postrider-tls-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path folder = pattern;
  const int made = WaitFor(Spawn({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", (folder / "key.pem").string(), "-out",
                                  (folder / "cert.pem").string()},
                                 /*quiet=*/true));
  if (made != 0) {
    std::fprintf(stderr, "openssl req failed\n");
    return 1;
  }

  const std::string message = Message();
  Sink sink;
  Tunnel tunnel(folder, sink.port());
  Relay relay(sink.port());
  SmtpSessionOptions plain;
  SmtpSessionOptions tls;
  tls.security = SmtpSecurity::Tls;
  tls.trustFile = (folder / "cert.pem").string();

  std::printf("%d messages of %zu bytes per round over one connection, %d rounds, to one\n"
              "smtp-sink: plain TCP straight to it, plain TCP through a relay process, implicit\n"
              "TLS through stunnel4\n",
              messages, message.size(), rounds);
  std::vector<double> plainRates, relayRates, tlsRates, plainCpu, tlsCpu;
  for (int round = 1; round <= rounds; ++round) {
    const Measured direct = Run(sink.address(), plain, message, messages);
    const Measured relayed = Run(relay.address(), plain, message, messages);
    const Measured encrypted = Run(tunnel.address(), tls, message, messages);
    plainRates.push_back(messages / direct.seconds);
    relayRates.push_back(messages / relayed.seconds);
    tlsRates.push_back(messages / encrypted.seconds);
    plainCpu.push_back(direct.processorSeconds * 1e6 / messages);
    tlsCpu.push_back(encrypted.processorSeconds * 1e6 / messages);
    std::printf("round %d: plain %.0f/s, plain relayed %.0f/s, TLS %.0f/s; client processor "
                "time %.1f us (plain), %.1f us (TLS) per message\n",
                round, plainRates.back(), relayRates.back(), tlsRates.back(), plainCpu.back(),
                tlsCpu.back());
  }
  const double plainRate = Median(plainRates);
  const double relayRate = Median(relayRates);
  const double tlsRate = Median(tlsRates);
  std::printf("plain TCP:          %6.0f messages/s (median)\n", plainRate);
  std::printf("plain TCP, relayed: %6.0f messages/s\n", relayRate);
  std::printf("TLS via stunnel4:   %6.0f messages/s\n", tlsRate);
  std::printf("TLS / plain: %.2f (target 0.8); TLS / plain relayed: %.2f\n", tlsRate / plainRate,
              tlsRate / relayRate);
  std::printf("client processor time per message: plain %.1f us, TLS %.1f us (TLS adds %.0f%%)\n",
              Median(plainCpu), Median(tlsCpu), 100.0 * (Median(tlsCpu) / Median(plainCpu) - 1));
  fs::remove_all(folder);
  return 0;
}
