#pragma once

#include <string>
#include <string_view>

namespace postrider {

// Header lines of a composed message, each ended by CR LF. A CR or LF inside
// a value becomes a blank, so no value can add a header line of its own, and
// no line comes out longer than 998 bytes: a longer one is folded at blanks,
// or written as encoded words where it has no blank to fold at.

// "To: address". The address goes as it is, 8-bit bytes included: encoded
// words cannot stand in an address.
void AppendToLine(std::string_view address, std::string& out);

// "From: name <address>". A name with 8-bit bytes is written as encoded
// words; a 7-bit one as typed, in double quotes when it holds characters
// that would otherwise end the name (a comma, say).
void AppendFromLine(std::string_view realName, std::string_view returnAddress,
                    std::string& out);

// "Subject: subject", as encoded words when it has 8-bit bytes.
void AppendSubjectLine(std::string_view subject, std::string& out);

}  // namespace postrider
