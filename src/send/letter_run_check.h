#pragma once

#include <string>
#include <vector>

namespace postrider {

class CPostridrDoc;

// Something the letter options cannot do for a run: for one entry (an
// unusable Cc or Bcc value), or for every entry (entry -1: an option that
// cannot work with the list, a picture that cannot go).
struct LetterRunProblem {
  int entry = -1;
  std::string recipient;  // the entry's address, UTF-8
  std::string reason;
};

// Checks the options and each given entry's Cc and Bcc values, as the run
// would make its messages, before anything is sent. Takes the message
// views' contents first. Empty when the run can go.
std::vector<LetterRunProblem> CheckLetterRun(CPostridrDoc& document,
                                             const std::vector<int>& entries);

// The problems as the user is told them, one a line, at most `shown` of
// them and a count of the rest.
std::string LetterRunProblemsText(const std::vector<LetterRunProblem>& problems,
                                  std::size_t shown = 10);

}  // namespace postrider
