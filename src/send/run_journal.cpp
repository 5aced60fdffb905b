#include "send/run_journal.h"

#include <utility>

namespace postrider {

bool RunJournal::Started(const JournalIdentity& identity, int start, bool resume,
                         const EntryMarks& marks, const ChosenRows* chosen) {
  return Keep(journal_ ? journal_->RunStarted(identity, start, resume, &marks, chosen)
                       : Status::Ok());
}

bool RunJournal::HandedOver(int entry, const std::string& address, std::string_view row) {
  return Keep(journal_ ? journal_->HandedOver(entry, address, row) : Status::Ok());
}

bool RunJournal::Outcome(int entry, int status, const std::string& address,
                         std::string_view row) {
  return Keep(journal_ ? journal_->Outcome(entry, status, address, row) : Status::Ok());
}

bool RunJournal::Ended(int lastIndexSent) {
  return Keep(journal_ ? journal_->RunEnded(lastIndexSent) : Status::Ok());
}

std::string RunJournal::FailureText() const {
  return failure_.message() +
         "\nThe run was stopped, so that no message goes out whose outcome could not be kept.";
}

bool RunJournal::Keep(Status status) {
  if (!status && failure_.ok()) failure_ = std::move(status);
  return failure_.ok();
}

}  // namespace postrider
