// The whole send path at speed: a 10000-entry project with three merge
// fields in a 1 KiB letter, sent by `postrider-cli send` to smtp-sink on
// loopback, beside SmtpClient's raw rate with messages of the same size and
// Postfix's smtp-source (10000 x 1 KiB, one connection). It also times
// composition and the per-entry bookkeeping alone, without the network, as a
// share of the raw client's time, and what the send journal costs: the same
// run in this process with the journal and without it, and the journal's
// appends alone.
//
// Usage: bench_send_run [entries [rounds [journal]]]   (postrider-cli is
// looked for beside this program's build folder, or named by POSTRIDER_CLI;
// "journal" measures only the runs with and without the journal)

#include <filesystem>
#include <fstream>

#include "bench_quiet_host.h"
#include "bench_project.h"
#include "bench_support.h"
#include "project/postridr_doc.h"
#include "project/send_journal.h"
#include "send/message_composer.h"
#include "send/send_run.h"

namespace {

using namespace postrider;
using namespace postrider::bench;
namespace fs = std::filesystem;

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

// Seconds one send run to `sink` takes in this process, with or without its journal.
double RunController(const Sink& sink, const fs::path& folder, int entries, bool journal) {
  const fs::path project = WriteProject(folder, entries, sink.address());
  const std::string journalPath = project.string() + ".journal";
  fs::remove(journalPath);
  QuietPrompts prompts;
  QuietFrame frame;
  CPostridrDoc document;
  document.SetPrompts(&prompts);
  if (!document.OnOpenDocument(project.string())) std::exit(1);
  UserSettings settings{.realName = "Bench", .returnAddress = "bench@example.com",
                        .smtpServer = sink.address()};
  SendController controller(SendRunHost{prompts, frame});
  controller.SetJournalling(journal);
  const auto start = Clock::now();
  const SendRunResult result = controller.OnSend(document, settings);
  const double seconds = SecondsSince(start);
  if (result.accepted != entries || fs::exists(journalPath) != journal) {
    std::fprintf(stderr, "the run in this process sent %d of %d\n", result.accepted, entries);
    std::exit(1);
  }
  fs::remove(journalPath);
  return seconds;
}

// The journal's own work for a run of `entries` messages: two appends each,
// with the flushes to disk a run makes.
double RunJournalOnly(const fs::path& folder, int entries) {
  const std::string path = (folder / "alone.journal").string();
  fs::remove(path);
  const auto start = Clock::now();
  {
    Result<std::unique_ptr<SendJournal>> journal = SendJournal::Open(path);
    if (!journal || !(*journal)->RunStarted(JournalIdentity{}, 0)) std::exit(1);
    for (int i = 0; i < entries; ++i) {
      (*journal)->HandedOver(i, "member" + std::to_string(i) + "@example.com");
      (*journal)->Outcome(i, StatusSent);
    }
    if (!(*journal)->RunEnded(0)) std::exit(1);
  }
  const double seconds = SecondsSince(start);
  fs::remove(path);
  return seconds;
}

// One run with the journal and one without, each first in every other round.
struct JournalPair {
  double withJournal;  // messages/s
  double without;      // messages/s
  double appendShare;  // the journal's work alone / the run's time without it
};

JournalPair RunJournalPair(const fs::path& folder, int entries, int round) {
  const bool journalFirst = round % 2 == 1;
  Sink sink;  // one for both, so the pair differs in the journal alone
  const double firstSeconds = RunController(sink, folder, entries, journalFirst);
  const double secondSeconds = RunController(sink, folder, entries, !journalFirst);
  const double journalSeconds = journalFirst ? firstSeconds : secondSeconds;
  const double plainSeconds = journalFirst ? secondSeconds : firstSeconds;
  const double appendSeconds = RunJournalOnly(folder, entries);
  return {entries / journalSeconds, entries / plainSeconds, appendSeconds / plainSeconds};
}

void PrintJournalFigures(const std::vector<JournalPair>& pairs) {
  std::vector<double> with, without, ratios, shares;
  for (const JournalPair& pair : pairs) {
    with.push_back(pair.withJournal);
    without.push_back(pair.without);
    ratios.push_back(pair.withJournal / pair.without);
    shares.push_back(pair.appendShare);
  }
  std::printf("send run with the journal:    %7.0f messages/s\n", Median(with));
  std::printf("send run without the journal: %7.0f messages/s\n", Median(without));
  std::printf("with / without the journal: %.3f; median of the rounds' ratios %.3f "
              "(target 0.97)\n",
              Median(with) / Median(without), Median(ratios));
  std::printf("the journal's appends and flushes alone / a run's time without it: %.2f%%\n",
              100.0 * Median(shares));
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const bool journalOnly = argc > 3 && std::string(argv[3]) == "journal";
  if (entries <= 0 || entries > 32000 || rounds <= 0 || (argc > 3 && !journalOnly)) {
    std::fprintf(stderr, "usage: %s [entries (1-32000) [rounds [journal]]]\n", argv[0]);
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

  std::vector<JournalPair> pairs;
  if (journalOnly) {
    for (int round = 1; round <= rounds; ++round) {
      pairs.push_back(RunJournalPair(folder, entries, round));
      std::printf("round %d: send run with journal %.0f/s, without %.0f/s\n", round,
                  pairs.back().withJournal, pairs.back().without);
    }
    PrintJournalFigures(pairs);
    fs::remove_all(folder);
    return 0;
  }

  std::vector<double> cliRates, rawRates, sourceRates, composeShares;
  for (int round = 1; round <= rounds; ++round) {
    const double cliSeconds = RunCliSend(cli, folder, entries);
    const double rawSeconds = RunRawClient(sample, entries);
    const double sourceSeconds = RunSmtpSource(entries);
    const double composeSeconds = RunCompositionOnly(folder, entries, sample);
    pairs.push_back(RunJournalPair(folder, entries, round));
    cliRates.push_back(entries / cliSeconds);
    rawRates.push_back(entries / rawSeconds);
    sourceRates.push_back(entries / sourceSeconds);
    composeShares.push_back(composeSeconds / rawSeconds);
    std::printf("round %d: postrider-cli send %.0f/s, SmtpClient %.0f/s, smtp-source %.0f/s, "
                "composition %.1f us/message\n"
                "         send run with journal %.0f/s, without %.0f/s, journal alone "
                "%.1f us/message\n",
                round, cliRates.back(), rawRates.back(), sourceRates.back(),
                composeSeconds * 1e6 / entries, pairs.back().withJournal, pairs.back().without,
                pairs.back().appendShare * 1e6 / pairs.back().without);
  }
  const double cliRate = Median(cliRates);
  const double sourceRate = Median(sourceRates);
  std::printf("postrider-cli send: %7.0f messages/s\n", cliRate);
  std::printf("SmtpClient raw:     %7.0f messages/s\n", Median(rawRates));
  std::printf("smtp-source:        %7.0f messages/s\n", sourceRate);
  std::printf("end to end / smtp-source: %.2f (target 0.75)\n", cliRate / sourceRate);
  std::printf("composition and bookkeeping / raw client time: %.1f%% (target 10%%)\n",
              100.0 * Median(composeShares));
  PrintJournalFigures(pairs);
  fs::remove_all(folder);
  return 0;
}
