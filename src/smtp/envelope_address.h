#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace postrider {

constexpr std::size_t kMaxEnvelopeAddressLength = 254;

// Whether an address may go into MAIL FROM:<...> or RCPT TO:<...> as it is:
// no control character (a CR LF would start a command of its own), no '<' or
// '>', no blank outside a quoted local part, and not longer than 254 bytes.
bool IsSafeEnvelopeAddress(std::string_view address);

// IsSafeEnvelopeAddress and whether the address is all ASCII, from one pass
// over it: a run asks both of every recipient.
struct EnvelopeAddressScan {
  bool safe = false;
  bool ascii = false;  // only known when safe
};
EnvelopeAddressScan ScanEnvelopeAddress(std::string_view address);

// An address as it goes into the envelope.
struct EnvelopeAddress {
  std::string text;
  bool needsSmtpUtf8 = false;  // its local part is not ASCII
};

// A UTF-8 address made fit for the envelope: a non-ASCII domain becomes its
// ASCII form (IDNA 2008, "münchen.de" -> "xn--mnchen-3ya.de"); a non-ASCII
// local part stays, and needs a server that offers SMTPUTF8. An error says
// why the address cannot be sent (a domain IDNA refuses, a local part that
// is not UTF-8).
Result<EnvelopeAddress> PrepareEnvelopeAddress(std::string_view address);

// A domain or host name in its ASCII form (IDNA 2008, as above); ASCII
// stays as it is. The error ends "cannot be written in ASCII (why)".
Result<std::string> AsciiDomainName(std::string_view domain);

// The address with a non-ASCII domain in its ASCII form, for a To: line;
// the address as it is when that cannot be done.
std::string AddressWithAsciiDomain(std::string_view address);

}  // namespace postrider
