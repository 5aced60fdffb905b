// How closely a run keeps to a rate limit: `messages` entries (300 unless
// told) sent to smtp-sink on loopback at 600 and 1200 messages a minute, once
// over one connection and once with 25 messages a connection. Two figures
// each: in this process, the rate between the first and the last message the
// server took (from the marks the run sets as answers come); and
// `postrider-cli send --per-minute N` as a whole, from its start to its exit
// (starting, connecting and saving included), counting n - 1 intervals.
//
// Usage: bench_send_pace [messages]   (postrider-cli beside this program's
// build folder, or named by POSTRIDER_CLI)

#include <cmath>
#include <filesystem>
#include <fstream>

#include "bench_project.h"
#include "bench_quiet_host.h"
#include "bench_support.h"
#include "project/document_views.h"
#include "project/postridr_doc.h"
#include "send/send_run.h"

namespace {

using namespace postrider;
using namespace postrider::bench;
namespace fs = std::filesystem;

fs::path WritePaceProject(const fs::path& folder, int entries, const std::string& server) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < entries; ++i) {
    list += "Member " + std::to_string(i) + "\tmember" + std::to_string(i) + "@example.com\n";
  }
  WriteFile(folder / "members.txt", list);
  WriteFile(folder / "letter.txt",
            "To: \nFrom:  \nSubject: Spring\nDear [[Name]],\r\nour spring programme is out.\r\n");
  WriteFile(folder / "pace.prh", std::string(32000, '\x80'));
  WriteFile(folder / "pace.prj",
            "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
            "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=pace.prh\nLastIndexSent=0\n");
  WriteFile(folder / "settings.ini", "[Settings]\nRealName=Bench\nReturnAddress=bench@example.com\n"
                                     "SMTPServer=" + server + "\nLog=0\n");
  return folder / "pace.prj";
}

// When each entry got its mark: just after the server's answer.
class MarkTimes : public IProjectView {
 public:
  void FillList() override {}
  void RedrawList() override {}
  void ShowEntry(int) override { times.push_back(Clock::now()); }
  std::vector<Clock::time_point> times;
};

// Messages a minute between the first answer and the last, in this process.
double RunInProcess(const fs::path& folder, int messages, int perMinute, int perConnection) {
  Sink sink;
  const fs::path project = WritePaceProject(folder, messages, sink.address());
  QuietPrompts prompts;
  QuietFrame frame;
  CPostridrDoc document;
  document.SetPrompts(&prompts);
  if (!document.OnOpenDocument(project.string())) std::exit(1);
  MarkTimes marks;
  document.AddView(&marks);
  UserSettings settings{.realName = "Bench", .returnAddress = "bench@example.com",
                        .smtpServer = sink.address()};
  settings.messagesPerMinute = perMinute;
  settings.messagesPerConnection = perConnection;
  SendController controller(SendRunHost{prompts, frame});
  const SendRunResult result = controller.OnSend(document, settings);
  document.RemoveView(&marks);
  fs::remove(project.string() + ".journal");
  if (result.accepted != messages || marks.times.size() != static_cast<std::size_t>(messages)) {
    std::fprintf(stderr, "the run sent %d of %d\n", result.accepted, messages);
    std::exit(1);
  }
  const double seconds =
      std::chrono::duration<double>(marks.times.back() - marks.times.front()).count();
  return (messages - 1) * 60.0 / seconds;
}

// Messages a minute for `postrider-cli send` from its start to its exit.
double RunCli(const fs::path& folder, int messages, int perMinute, int perConnection) {
  Sink sink;
  const fs::path project = WritePaceProject(folder, messages, sink.address());
  std::vector<std::string> argv = {CliPath(), "send", project.string(), "--settings",
                                   (folder / "settings.ini").string(), "--per-minute",
                                   std::to_string(perMinute)};
  if (perConnection > 0) argv.insert(argv.end(), {"--per-connection", std::to_string(perConnection)});
  const auto start = Clock::now();
  const int status = WaitFor(Spawn(argv, /*quiet=*/true));
  const double seconds = SecondsSince(start);
  if (status != 0) {
    std::fprintf(stderr, "postrider-cli send failed: %d\n", status);
    std::exit(1);
  }
  return (messages - 1) * 60.0 / seconds;
}

void Print(const char* what, double rate, int limit) {
  const double deviation = (rate - limit) * 100.0 / limit;
  std::printf("  %-38s %8.1f messages/min  %+6.2f%%%s\n", what, rate, deviation,
              std::fabs(deviation) <= 2.0 ? "" : "  (outside 2%)");
}

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::max(std::atoi(argv[1]), 2) : 300;
  const fs::path folder = fs::temp_directory_path() / ("postrider-bench-pace-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::printf("%d messages to smtp-sink on loopback; deviation from the limit (target within 2%%)\n",
              messages);
  for (const int perMinute : {600, 1200}) {
    for (const int perConnection : {0, 25}) {
      std::printf("limit %d/min, %s:\n", perMinute,
                  perConnection > 0 ? "25 messages a connection" : "one connection");
      Print("in process, first to last answer", RunInProcess(folder, messages, perMinute, perConnection),
            perMinute);
      Print("postrider-cli send, start to exit", RunCli(folder, messages, perMinute, perConnection),
            perMinute);
    }
  }
  fs::remove_all(folder);
  return 0;
}
