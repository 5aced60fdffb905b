#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace postrider {

// One address of a list value, with the name written before it, if any.
struct ListedAddress {
  std::string name;     // "" when the value gives none
  std::string address;  // as written, UTF-8
};

// Reads a list value holding one or more addresses, separated by commas or
// semicolons: "ann@example.org", "Ann Smith <ann@example.org>",
// "\"Smith, Ann\" <ann@example.org>". Blanks and empty items are passed over,
// so an empty value holds none. An error says what cannot be read (a quote or
// '<' left open, text after '>', a name without an address).
Result<std::vector<ListedAddress>> ParseAddressList(std::string_view value);

// Whether an address can be sent to, with the checks the main recipient's
// address gets: plausible, nothing that could break a mail command, a domain
// that has an ASCII form. The error says why not.
Status CheckUsableAddress(std::string_view address);

}  // namespace postrider
