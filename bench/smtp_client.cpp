// Sends 10000 messages of about 1 KiB over one connection to Postfix's
// smtp-sink on loopback, once with SmtpClient and once with Postfix's
// smtp-source, and prints both rates and their ratio.
//
// Usage: bench_smtp_client [messages [rounds]]
//
// The two take turns for a few rounds; the median and the best round of each
// are reported, so that a moment of load on the machine does not decide the
// outcome (load only ever slows a round down).

#include "bench_support.h"

namespace {

using namespace postrider::bench;

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

}  // namespace

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
    const double clientSeconds = RunRawClient(ComposeMessage(), messages);
    const double sourceSeconds = RunSmtpSource(messages, 1024);
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
