#pragma once

#include <string_view>

namespace postrider {

// The plausibility check an address must pass before a message goes to it:
// at least 5 characters, a letter or digit first, no blank, and somewhere an
// "@" and a ".".
bool IsValidAddress(std::string_view address);

}  // namespace postrider
