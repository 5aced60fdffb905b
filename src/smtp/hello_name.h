#pragma once

#include <string>
#include <string_view>

#include "platform/server_address.h"

namespace postrider {

// The longest domain a HELO may carry (RFC 5321 section 4.5.3.1.2).
constexpr std::size_t kMaxHelloNameLength = 255;

// A host name made fit for "HELO %s": only printable ASCII without blanks,
// cut to kMaxHelloNameLength; "localhost" when nothing is left.
std::string MakeHelloName(std::string_view hostName);

// This machine's host name, made fit for HELO.
std::string LocalHelloName();

// This host's fully qualified name: its host name, or the canonical name the
// resolver gives for it, when that holds a dot, is no "localhost" and
// resolves; empty when the host has none.
std::string FullyQualifiedHostName();

// The address literal of an address (RFC 5321 4.1.3): "[192.0.2.1]",
// "[IPv6:2001:db8::1]"; an IPv4 address mapped into IPv6 as IPv4.
std::string AddressLiteral(const ResolvedAddress& address);

// The name EHLO and HELO give: the HeloName setting when there is one, else
// this host's fully qualified name, else the literal of the connection's own
// address (a bare host name such as "vm" is refused by servers that check).
std::string ChooseHelloName(std::string_view setting, const ResolvedAddress* localAddress);

}  // namespace postrider
