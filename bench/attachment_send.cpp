// A whole send with attachments: `postrider-cli send` of a generated project
// to a fresh smtp-sink on loopback over one connection, against Postfix's
// smtp-source -d sending as many messages of the same size to the same sink,
// with the peak memory of postrider-cli (its ru_maxrss). Three cases: no
// file, a 1 MiB file attached to everyone, and a 200 KiB file of each
// recipient's own (200 different files, each under ten names).
//
// Usage: bench_attachment_send [entries]   (2000 by default; postrider-cli
// from POSTRIDER_CLI or beside this build's src/)

#include <sys/resource.h>
#include <sys/wait.h>

#include <random>

#include "bench_project.h"
#include "bench_support.h"

namespace {

using namespace postrider;
using namespace postrider::bench;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

struct Figures {
  double seconds = 0;
  double peakMiB = 0;
};

Figures RunCli(const std::vector<std::string>& argv) {
  const pid_t pid = Spawn(argv, /*quiet=*/true);
  const auto start = Clock::now();
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const double seconds = SecondsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("postrider-cli send failed");
  return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

// The size of entry 0's message as it goes after DATA.
std::size_t MessageSize(const std::string& cli, const fs::path& project, const fs::path& folder) {
  const fs::path out = folder / "compose.eml";
  const pid_t pid = fork();
  if (pid == 0) {
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(127);
    execl(cli.c_str(), cli.c_str(), "compose", project.c_str(), "0", "--settings",
          (folder / "settings.ini").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (WaitFor(pid) != 0) Die("postrider-cli compose failed");
  return fs::file_size(out);
}

void RunCase(const char* name, const std::string& cli, const fs::path& folder, int entries,
             const std::string& attachmentLine) {
  Sink sink;
  const fs::path project = WriteProject(folder, entries, sink.address());
  WriteFile(folder / "letter.txt", "To: \nFrom:  \nSubject: Our spring programme\n" + attachmentLine +
                                       Letter().substr(Letter().find("Dear")));
  fs::remove(project.string() + ".journal");
  const std::size_t size = MessageSize(cli, project, folder);
  const Figures ours = RunCli({cli, "send", project.string(), "--settings",
                               (folder / "settings.ini").string()});
  const std::vector<std::string> source = {
      "/usr/sbin/smtp-source", "-s", "1", "-d", "-m", std::to_string(entries),
      "-l", std::to_string(size), "-f", "from@example.com", "-t", "to@example.com",
      sink.address()};
  const auto start = Clock::now();
  if (WaitFor(Spawn(source, /*quiet=*/true)) != 0) Die("smtp-source failed");
  const double theirs = SecondsSince(start);
  const double megabytes = static_cast<double>(size) * entries / 1e6;
  std::printf("%-34s %8zu bytes  postrider-cli %7.1f MB/s (%5.1f s, peak %6.1f MiB)  "
              "smtp-source -d %7.1f MB/s  ratio %.2f\n",
              name, size, megabytes / ours.seconds, ours.seconds, ours.peakMiB,
              megabytes / theirs, theirs / ours.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 2000;
  const std::string cli = CliPath();
  const fs::path folder = fs::temp_directory_path() / ("postrider-bench-" + std::to_string(getpid()));
  fs::create_directories(folder / "own");
  WriteFile(folder / "programme.pdf", "%PDF-1.4\n" + RandomBytes(1024 * 1024 - 9, 1));
  constexpr int kDistinct = 200;
  for (int i = 0; i < kDistinct; ++i) {
    WriteFile(folder / "own" / ("City" + std::to_string(i) + ".pdf"),
              "%PDF-1.4\n" + RandomBytes(200 * 1024 - 9, 100 + static_cast<unsigned>(i)));
  }
  // Each entry's own name, First<i>.pdf, linked to one of the distinct files.
  for (int i = 0; i < entries; ++i) {
    fs::create_hard_link(folder / "own" / ("City" + std::to_string(i % kDistinct) + ".pdf"),
                         folder / "own" / ("First" + std::to_string(i) + ".pdf"));
  }
  std::printf("%d messages over one connection to smtp-sink on loopback:\n", entries);
  RunCase("no file", cli, folder, entries, "");
  RunCase("1 MiB for everyone", cli, folder, entries,
          "[[Attachment:  " + (folder / "programme.pdf").string() + "]]\n");
  RunCase("200 KiB of each recipient's own", cli, folder, entries,
          "[[Attachment:  " + (folder / "own").string() + "/[[FirstName]].pdf]]\n");
  fs::remove_all(folder);
  return 0;
}
