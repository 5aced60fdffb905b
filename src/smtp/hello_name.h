#pragma once

#include <string>
#include <string_view>

namespace postrider {

// The longest domain a HELO may carry (RFC 5321 section 4.5.3.1.2).
constexpr std::size_t kMaxHelloNameLength = 255;

// A host name made fit for "HELO %s": only printable ASCII without blanks,
// cut to kMaxHelloNameLength; "localhost" when nothing is left.
std::string MakeHelloName(std::string_view hostName);

// This machine's host name, made fit for HELO.
std::string LocalHelloName();

}  // namespace postrider
