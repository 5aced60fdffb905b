#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace postrider {

// The list's entries by their recipient's address (see RecipientKey), for
// finding again, in a list that changed, whom a send already reached.
class ListAddresses {
 public:
  // addressOf(i) is entry i's address, for i from 0 to entries - 1.
  ListAddresses(int entries, const std::function<std::string(int)>& addressOf);

  // The entries, in list order, whose address is this one; none when none.
  const std::vector<int>& EntriesOf(std::string_view address) const;

 private:
  std::unordered_map<std::string, std::vector<int>> entries_;
};

}  // namespace postrider
