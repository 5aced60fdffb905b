#pragma once

#include <string>
#include <vector>

#include "project/postridr_doc.h"

namespace postrider::testing {

// A tab-delimited list of `entries` people, "Person i" at personi@example.com.
inline std::string NumberedList(int entries) {
  std::string list = "Name\tEmail\n";
  for (int i = 0; i < entries; ++i) {
    list += "Person " + std::to_string(i) + "\tperson" + std::to_string(i) + "@example.com\n";
  }
  return list;
}

// Every entry's send status, in list order.
inline std::vector<int> Statuses(const CPostridrDoc& document) {
  std::vector<int> statuses;
  for (int i = 0; i < document.GetEntryCount(); ++i) statuses.push_back(document.GetEntryStatus(i));
  return statuses;
}

}  // namespace postrider::testing
