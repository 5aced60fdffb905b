#pragma once

#include <string>
#include <string_view>

namespace postrider {

// Header lines of a composed message, each ended by CR LF. A CR, LF or other
// control byte (TAB aside) inside a value becomes a blank, so no value can add
// a header line of its own or put a NUL or terminal escape in one, and
// no line comes out longer than 998 bytes: a longer one is folded at blanks,
// or written as encoded words where it has no blank to fold at.

// "To: address". The address goes as it is, 8-bit bytes included: encoded
// words cannot stand in an address.
void AppendToLine(std::string_view address, std::string& out);

// "From: name <address>", the name as RFC 5322 wants it, so that mail
// programs show it as typed: encoded words (RFC 2047) when
// NeedsEncodedWords; else as typed when it is words of letters, digits and
// the like with one blank between them, and otherwise a quoted string, with
// '"' and '\' escaped (dots, quotes, commas, runs of blanks). An empty name leaves
// "From:  <address>".
void AppendFromLine(std::string_view realName, std::string_view returnAddress,
                    std::string& out);

// "Subject: subject", as encoded words when NeedsEncodedWords.
void AppendSubjectLine(std::string_view subject, std::string& out);

// Whether a display name reads back exactly as typed without quotes: atoms
// with one blank between them. Anything else is quoted: a dot ("A.B.
// Library") or a quote is a special that readers would take apart or drop,
// and they fold runs of blanks into one.
bool IsPlainPhrase(std::string_view name);

// Whether text goes as encoded words (RFC 2047): it has 8-bit bytes, or
// holds "=?", which readers could decode as an encoded word of its own.
bool NeedsEncodedWords(std::string_view text);

// value with every control byte but TAB made a blank, as header lines take it.
std::string HeaderText(std::string_view value);

// text as an RFC 5322 quoted string, '"' and '\' escaped.
void AppendQuotedString(std::string_view text, std::string& out);

}  // namespace postrider
