// The check before a run on a long list: a project whose letter carries a
// file for everyone and a file of each recipient's own, with a real file for
// every entry, checked as Send checks it. Prints the whole check's time and
// that of composing every entry alone, the part the check spends on text it
// throws away.
//
// Usage: bench_attachment_check [entries [rounds]]   (32000 and 3 by default)

#include <filesystem>
#include <string>

#include "bench_project.h"
#include "bench_support.h"
#include "project/postridr_doc.h"
#include "send/attachment_run_check.h"
#include "send/message_composer.h"

namespace {

using namespace postrider;
using namespace postrider::bench;

void WriteAttachmentProject(const fs::path& folder, int entries) {
  WriteProject(folder, entries, "127.0.0.1:1");
  fs::create_directories(folder / "own");
  for (int i = 0; i < entries; ++i) {
    WriteFile(folder / "own" / ("Last" + std::to_string(i) + ".pdf"),
              "%PDF-1.4 invoice " + std::to_string(i));
  }
  WriteFile(folder / "programme.pdf", "%PDF-1.4 " + std::string(100000, 'p'));
  WriteFile(folder / "letter.txt", "[[Attachment:  programme.pdf]]\n"
                                   "[[Attachment:  own/[[LastName]].pdf]]\n" + Letter());
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 32000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path folder = fs::temp_directory_path() / ("bench-attachment-check-" + std::to_string(getpid()));
  fs::create_directories(folder);
  WriteAttachmentProject(folder, entries);
  CPostridrDoc document;
  if (!document.OnOpenDocument((folder / "bench.prj").string())) {
    std::fprintf(stderr, "cannot open the project\n");
    return 1;
  }
  std::vector<int> selected;
  for (int i = 0; i < document.GetEntryCount(); ++i) selected.push_back(i);
  const UserSettings settings{.realName = "Bench", .returnAddress = "bench@example.com"};

  std::vector<double> checks;
  std::vector<double> compositions;
  std::size_t problems = 0;
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    const RunAttachmentCheck check = CheckRunAttachments(document, selected, settings, 10u << 20);
    checks.push_back(SecondsSince(start));
    problems = check.problems.size();

    MessageComposer composer;
    ComposedMessage composed;
    start = Clock::now();
    for (const int entry : selected) {
      composer.Compose(document, entry, settings, 0, "<check@postrider.invalid>", composed);
    }
    compositions.push_back(SecondsSince(start));
  }
  std::printf("entries %d, problems %zu, median of %d rounds\n", entries, problems, rounds);
  std::printf("check before the run: %.3f s\n", Median(checks));
  std::printf("composing every entry alone: %.3f s\n", Median(compositions));
  fs::remove_all(folder);
  return problems == 0 ? 0 : 1;
}
