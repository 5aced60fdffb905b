// The whole send path at speed: a 10000-entry project with three merge
// fields in a 1 KiB letter, sent by `postrider-cli send` to smtp-sink on
// loopback, beside SmtpClient's raw rate with messages of the same size and
// Postfix's smtp-source (10000 x 1 KiB, one connection). It also times
// composition and the per-entry bookkeeping alone, without the network, as a
// share of the raw client's time.
//
// Usage: bench_send_run [entries [rounds]]   (postrider-cli is looked for
// beside this program's build folder, or named by POSTRIDER_CLI)

#include <filesystem>
#include <fstream>

#include "bench_support.h"
#include "project/postridr_doc.h"
#include "send/message_composer.h"

namespace {

using namespace postrider;
using namespace postrider::bench;
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

std::string Letter() {
  std::string letter = "To: \nFrom:  \nSubject: Our spring programme\n";
  letter += "Dear [[FirstName]] [[LastName]],\r\n\r\n";
  letter += "As a member in [[City]] you are among the first to hear of our spring programme.\r\n";
  while (letter.size() < 1024) {
    letter += "Readings, talks and workshops run every week from March to May; the full list\r\n";
  }
  return letter;
}

// A project in `folder` with `entries` selected entries; returns its path.
fs::path WriteProject(const fs::path& folder, int entries, const std::string& server) {
  std::string list = "FirstName\tLastName\tEmail\tCity\n";
  for (int i = 0; i < entries; ++i) {
    list += "First" + std::to_string(i) + "\tLast" + std::to_string(i) + "\tmember" +
            std::to_string(i) + "@example.com\tCity" + std::to_string(i % 97) + "\n";
  }
  WriteFile(folder / "members.txt", list);
  WriteFile(folder / "letter.txt", Letter());
  WriteFile(folder / "bench.prh", std::string(32000, '\x80'));
  WriteFile(folder / "bench.prj",
            "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
            "EmailFieldString=Email\nEmailFieldIndex=2\nHelperFile=bench.prh\nLastIndexSent=0\n");
  WriteFile(folder / "settings.ini", "[Settings]\nRealName=Bench\nReturnAddress=bench@example.com\n"
                                     "SMTPServer=" + server + "\nLog=0\n");
  return folder / "bench.prj";
}

std::string CliPath() {
  if (const char* cli = std::getenv("POSTRIDER_CLI")) return cli;
  return (fs::canonical(fs::path("/proc/self/exe")).parent_path().parent_path() / "src" /
          "postrider-cli")
      .string();
}

// Seconds `postrider-cli send` takes for the whole project.
double RunCliSend(const std::string& cli, const fs::path& folder, int entries) {
  Sink sink;
  const fs::path project = WriteProject(folder, entries, sink.address());
  const auto start = Clock::now();
  const int status = WaitFor(Spawn({cli, "send", project.string(), "--settings",
                                    (folder / "settings.ini").string()},
                                   /*quiet=*/true));
  const double seconds = SecondsSince(start);
  if (status != 0) {
    std::fprintf(stderr, "postrider-cli send failed: %d\n", status);
    std::exit(1);
  }
  return seconds;
}

// Composition and the marks a run keeps, for every entry, without sending.
double RunCompositionOnly(const fs::path& folder, int entries, std::string& sample) {
  WriteProject(folder, entries, "127.0.0.1:1");
  CPostridrDoc document;
  if (!document.OnOpenDocument((folder / "bench.prj").string())) std::exit(1);
  UserSettings settings{.realName = "Bench", .returnAddress = "bench@example.com"};
  ComposedMessage composed;
  const auto start = Clock::now();
  for (int i = 0; i < document.GetEntryCount(); ++i) {
    if (document.IsEntrySelected(i) == 0) continue;
    ComposeMessage(document, i, settings, composed);
    document.SetEntryStatus(i, StatusSent);
  }
  const double seconds = SecondsSince(start);
  sample = composed.text;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (entries <= 0 || entries > 32000 || rounds <= 0) {
    std::fprintf(stderr, "usage: %s [entries (1-32000) [rounds]]\n", argv[0]);
    return 2;
  }
  const std::string cli = CliPath();
  char pattern[] = "/tmp/postrider-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path folder = pattern;

  std::string sample;
  RunCompositionOnly(folder, entries, sample);  // warm the page cache
  std::printf("%d entries, 3 merge fields, composed message of %zu bytes, one connection to\n"
              "smtp-sink on loopback, %d rounds (medians)\n",
              entries, sample.size(), rounds);

  std::vector<double> cliRates, rawRates, sourceRates, composeShares;
  for (int round = 1; round <= rounds; ++round) {
    const double cliSeconds = RunCliSend(cli, folder, entries);
    const double rawSeconds = RunRawClient(sample, entries);
    const double sourceSeconds = RunSmtpSource(entries);
    const double composeSeconds = RunCompositionOnly(folder, entries, sample);
    cliRates.push_back(entries / cliSeconds);
    rawRates.push_back(entries / rawSeconds);
    sourceRates.push_back(entries / sourceSeconds);
    composeShares.push_back(composeSeconds / rawSeconds);
    std::printf("round %d: postrider-cli send %.0f/s, SmtpClient %.0f/s, smtp-source %.0f/s, "
                "composition %.1f us/message\n",
                round, cliRates.back(), rawRates.back(), sourceRates.back(),
                composeSeconds * 1e6 / entries);
  }
  const double cliRate = Median(cliRates);
  const double sourceRate = Median(sourceRates);
  std::printf("postrider-cli send: %7.0f messages/s\n", cliRate);
  std::printf("SmtpClient raw:     %7.0f messages/s\n", Median(rawRates));
  std::printf("smtp-source:        %7.0f messages/s\n", sourceRate);
  std::printf("end to end / smtp-source: %.2f (target 0.75)\n", cliRate / sourceRate);
  std::printf("composition and bookkeeping / raw client time: %.1f%% (target 10%%)\n",
              100.0 * Median(composeShares));
  fs::remove_all(folder);
  return 0;
}
