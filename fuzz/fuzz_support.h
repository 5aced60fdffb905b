#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A property that does not hold stops the run with a report libFuzzer keeps,
// like a crash.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

namespace postrider::fuzz {

// A file in memory that the program opens by path like any other, rewritten
// for every input, so a run never touches the disk.
class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC)) {
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }

  void Write(std::string_view bytes) const {
    if (ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote =
          pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (wrote <= 0) std::abort();
      done += static_cast<std::size_t>(wrote);
    }
  }

 private:
  int fd_;
  std::string path_;
};

inline std::string_view AsText(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace postrider::fuzz
