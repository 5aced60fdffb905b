#pragma once

#include <string>
#include <string_view>

namespace postrider {

// A Message-ID value, "<unique@domain>", different for every message: the
// unique part comes from the time, the process id, a counter of this
// process and random bits.
std::string NewMessageId(std::string_view returnAddress);

// The same for many messages: the domain is worked out once per return address.
class MessageIds {
 public:
  void AppendNew(std::string_view returnAddress, std::string& out);

 private:
  bool haveDomain_ = false;
  std::string returnAddress_;
  std::string domain_;
};

// The domain of the return address (after its last '@') when it can stand on
// the right of a message id; else the local host name; else "localhost".
std::string MessageIdDomain(std::string_view returnAddress);

}  // namespace postrider
