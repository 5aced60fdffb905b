// How close a whole send comes to the round trips' own pace. In each round,
// against one fresh smtp-sink on loopback: `postrider-cli send` of a
// generated project (composition, marks and journal included), Postfix's
// smtp-source (one connection, 4 round trips a message) with the same count
// and size, and a raw client of this program's own over plain sockets that
// puts each message's MAIL, RCPT and DATA behind the end of data of the one
// before (1 round trip a message). Then what `postrider-cli send` spends per
// message, from two send runs of different sizes so that start-up and
// loading drop out: the instructions callgrind counts, and the system calls
// strace counts.
//
// Usage: bench_pipelined_send [entries [rounds [counted-entries]]]
// (counted-entries 0 skips both counts; postrider-cli as for bench_send_run)

#include <fcntl.h>
#include <netinet/tcp.h>

#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "bench_project.h"
#include "bench_support.h"
#include "project/postridr_doc.h"
#include "send/message_composer.h"
#include "smtp/smtp_text_encoder.h"

namespace {

using namespace postrider;
using namespace postrider::bench;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

// Seconds `postrider-cli send` takes for the project in folder, sent to sink.
double RunCliSend(const std::string& cli, const Sink& sink, const fs::path& folder, int entries) {
  const fs::path project = WriteProject(folder, entries, sink.address());
  fs::remove(project.string() + ".journal");
  const auto start = Clock::now();
  const int status = WaitFor(Spawn({cli, "send", project.string(), "--settings",
                                    (folder / "settings.ini").string()},
                                   /*quiet=*/true));
  const double seconds = SecondsSince(start);
  if (status != 0) Die("postrider-cli send failed: " + std::to_string(status));
  return seconds;
}

double RunSmtpSourceOn(const Sink& sink, int messages, std::size_t bytes) {
  const std::vector<std::string> argv = {
      "/usr/sbin/smtp-source", "-s", "1", "-d", "-m", std::to_string(messages),
      "-l", std::to_string(bytes), "-f", "from@example.com", "-t", "to@example.com",
      sink.address()};
  const auto start = Clock::now();
  const int status = WaitFor(Spawn(argv));
  const double seconds = SecondsSince(start);
  if (status != 0) Die("smtp-source failed: " + std::to_string(status));
  return seconds;
}

// A bare SMTP client over a blocking socket: no checks beyond reply codes.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Die("raw client: connect failed");
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~RawClient() { ::close(fd_); }

  void Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (sent <= 0) Die("raw client: send failed");
      done += static_cast<std::size_t>(sent);
    }
  }
  // The code of the next whole reply.
  int Reply() {
    for (;;) {
      const std::size_t end = buffer_.find("\r\n", begin_);
      if (end != std::string::npos) {
        const std::string_view line(buffer_.data() + begin_, end - begin_);
        begin_ = end + 2;
        if (line.size() >= 4 && line[3] == '-') continue;
        return std::atoi(std::string(line.substr(0, 3)).c_str());
      }
      buffer_.erase(0, begin_);
      begin_ = 0;
      std::array<char, 4096> chunk{};
      const ssize_t got = ::recv(fd_, chunk.data(), chunk.size(), 0);
      if (got <= 0) Die("raw client: connection lost");
      buffer_.append(chunk.data(), static_cast<std::size_t>(got));
    }
  }
  void Expect(int code, const char* what) {
    if (const int got = Reply(); got != code) {
      Die(std::string("raw client: ") + what + " answered " + std::to_string(got));
    }
  }

 private:
  int fd_ = -1;
  std::string buffer_;
  std::size_t begin_ = 0;
};

// Seconds the raw client takes for `messages` copies of `data` (already in
// its wire form, end of data included): one write and one round trip each.
double RunRawPipelined(const Sink& sink, const std::string& data, int messages) {
  const std::string envelope =
      "MAIL FROM:<from@example.com>\r\nRCPT TO:<to@example.com>\r\nDATA\r\n";
  const auto start = Clock::now();
  RawClient client(sink.port());
  client.Expect(220, "the greeting");
  client.Write("EHLO bench.example\r\n");
  client.Expect(250, "EHLO");
  client.Write(envelope);
  std::string group;
  group.reserve(data.size() + envelope.size());
  for (int i = 0; i < messages; ++i) {
    client.Expect(250, "MAIL");
    client.Expect(250, "RCPT");
    client.Expect(354, "DATA");
    group.assign(data);
    if (i + 1 < messages) group.append(envelope);
    client.Write(group);
    client.Expect(250, "the end of data");
  }
  client.Write("QUIT\r\n");
  client.Reply();
  return SecondsSince(start);
}

