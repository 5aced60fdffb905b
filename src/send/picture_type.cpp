#include "send/picture_type.h"

#include <magic.h>

#include <memory>

namespace postrider {

namespace {

struct MagicCloser {
  void operator()(magic_set* cookie) const { magic_close(cookie); }
};

}  // namespace

std::string MediaTypeOfBytes(std::string_view bytes) {
  // Opened for each call: a run asks only once for each picture.
  std::unique_ptr<magic_set, MagicCloser> cookie(magic_open(MAGIC_MIME_TYPE | MAGIC_ERROR));
  if (!cookie || magic_load(cookie.get(), nullptr) != 0) return {};
  const char* type = magic_buffer(cookie.get(), bytes.data(), bytes.size());
  return type != nullptr ? std::string(type) : std::string();
}

}  // namespace postrider
