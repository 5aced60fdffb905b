#include "project/address_check.h"

namespace postrider {

namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool IsValidAddress(std::string_view address) {
  return address.size() >= 5 && IsAsciiLetterOrDigit(address.front()) &&
         address.find(' ') == std::string_view::npos &&
         address.find('@') != std::string_view::npos &&
         address.find('.') != std::string_view::npos;
}

}  // namespace postrider
