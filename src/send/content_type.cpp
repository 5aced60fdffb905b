#include "send/content_type.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "send/magic_functions.h"

namespace postrider {
namespace {

class MagicDatabase {
 public:
  explicit MagicDatabase(const MagicFunctions* magic) : magic_(magic) {
    if (magic_ == nullptr) return;
    cookie_ = magic_->magic_open(MAGIC_MIME_TYPE | MAGIC_NO_CHECK_COMPRESS);
    if (cookie_ != nullptr && magic_->magic_load(cookie_, nullptr) != 0) {
      magic_->magic_close(cookie_);
      cookie_ = nullptr;
    }
  }
  ~MagicDatabase() {
    if (cookie_ != nullptr) magic_->magic_close(cookie_);
  }
  MagicDatabase(const MagicDatabase&) = delete;
  MagicDatabase& operator=(const MagicDatabase&) = delete;

  std::string TypeOf(std::string_view bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (cookie_ == nullptr) return {};
    const char* type = magic_->magic_buffer(cookie_, bytes.data(), bytes.size());
    return type != nullptr ? type : "";
  }

 private:
  const MagicFunctions* magic_;
  magic_t cookie_ = nullptr;
  std::mutex mutex_;
};

const MagicFunctions* MagicOrNull() {
  const Result<const MagicFunctions*> loaded = LoadMagic();
  return loaded ? *loaded : nullptr;
}

bool IsTokenChar(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b > 0x20 && b < 0x7f && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

// Only a well-formed type/subtype goes into a header; libmagic's names for
// what is no content at all ("application/x-empty", "inode/...") are unknown.
bool IsUsableType(std::string_view type) {
  const std::size_t slash = type.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == type.size()) return false;
  const std::string_view major = type.substr(0, slash);
  const std::string_view minor = type.substr(slash + 1);
  if (major == "inode" || type == "application/x-empty") return false;
  return std::all_of(major.begin(), major.end(), IsTokenChar) &&
         std::all_of(minor.begin(), minor.end(), IsTokenChar) && type.size() <= 127;
}

}  // namespace

Status ContentTypesAvailable() { return LoadMagic().status(); }

std::string ContentTypeOf(std::string_view firstBytes) {
  static MagicDatabase database(MagicOrNull());
  std::string type = database.TypeOf(firstBytes.substr(0, kContentSniffBytes));
  if (!IsUsableType(type)) return std::string(kUnknownContentType);
  return type;
}

std::string ContentTypeOfFile(int fd) {
  std::vector<char> buffer(kContentSniffBytes);
  std::size_t got = 0;
  while (got < buffer.size()) {
    const ssize_t n = ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return ContentTypeOf(std::string_view(buffer.data(), got));
}

}  // namespace postrider
