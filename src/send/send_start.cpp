#include "send/send_start.h"

#include <algorithm>

#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "send/send_texts.h"

namespace postrider {

int CountAwaitingSending(const CPostridrDoc& document, int first) {
  int count = 0;
  for (int i = std::max(first, 0); i < document.GetEntryCount(); ++i) {
    if (document.GetEntryMarks().AwaitsSending(i)) ++count;
  }
  return count;
}

ResumeOffer FindResumeOffer(const CPostridrDoc& document) {
  ResumeOffer offer;
  if (document.GetLastIndexSent() > 0) {
    offer.kind = ResumeOffer::Kind::Unfinished;
    offer.question = texts::kResumeQuestion;
    offer.resumeFrom = document.GetLastIndexSent();
    return offer;
  }
  // A run that went through the list leaves no resume point; the marks
  // still say whom it reached, and a Send from the top would mail them again.
  int selected = 0;
  int sent = 0;
  for (int i = 0; i < document.GetEntryCount(); ++i) {
    if (document.IsEntrySelected(i) == 0) continue;
    ++selected;
    if (document.GetEntryStatus(i) == StatusSent) ++sent;
  }
  if (sent == 0) return offer;
  const std::string marked = std::to_string(sent) + " of the " + std::to_string(selected) +
                             " selected entries are already marked sent.";
  if (CountAwaitingSending(document, 0) == 0) {
    offer.kind = ResumeOffer::Kind::AllSent;
    offer.question = "The last send went through the list: " + marked +
                     "  Do you wish to send to every selected entry again?\nSelect Yes to send "
                     "again from the beginning, select No to send nothing.";
  } else {
    offer.kind = ResumeOffer::Kind::PartlySent;
    offer.question = marked +
                     "  Do you wish to start this send from the beginning of the list?\nSelect "
                     "Yes to start from beginning, select No to send only to the entries not "
                     "marked sent.";
  }
  return offer;
}

std::string NothingToResumeText(int first) {
  return "There is nothing to resume: no selected entry" +
         (first > 0 ? " from entry " + EntryNumberText(first) + " on" : std::string()) +
         " is waiting to be sent; each is marked sent or has a bad address. Nothing was sent.";
}

}  // namespace postrider
