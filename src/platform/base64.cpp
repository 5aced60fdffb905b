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

namespace postrider {

std::string Base64Url(std::string_view bytes) {
  std::string out = Base64(bytes);
  while (!out.empty() && out.back() == '=') out.pop_back();
  for (char& c : out) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return out;
}

namespace {

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;
  std::string out;
  out.reserve(text.size() * 3 / 4);
  unsigned int bits = 0;
  int count = 0;
  for (const char c : text) {
    const int sextet = SextetOf(c);
    if (sextet < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned int>(sextet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

}  // namespace postrider
