#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace postrider::testing {

// Files this process writes stop at `bytes` while the object lives, as a full
// disk stops them: a write past it fails with EFBIG instead of raising
// SIGXFSZ. The limit and the signal's handling are put back afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    applied_ = getrlimit(RLIMIT_FSIZE, &previous_) == 0;
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    applied_ = applied_ && setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool applied() const { return applied_; }

 private:
  rlimit previous_{};
  sighandler_t previousHandler_ = SIG_DFL;
  bool applied_ = false;
};

}  // namespace postrider::testing
