#include "project/list_addresses.h"

#include "project/recipient_key.h"

namespace postrider {

ListAddresses::ListAddresses(int entries, const std::function<std::string(int)>& addressOf) {
  entries_.reserve(static_cast<std::size_t>(entries > 0 ? entries : 0));
  for (int i = 0; i < entries; ++i) {
    const std::string address = addressOf(i);
    if (!address.empty()) entries_[RecipientKey(address)].push_back(i);
  }
}

const std::vector<int>& ListAddresses::EntriesOf(std::string_view address) const {
  static const std::vector<int> kNone;
  const auto found = entries_.find(RecipientKey(address));
  return found == entries_.end() ? kNone : found->second;
}

}  // namespace postrider
