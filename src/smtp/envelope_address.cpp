#include "smtp/envelope_address.h"

namespace postrider {

namespace {

// A blank outside a quoted local part ("a b"@example.com) ends the address
// for the server, which reads what follows as parameters of the command. A
// quote that is never closed protects nothing.
bool HasBareBlank(std::string_view address) {
  bool inQuotes = false;
  bool blankInQuotes = false;
  for (std::size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (inQuotes && c == '\\') {
      ++i;
    } else if (c == '"') {
      inQuotes = !inQuotes;
      blankInQuotes = false;
    } else if (c == ' ') {
      if (!inQuotes) return true;
      blankInQuotes = true;
    }
  }
  return inQuotes && blankInQuotes;
}

}  // namespace

bool IsSafeEnvelopeAddress(std::string_view address) {
  if (address.size() > kMaxEnvelopeAddressLength) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '<' || c == '>') return false;
  }
  return !HasBareBlank(address);
}

}  // namespace postrider
