#include "cli/cli_attachment_problems.h"

#include <algorithm>
#include <iostream>

#include "project/entry_number.h"

namespace postrider::cli {

std::string AttachmentProblemLine(const AttachmentProblem& problem) {
  // The core has made every list value printable.
  std::string line = problem.ForEveryEntry()
                         ? std::string("every entry")
                         : "entry " + EntryNumberText(problem.entry) + " <" + problem.recipient +
                               ">";
  if (!problem.path.empty()) line += ": " + problem.path;
  return line + ": " + problem.reason;
}

bool CliAttachmentProblems::UnselectAndGoOn(const std::vector<AttachmentProblem>& problems) {
  for (const AttachmentProblem& problem : problems) {
    std::cerr << "postrider-cli: attachment: " << AttachmentProblemLine(problem) << '\n';
  }
  const bool forEveryEntry = std::any_of(problems.begin(), problems.end(),
                                         [](const AttachmentProblem& p) { return p.ForEveryEntry(); });
  if (!skipUnready_ || forEveryEntry) {
    std::cerr << (forEveryEntry ? "postrider-cli: a file every message carries cannot go; nothing was sent\n"
                                : "postrider-cli: nothing was sent; --skip-unready unselects these "
                                  "entries and sends to the others\n");
    stopped_ = true;
    return false;
  }
  for (const AttachmentProblem& problem : problems) skipped_.push_back(AttachmentProblemLine(problem));
  return true;
}

}  // namespace postrider::cli
