#pragma once

#include <QCoreApplication>

#include "platform/blocking_call.h"

namespace postrider {

// While a dialog's blocking work waits, the window keeps painting and its
// Stop or Cancel stays clickable; the hook before it comes back after.
class EventsWhileWaiting {
 public:
  EventsWhileWaiting() : previous_(GetBlockingHook()) {
    SetBlockingHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
  }
  ~EventsWhileWaiting() { SetBlockingHook(previous_); }
  EventsWhileWaiting(const EventsWhileWaiting&) = delete;
  EventsWhileWaiting& operator=(const EventsWhileWaiting&) = delete;

 private:
  BlockingHook previous_;
};

}  // namespace postrider
