// How fast files are turned into MIME parts: the project's base64 encoder
// against GMime's, and whole messages from AttachmentMessageWriter with a
// file for everyone (encoded once a run) and a file of each recipient's own,
// with the peak memory of each case measured in a child process of its own.
//
// Usage: bench_attachment_encoding [messages]   (2000 by default)

#include <gmime/gmime.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "send/attachment_message.h"
#include "send/attachment_path.h"
#include "send/base64_lines.h"

using namespace postrider;
using postrider::bench::Clock;
using postrider::bench::Median;
using postrider::bench::SecondsSince;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

double OursMBps(const std::string& data) {
  std::vector<double> rates;
  std::string out;
  out.reserve(Base64LineEncoder::EncodedSize(data.size()));
  for (int round = 0; round < 5; ++round) {
    out.clear();
    const auto start = Clock::now();
    Base64LineEncoder encoder;
    constexpr std::size_t kPiece = Base64LineEncoder::kLineBytes * 2048;
    for (std::size_t at = 0; at < data.size(); at += kPiece) {
      encoder.Append(std::string_view(data).substr(at, kPiece), out);
    }
    rates.push_back(static_cast<double>(data.size()) / kMiB / SecondsSince(start));
  }
  return Median(rates);
}

// GMime writes LF line ends; a message on the wire needs CR LF, so its figure
// with that second pass is the one to compare.
double GMimeMBps(const std::string& data, bool withCrLf) {
  std::vector<double> rates;
  std::string out(data.size() / 3 * 4 + data.size() / 57 * 2 + 1024, '\0');
  std::string wire;
  wire.reserve(out.size() + out.size() / 38);
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    int state = 0;
    guint32 save = 0;
    const std::size_t written = g_mime_encoding_base64_encode_close(
        reinterpret_cast<const unsigned char*>(data.data()), data.size(),
        reinterpret_cast<unsigned char*>(out.data()), &state, &save);
    if (withCrLf) {
      wire.clear();
      std::size_t at = 0;
      while (at < written) {
        const void* found = std::memchr(out.data() + at, '\n', written - at);
        const std::size_t end =
            found == nullptr ? written : static_cast<std::size_t>(static_cast<const char*>(found) - out.data());
        wire.append(out, at, end - at);
        if (end < written) wire += "\r\n";
        at = end + 1;
      }
    }
    rates.push_back(static_cast<double>(data.size()) / kMiB / SecondsSince(start));
  }
  return Median(rates);
}

struct CaseFigures {
  double mbPerSecond = 0;  // message bytes written
  double peakMiB = 0;
  unsigned long long filesEncoded = 0;
};

// Runs `work` in a child so that its peak memory is its own; the child
// writes its figures back through a pipe.
CaseFigures InChild(const std::function<CaseFigures()>& work) {
  int pipe[2];
  if (::pipe(pipe) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    CaseFigures figures = work();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    figures.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    (void)!write(pipe[1], &figures, sizeof figures);
    _exit(0);
  }
  close(pipe[1]);
  CaseFigures figures;
  (void)!read(pipe[0], &figures, sizeof figures);
  close(pipe[0]);
  waitpid(child, nullptr, 0);
  return figures;
}

CaseFigures WriteMessages(int messages, const std::function<AttachmentPath(int)>& pathFor) {
  AttachmentMessageWriter writer;
  const std::string head =
      "To: someone@example.com\r\nFrom: office@example.net\r\nSubject: Your file\r\n"
      "Date: Wed, 09 Dec 2026 07:00:00 +0000\r\nMessage-ID: <1@example.net>\r\n";
  const std::string body = "Dear someone,\r\n\r\nyour file is attached.\r\n";
  std::string message;
  double bytes = 0;
  const auto start = Clock::now();
  for (int i = 0; i < messages; ++i) {
    if (Status written = writer.Write(head, body, {pathFor(i)}, message); !written) {
      std::fprintf(stderr, "%s\n", written.message().c_str());
      _exit(1);
    }
    bytes += static_cast<double>(message.size());
  }
  return {bytes / kMiB / SecondsSince(start), 0, writer.figures().filesEncoded};
}

void Print(const char* what, const CaseFigures& figures) {
  std::printf("%-48s %8.1f MB/s  peak %6.1f MiB  files encoded %llu\n", what, figures.mbPerSecond,
              figures.peakMiB, figures.filesEncoded);
}

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::atoi(argv[1]) : 2000;
  g_mime_init();

  {
    const std::string data = RandomBytes(32 * 1024 * 1024, 1);
    std::printf("base64 in lines of 76, 32 MiB of random bytes (median of 5):\n");
    std::printf("  ours (CR LF)                 %8.1f MB/s\n", OursMBps(data));
    std::printf("  GMime (LF)                   %8.1f MB/s\n", GMimeMBps(data, false));
    std::printf("  GMime, then LF -> CR LF      %8.1f MB/s\n", GMimeMBps(data, true));
  }  // freed before the children measure their peak memory

  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("postrider-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string everyone = (folder / "programme.pdf").string();
  std::ofstream(everyone, std::ios::binary) << "%PDF-1.4\n" << RandomBytes(1024 * 1024 - 9, 2);
  // 200 files of 200 KiB, taken in turn: a file of each recipient's own,
  // read from the page cache like a folder of invoices just written.
  constexpr int kOwnFiles = 200;
  for (int i = 0; i < kOwnFiles; ++i) {
    std::ofstream((folder / ("INV-" + std::to_string(i) + ".pdf")).string(), std::ios::binary)
        << "%PDF-1.4\n" << RandomBytes(200 * 1024 - 9, 100 + static_cast<unsigned>(i));
  }
  const std::string fieldLine = folder.string() + "/INV-[[Invoice]].pdf";
  const std::vector<std::string> fields = {"Invoice"};
  const AttachmentPath fixed = FillAttachmentPath(everyone, fields, {""}, "");

  std::printf("\n%d messages, one file each, written to memory:\n", messages);
  Print("  no file (the process alone)", InChild([] { return CaseFigures{}; }));
  Print("  1 MiB for everyone (encoded once a run)", InChild([&] {
          return WriteMessages(messages, [&](int) { return fixed; });
        }));
  Print("  1 MiB for everyone, encoded every message", InChild([&] {
          // The same file through a merge field: never taken from the cache.
          const AttachmentPath each =
              FillAttachmentPath(folder.string() + "/[[Invoice]]", fields, {"programme.pdf"}, "");
          return WriteMessages(messages, [&](int) { return each; });
        }));
  Print("  200 KiB of each recipient's own", InChild([&] {
          return WriteMessages(messages, [&](int i) {
            return FillAttachmentPath(fieldLine, fields, {std::to_string(i % kOwnFiles)}, "");
          });
        }));
  std::filesystem::remove_all(folder);
  return 0;
}
