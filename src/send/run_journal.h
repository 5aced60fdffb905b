#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "project/send_journal.h"

namespace postrider {

// A run's journal, when it keeps one. The first write that fails is kept
// and stops the run: no message goes out whose outcome could be lost.
class RunJournal {
 public:
  explicit RunJournal(std::unique_ptr<SendJournal> journal) : journal_(std::move(journal)) {}

  // marks as the run is about to clear them; chosen, who a selection not
  // saved chose (CPostridrDoc::UnsavedSelection).
  bool Started(const JournalIdentity& identity, int start, bool resume, const EntryMarks& marks,
               const ChosenRows* chosen = nullptr);
  // row: the digest of the entry's values (SelectedRowDigest), or none.
  bool HandedOver(int entry, const std::string& address, std::string_view row = {});
  bool Outcome(int entry, int status, const std::string& address, std::string_view row = {});
  bool Ended(int lastIndexSent);

  bool keeps() const { return journal_ != nullptr; }
  bool failed() const { return !failure_.ok(); }
  // Why the run stopped, once a write failed.
  std::string FailureText() const;

 private:
  bool Keep(Status status);

  std::unique_ptr<SendJournal> journal_;
  Status failure_ = Status::Ok();
};

}  // namespace postrider
