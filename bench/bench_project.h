#pragma once

// The benchmarks' mailing project: a list of members with three merge
// fields, a 1 KiB letter, and settings pointing at a given server.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace postrider::bench {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

inline std::string Letter() {
  std::string letter = "To: \nFrom:  \nSubject: Our spring programme\n";
  letter += "Dear [[FirstName]] [[LastName]],\r\n\r\n";
  letter += "As a member in [[City]] you are among the first to hear of our spring programme.\r\n";
  while (letter.size() < 1024) {
    letter += "Readings, talks and workshops run every week from March to May; the full list\r\n";
  }
  return letter;
}

// A project in `folder` with `entries` selected entries; returns its path.
inline fs::path WriteProject(const fs::path& folder, int entries, const std::string& server) {
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

inline std::string CliPath() {
  if (const char* cli = std::getenv("POSTRIDER_CLI")) return cli;
  return (fs::canonical(fs::path("/proc/self/exe")).parent_path().parent_path() / "src" /
          "postrider-cli")
      .string();
}

}  // namespace postrider::bench
