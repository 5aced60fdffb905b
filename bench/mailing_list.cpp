// How fast a 32000-record mailing list loads and reads, against one plain
// sequential read of the same file, and what the loaded list costs in memory.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "project/postridr_doc.h"

namespace {

using postrider::CPostridrDoc;
using postrider::ListRecord;

constexpr int kRecords = 32000;
constexpr int kRepeats = 60;

// Five fields, about 100 bytes a line; written line by line so that making
// the file does not raise the process's peak memory.
void WriteList(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  std::fprintf(file, "FirstName\tLastName\tEmail\tCity\tMemberSince\n");
  for (int i = 0; i < kRecords; ++i) {
    std::fprintf(file,
                 "Firstname%06d\tLastname-of-record%06d\tfirst.last.%06d@mail.example.org\t"
                 "Some City %05d\t%04d-01-01\n",
                 i, i, i, i % 50000, 1950 + i % 70);
  }
  std::fclose(file);
}

void WriteProject(const std::string& folder) {
  std::ofstream project(folder + "/bench.prj");
  project << "[Settings]\nMessageFile=bench-letter.txt\nDBFile=list.txt\nDBFileType=0\n"
             "EmailFieldString=Email\nEmailFieldIndex=2\nHelperFile=bench.prh\nLastIndexSent=0\n";
  std::ofstream(folder + "/bench-letter.txt") << "To: \nFrom:  \nSubject: s\nbody\n";
  std::ofstream(folder + "/bench.prh") << std::string(32000, '\0');
}

// The best of several runs of each, in seconds. The runs take turns, so that
// whatever else the machine does falls on all of them alike; the file is in
// the page cache after the first.
std::vector<double> BestOfEach(const std::vector<std::function<void()>>& runs) {
  std::vector<double> best(runs.size(), 1e9);
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      runs[i]();
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      best[i] = std::min(best[i], took.count());
    }
  }
  return best;
}

long StatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
  }
  return -1;
}

// Lets VmHWM start again from the present resident size.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

std::size_t volatile sink;  // keeps the reads from being optimised away

}  // namespace

int main() {
  char pattern[] = "/tmp/postrider-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  const std::string listPath = folder + "/list.txt";
  WriteList(listPath);
  WriteProject(folder);
  const auto fileSize = std::filesystem::file_size(listPath);

  std::vector<int> shuffled(kRecords);
  std::iota(shuffled.begin(), shuffled.end(), 0);
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));

  // Memory first, while the heap is fresh: what the open list costs.
  CPostridrDoc document;
  const bool peakResets = ResetPeak();
  const long before = peakResets ? StatusKiB("VmRSS:") : StatusKiB("VmHWM:");
  if (!document.OnOpenDocument(folder + "/bench.prj") || document.GetEntryCount() != kRecords) {
    std::cerr << "the list did not load\n";
    return 1;
  }
  ListRecord record;
  for (int i = 0; i < kRecords; ++i) document.ReadListRecord(i, record);
  for (int i : shuffled) document.ReadListRecord(i, record);
  const long after = StatusKiB("VmHWM:");

  std::vector<int> inOrder(kRecords);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  const auto readAll = [&](const std::vector<int>& order) {
    std::size_t values = 0;
    for (int i : order) {
      document.ReadListRecord(i, record);
      values += record.values.size();
    }
    sink = values;
  };
  const std::vector<double> best = BestOfEach({
      [&] {
        std::ifstream in(listPath);
        std::size_t lines = 0;
        for (std::string line; std::getline(in, line);) lines += line.empty() ? 0 : 1;
        sink = lines;
      },
      [&] { document.LoadList(listPath); },
      [&] { readAll(inOrder); },
      [&] { readAll(shuffled); },
  });
  const double plain = best[0];
  const double load = best[1];
  const double sequential = best[2];
  const double random = best[3];

  std::printf(
      "mailing list: %d records, 5 fields, %llu bytes (%.1f bytes a line); best of %d runs\n",
      kRecords, static_cast<unsigned long long>(fileSize),
      static_cast<double>(fileSize) / (kRecords + 1), kRepeats);
  std::printf("  plain std::getline read   %8.3f ms   1.00 x\n", plain * 1e3);
  std::printf("  load (LoadList)           %8.3f ms   %.2f x   (target <= 1.5 x)\n", load * 1e3,
              load / plain);
  std::printf("  ReadListRecord, in order  %8.3f ms   %.2f x   (target <= 3 x)\n", sequential * 1e3,
              sequential / plain);
  std::printf("  ReadListRecord, random    %8.3f ms   %.2f x\n", random * 1e3, random / plain);
  std::printf(
      "  peak memory growth, open list read in both orders: %ld KiB (target < 1024 KiB)%s\n",
      after - before, peakResets ? "" : " [peak could not be reset: growth over the run]");

  std::filesystem::remove_all(folder);
  return 0;
}
