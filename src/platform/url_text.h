#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace postrider {

// Percent-encodes everything but RFC 3986's unreserved characters, as both a
// URL's query and a form body (application/x-www-form-urlencoded) take it.
std::string PercentEncode(std::string_view text);

// "a=1&b=2" from the pairs, each name and value percent-encoded.
std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields);

// The fields of a query or form text ("code=x&state=y", '+' read as a blank);
// nothing when a percent sign is not followed by two hex digits. A name given
// twice keeps its first value.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query);

// Whether a URL starts with "https://" and names a host: the only kind the
// program sends a secret to.
bool IsHttpsUrl(std::string_view url);

}  // namespace postrider
