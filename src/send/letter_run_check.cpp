#include "send/letter_run_check.h"

#include "platform/utf8_text.h"
#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "send/letter_composer.h"

namespace postrider {

namespace {

// A list value shown in a report stays on its line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return text;
}

}  // namespace

std::vector<LetterRunProblem> CheckLetterRun(CPostridrDoc& document,
                                             const std::vector<int>& entries) {
  std::vector<LetterRunProblem> problems;
  if (!UsesLetterOptions(document.GetLetterOptions())) return problems;
  document.UpdateFromMessageViews();
  LetterComposer composer;
  if (Status status = composer.Take(document); !status) {
    problems.push_back({-1, "", status.message()});
    return problems;
  }
  ListRecord record;
  for (const int entry : entries) {
    if (!document.ReadListRecord(entry, record)) continue;
    const std::string recipient = AsUtf8(record.ValueAt(document.GetEmailFieldIndex()));
    if (Status status = composer.ForRecipient(record.values, recipient); !status) {
      problems.push_back({entry, recipient, status.message()});
    }
  }
  return problems;
}

std::string LetterRunProblemsText(const std::vector<LetterRunProblem>& problems,
                                  std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < problems.size() && i < shown; ++i) {
    const LetterRunProblem& problem = problems[i];
    if (problem.entry >= 0) {
      text += "Entry " + EntryNumberText(problem.entry);
      if (!problem.recipient.empty()) text += " (" + OneLine(problem.recipient) + ")";
      text += ": ";
    }
    text += problem.reason + "\n";
  }
  if (problems.size() > shown) {
    text += "... and " + std::to_string(problems.size() - shown) + " more.\n";
  }
  return text;
}

}  // namespace postrider
