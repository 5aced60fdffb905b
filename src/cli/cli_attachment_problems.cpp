#include "cli/cli_attachment_problems.h"

#include <algorithm>
#include <iostream>

#include "send/send_figures.h"

namespace postrider::cli {

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
  skipped_ = problems;
  return true;
}

}  // namespace postrider::cli
