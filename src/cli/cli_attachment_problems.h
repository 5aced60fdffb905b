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
  // The problems that unselected entries, for the summary.
  const std::vector<AttachmentProblem>& skipped() const { return skipped_; }

 private:
  bool skipUnready_;
  bool stopped_ = false;
  std::vector<AttachmentProblem> skipped_;
};

}  // namespace postrider::cli
