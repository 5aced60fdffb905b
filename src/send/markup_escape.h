#pragma once

#include <string>
#include <string_view>

namespace postrider {

// Values from a list placed where markup or an address would read them: each
// escape makes the value stand for its own text there and nothing more.

// For HTML text and quoted attribute values: & < > " ' as character
// references; a NUL, which HTML parsers drop or replace, as U+FFFD.
void AppendHtmlEscaped(std::string_view text, std::string& out);

// For a piece of an address (URL, mailto:): every byte but the unreserved
// ones of RFC 3986 (letters, digits, - . _ ~) as %XX, so a value can add
// neither a scheme, a query nor a fragment of its own.
void AppendPercentEncoded(std::string_view text, std::string& out);

// For an address the user wrote: what may stand in a URI stays, with '%'
// where it starts a %XX; a blank, a control, a non-ASCII byte, a stray '%'
// and " < > \ ^ ` { | } become %XX.
void AppendUriText(std::string_view text, std::string& out);

}  // namespace postrider