// The message text in the form it goes over the wire, its end of data too.
std::string WireForm(const std::string& text) {
  SmtpTextEncoder encoder(text);
  std::string wire;
  std::array<char, SmtpTextEncoder::kMaxPiece> piece{};
  while (const std::size_t length = encoder.NextPiece(piece.data())) wire.append(piece.data(), length);
  wire += encoder.EndOfData();
  return wire;
}

// The first entry's message, composed as a run composes it (for the size).
std::string SampleMessage(const fs::path& folder) {
  const fs::path project = WriteProject(folder, 1, "127.0.0.1:1");
  CPostridrDoc document;
  if (!document.OnOpenDocument(project.string())) Die("cannot open " + project.string());
  UserSettings settings{.realName = "Bench", .returnAddress = "bench@example.com"};
  ComposedMessage composed;
  ComposeMessage(document, 0, settings, composed);
  return composed.text;
}

// A fresh project of `entries` sent to a fresh sink by `cli` under `tool`;
// false when the tool is not there or the run failed.
bool RunUnder(const std::vector<std::string>& tool, const std::string& cli,
              const fs::path& folder, int entries) {
  if (!fs::exists(tool.front())) return false;
  Sink sink;
  const fs::path project = WriteProject(folder, entries, sink.address());
  fs::remove(project.string() + ".journal");
  std::vector<std::string> argv = tool;
  argv.insert(argv.end(), {cli, "send", project.string(), "--settings",
                           (folder / "settings.ini").string()});
  const int status = WaitFor(Spawn(argv, /*quiet=*/true));
  if (status != 0) std::fprintf(stderr, "%s failed: %d\n", tool.front().c_str(), status);
  return status == 0;
}

// Instructions callgrind counts for a whole `postrider-cli send` of `entries`.
std::optional<long long> CountInstructions(const std::string& cli, const fs::path& folder,
                                           int entries) {
  const std::string out = (folder / "callgrind.out").string();
  if (!RunUnder({"/usr/bin/valgrind", "--tool=callgrind", "--callgrind-out-file=" + out}, cli,
                folder, entries)) {
    return std::nullopt;
  }
  std::ifstream file(out);
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("summary:", 0) == 0 || line.rfind("totals:", 0) == 0) {
      return std::atoll(line.c_str() + line.find(':') + 1);
    }
  }
  return std::nullopt;
}

// System calls of a whole `postrider-cli send` of `entries`, every thread's,
// by name, as strace -c counts them.
std::optional<std::map<std::string, long long>> CountSystemCalls(const std::string& cli,
                                                                 const fs::path& folder,
                                                                 int entries) {
  const std::string out = (folder / "strace.out").string();
  if (!RunUnder({"/usr/bin/strace", "-f", "-c", "-o", out}, cli, folder, entries)) {
    return std::nullopt;
  }
  // "% time seconds usecs/call calls [errors] syscall": the calls are the
  // fourth column, the name the last.
  std::map<std::string, long long> calls;
  std::ifstream file(out);
  for (std::string line; std::getline(file, line);) {
    std::istringstream columns(line);
    std::vector<std::string> words;
    for (std::string word; columns >> word;) words.push_back(word);
    if (words.size() < 5 || !std::isdigit(static_cast<unsigned char>(words[3][0]))) continue;
    calls[words.back()] += std::atoll(words[3].c_str());
  }
  return calls;
}

void PrintCounts(const std::string& cli, const fs::path& folder, int counted) {
  const int small = std::max(1, counted / 10);
  const double messages = counted - small;
  const auto few = CountInstructions(cli, folder, small);
  const auto many = few ? CountInstructions(cli, folder, counted) : std::nullopt;
  if (many) {
    std::printf("postrider-cli send, instructions a message (callgrind, %d vs %d entries): %.0f\n",
                counted, small, static_cast<double>(*many - *few) / messages);
  } else {
    std::printf("instructions a message: not counted (needs valgrind)\n");
  }

  const auto fewCalls = CountSystemCalls(cli, folder, small);
  const auto manyCalls = fewCalls ? CountSystemCalls(cli, folder, counted) : std::nullopt;
  if (!manyCalls) {
    std::printf("system calls a message: not counted (needs strace)\n");
    return;
  }
  double total = 0;
  std::string each;
  for (const auto& [name, count] : *manyCalls) {
    if (name == "total") continue;
    const auto before = fewCalls->find(name);
    const long long added = count - (before == fewCalls->end() ? 0 : before->second);
    const double perMessage = static_cast<double>(added) / messages;
    total += perMessage;
    if (perMessage >= 0.005) {
      char part[64];
      std::snprintf(part, sizeof part, "%s%s %.2f", each.empty() ? "" : ", ", name.c_str(),
                    perMessage);
      each += part;
    }
  }
  std::printf("postrider-cli send, system calls a message (strace -c, %d vs %d entries): %.2f "
              "(%s)\n",
              counted, small, total, each.c_str());
}

