#include "platform/base64.h"

#include <openssl/evp.h>

namespace postrider {

void AppendBase64(std::string_view bytes, std::string& out) {
  if (bytes.empty()) return;
  // EVP_EncodeBlock takes an int length: feed it in slices a multiple of 3 long.
  constexpr std::size_t kSlice = 3 * 1024 * 1024;
  while (!bytes.empty()) {
    const std::size_t take = bytes.size() < kSlice ? bytes.size() : kSlice;
    const std::size_t start = out.size();
    out.resize(start + 4 * ((take + 2) / 3) + 1);  // and the NUL it writes
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + start),
                        reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(take));
    out.resize(start + static_cast<std::size_t>(written));
    bytes.remove_prefix(take);
  }
}

std::string Base64(std::string_view bytes) {
  std::string out;
  AppendBase64(bytes, out);
  return out;
}

}  // namespace postrider
