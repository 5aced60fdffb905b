#pragma once

#include <vector>

#include "send/attachment_check.h"

namespace postrider {

// What the run asks when the check before it found files that cannot go:
// the desktop lists them in one dialog, the command line prints each and
// answers from its flags (--skip-unready), tests record.
class IAttachmentProblemsPrompt {
 public:
  virtual ~IAttachmentProblemsPrompt() = default;
  // True: unselect the entries named and send to the others. False: cancel
  // the run, nothing sent. A problem for every entry (ForEveryEntry) cannot
  // be mended by unselecting: the answer is then taken as a cancel.
  virtual bool UnselectAndGoOn(const std::vector<AttachmentProblem>& problems) = 0;
};

}  // namespace postrider
