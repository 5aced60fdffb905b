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

// A merge field the letter names that the mailing list does not have: each
// recipient would get it as written. UTF-8.
struct UnknownLetterField {
  std::string name;
  std::string listHas;  // the list's field differing only in case or blanks, if one does
};

// The fields the letter's body names that the list lacks, then the subject's
// when the letter options merge it, then the unsubscribe addresses'; each
// once. Takes the message views' contents first. Costs one reading of the
// letter, so a run asks it once.
std::vector<UnknownLetterField> FindUnknownLetterFields(CPostridrDoc& document);

// The question put before a run: the fields (at most `shown`, then a count of
// the rest) and what sending would do.
std::string UnknownLetterFieldsQuestion(const std::vector<UnknownLetterField>& fields,
                                        std::size_t shown = 10);

// How the run asks whether fields the list lacks go as written. Absent from
// the run's host, the prompts' Yes/No question (No the default) asks it; the
// command line answers from its flag.
class IUnknownFieldsPrompt {
 public:
  virtual ~IUnknownFieldsPrompt() = default;
  // True sends with the fields as written; false sends nothing.
  virtual bool SendAsWritten(const std::string& question) = 0;
};

}  // namespace postrider
