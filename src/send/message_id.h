#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace postrider {

// A Message-ID value, "<unique@domain>", different for every message: the
// unique part comes from the time, the process id, a counter of this
// process and random bits.
std::string NewMessageId(std::string_view returnAddress);

// The domain of the return address (after its last '@') when it can stand on
// the right of a message id; else the local host name; else "localhost".
std::string MessageIdDomain(std::string_view returnAddress);

}  // namespace postrider
