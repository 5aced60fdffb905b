#include "project/recipient_key.h"

#include "platform/ascii_text.h"

namespace postrider {

std::string RecipientKey(std::string_view address) {
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) return std::string(address);
  return std::string(address.substr(0, at + 1)) + AsciiLowercase(address.substr(at + 1));
}

}  // namespace postrider
