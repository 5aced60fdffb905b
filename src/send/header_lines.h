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

// "From: name <address>", the name as RFC 5322 wants it, so that mail
// programs show it as typed: encoded words (RFC 2047) when it has 8-bit
// bytes; else as typed when it is words of letters, digits and the like with
// one blank between them, and otherwise a quoted string, with '"' and '\'
// escaped (dots, quotes, commas, runs of blanks). An empty name leaves
// "From:  <address>".
void AppendFromLine(std::string_view realName, std::string_view returnAddress,
                    std::string& out);

// "Subject: subject", as encoded words when it has 8-bit bytes.
void AppendSubjectLine(std::string_view subject, std::string& out);

// Whether a display name reads back exactly as typed without quotes: atoms
// with one blank between them. Anything else is quoted: a dot ("A.B.
// Library") or a quote is a special that readers would take apart or drop,
// and they fold runs of blanks into one.
bool IsPlainPhrase(std::string_view name);

// text as an RFC 5322 quoted string, '"' and '\' escaped.
void AppendQuotedString(std::string_view text, std::string& out);

}  // namespace postrider