// What a send pays once, whatever its size (start, open, the journal's
// creation, the save and their syncs), against the raw client's connection
// alone; and so the best ratio a run of `entries` could reach if its
// messages cost no more than the raw client's.
void PrintFixedCost(const std::string& cli, const fs::path& folder, const std::string& wire,
                    int entries, double cliRate, double rawRate) {
  std::vector<double> cliSeconds, rawSeconds;
  for (int i = 0; i < 5; ++i) {
    const Sink sink;
    cliSeconds.push_back(RunCliSend(cli, sink, folder, 1));
    rawSeconds.push_back(RunRawPipelined(sink, wire, 1));
  }
  const double fixed = std::max(0.0, Median(cliSeconds) - Median(rawSeconds));
  const double rawRun = entries / rawRate;
  const double perMessage = (entries / cliRate - fixed) / entries;
  std::printf("a one-entry send: %.1f ms, the raw client's: %.1f ms (medians of 5); what a send\n"
              "pays once: %.1f ms, so at most %.3f of the raw client at %d messages; per message\n"
              "without it: postrider-cli send %.1f us, raw client %.1f us\n",
              Median(cliSeconds) * 1e3, Median(rawSeconds) * 1e3, fixed * 1e3,
              rawRun / (rawRun + fixed), entries, perMessage * 1e6, rawRun / entries * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const int counted = argc > 3 ? std::atoi(argv[3]) : 2000;
  if (entries <= 0 || entries > 32000 || rounds <= 0 || counted < 0 || counted > 32000) {
    std::fprintf(stderr, "usage: %s [entries (1-32000) [rounds [counted-entries]]]\n", argv[0]);
    return 2;
  }
  const std::string cli = CliPath();
  char pattern[] = "/tmp/postrider-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path folder = pattern;
  const std::string wire = WireForm(SampleMessage(folder));
  std::printf("%d messages of about %zu bytes a round, one connection each, all three clients\n"
              "on one fresh smtp-sink (127.0.0.1) a round, %d rounds (medians)\n",
              entries, wire.size(), rounds);

  std::vector<double> cliRates, sourceRates, rawRates, sourceRatios, rawRatios;
  for (int round = 1; round <= rounds; ++round) {
    const Sink sink;
    // Each client goes first in turn: the first on a fresh sink also pays
    // for the sink's own first pages and buffers.
    double seconds[3] = {};
    for (int turn = 0; turn < 3; ++turn) {
      switch ((round - 1 + turn) % 3) {
        case 0: seconds[0] = RunCliSend(cli, sink, folder, entries); break;
        case 1: seconds[1] = RunSmtpSourceOn(sink, entries, wire.size()); break;
        default: seconds[2] = RunRawPipelined(sink, wire, entries); break;
      }
    }
    const double cliRate = entries / seconds[0];
    const double sourceRate = entries / seconds[1];
    const double rawRate = entries / seconds[2];
    cliRates.push_back(cliRate);
    sourceRates.push_back(sourceRate);
    rawRates.push_back(rawRate);
    sourceRatios.push_back(cliRate / sourceRate);
    rawRatios.push_back(cliRate / rawRate);
    std::printf("round %d: postrider-cli send %.0f/s, smtp-source %.0f/s, raw 1-round-trip "
                "client %.0f/s\n",
                round, cliRate, sourceRate, rawRate);
  }
  std::printf("postrider-cli send (pipelined): %7.0f messages/s\n", Median(cliRates));
  std::printf("smtp-source -d:                 %7.0f messages/s\n", Median(sourceRates));
  std::printf("raw 1-round-trip client:        %7.0f messages/s\n", Median(rawRates));
  std::printf("end to end / smtp-source: %.2f (target 3); median of the rounds' ratios %.2f\n",
              Median(cliRates) / Median(sourceRates), Median(sourceRatios));
  std::printf("end to end / raw client:  %.2f (target 1.0); median of the rounds' ratios %.2f\n",
              Median(cliRates) / Median(rawRates), Median(rawRatios));

  PrintFixedCost(cli, folder, wire, entries, Median(cliRates), Median(rawRates));
  if (counted > 0) PrintCounts(cli, folder, counted);
  fs::remove_all(folder);
  return 0;
}
