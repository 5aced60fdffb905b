#pragma once

#include <string>

namespace postrider {

class CPostridrDoc;

// What a Send finds before it begins: nothing to ask, so it starts at the
// top of the list; or an earlier run that a resume would go on with, and the
// question whose Yes starts from the top and whose No resumes. A resume
// begins at `resumeFrom` and never takes up an entry marked sent.
struct ResumeOffer {
  enum class Kind {
    None,        // nothing is marked sent and no run stopped early
    Unfinished,  // the last run stopped early (LastIndexSent)
    PartlySent,  // some selected entries are marked sent, others not yet
    AllSent,     // every selected entry is marked sent or refused: nothing to resume
  };
  Kind kind = Kind::None;
  std::string question;
  int resumeFrom = 0;
};

ResumeOffer FindResumeOffer(const CPostridrDoc& document);

// The selected entries from `first` on that a resumed run would take up.
int CountAwaitingSending(const CPostridrDoc& document, int first);

// What the user is told when a resume finds nothing to take up.
std::string NothingToResumeText(int first);

}  // namespace postrider
