#pragma once

#include <string>
#include <string_view>

namespace postrider {

// How a recipient is known again in a list whose order or size changed: the
// address as written, with its domain (after the last '@') in lower case,
// since a domain has no case and a mailbox name may.
std::string RecipientKey(std::string_view address);

}  // namespace postrider
