#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "send/address_list.h"

namespace postrider {

// The header lines a project's letter options add, each ended by CR LF and
// none longer than 998 bytes. A control byte in a value (a CR or LF, a NUL,
// TAB aside) becomes a blank, so no value can add a line of its own. Addresses go with their domain in its
// ASCII form, as in the To: line.

// "Cc: a, b": each name as written (quoted where RFC 5322 wants it, encoded
// words when it is not ASCII) before its address, folded between addresses.
// Nothing for no address.
void AppendCcLine(const std::vector<ListedAddress>& addresses, std::string& out);

// "Reply-To: address"; nothing for an empty one.
void AppendReplyToLine(std::string_view address, std::string& out);

// "List-Unsubscribe: <mailto:...>, <https://...>" with each address that is
// set (RFC 2369), and "List-Unsubscribe-Post: List-Unsubscribe=One-Click"
// when the https one is (RFC 8058). Both come whole, as made for the
// recipient. Nothing when neither is set.
void AppendListUnsubscribeLines(std::string_view mailtoUri, std::string_view httpsUri,
                                std::string& out);

// "Subject: ..." with the recipient's values in its merge fields, as the body
// fills them; a value's line breaks become blanks, and encoded words carry
// what is not ASCII.
void AppendMergedSubjectLine(std::string_view subject, const std::vector<std::string>& fieldNames,
                             const std::vector<std::string>& values, std::string& out);

}  // namespace postrider
