#include "smtp/envelope_address.h"

namespace postrider {

bool IsSafeEnvelopeAddress(std::string_view address) {
  if (address.size() > kMaxEnvelopeAddressLength) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '<' || c == '>') return false;
  }
  return true;
}

}  // namespace postrider
