#pragma once

#include <cstddef>
#include <string_view>

namespace postrider {

constexpr std::size_t kMaxEnvelopeAddressLength = 254;

// Whether an address may go into MAIL FROM:<...> or RCPT TO:<...> as it is:
// no control character (a CR LF would start a command of its own), no '<' or
// '>', no blank outside a quoted local part, and not longer than 254 bytes.
bool IsSafeEnvelopeAddress(std::string_view address);

}  // namespace postrider
