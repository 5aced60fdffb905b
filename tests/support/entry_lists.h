#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

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

// The journal of a run killed while the server had entry 2's message: entry 0
// (ann@x.org) sent, entry 1 (bob@x.org) a bad address, cid@x.org in doubt.
inline void JournalAKilledRun(CPostridrDoc& document) {
  auto journal = document.OpenSendJournal().value();
  ASSERT_TRUE(journal->RunStarted(document.GetJournalIdentity(), 0).ok());
  ASSERT_TRUE(journal->HandedOver(0, "ann@x.org").ok());
  ASSERT_TRUE(journal->Outcome(0, StatusSent, "ann@x.org").ok());
  ASSERT_TRUE(journal->Outcome(1, StatusBadAddress, "bob@x.org").ok());
  ASSERT_TRUE(journal->HandedOver(2, "cid@x.org").ok());
}

}  // namespace postrider::testing
