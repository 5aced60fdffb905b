#pragma once

#include "send/user_settings.h"

namespace postrider {

// The Configure dialog: edits sender name, return address, server and logging.
class IConfigureDialog {
 public:
  virtual ~IConfigureDialog() = default;
  // Shows the dialog filled from `settings`; on OK stores the edited values
  // there and returns true, on Cancel leaves them untouched.
  virtual bool Run(UserSettings& settings) = 0;
};

}  // namespace postrider
