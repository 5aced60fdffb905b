#pragma once

#include <string>
#include <vector>

#include "send/attachment_problems_prompt.h"

namespace postrider::cli {

// The run's question about files that cannot go, on a terminal: each problem
// on stderr, one a line; the answer is --skip-unready's.
class CliAttachmentProblems : public IAttachmentProblemsPrompt {
 public:
  explicit CliAttachmentProblems(bool skipUnready) : skipUnready_(skipUnready) {}

  bool UnselectAndGoOn(const std::vector<AttachmentProblem>& problems) override;

  // Whether the run was stopped for them: nothing was sent.
  bool stoppedTheRun() const { return stopped_; }
  // The lines of the problems that unselected entries, for the summary.
  const std::vector<std::string>& skipped() const { return skipped_; }

 private:
  bool skipUnready_;
  bool stopped_ = false;
  std::vector<std::string> skipped_;
};

// One problem as a line: "entry 4 <ann@example.com>: /srv/INV-4.pdf: the file does not exist".
std::string AttachmentProblemLine(const AttachmentProblem& problem);

}  // namespace postrider::cli
