#pragma once

#include <chrono>

namespace postrider {

// Waits for `duration` the way a socket call waits: in short slices, running
// the blocking hook between them, so a desktop keeps painting and Pause (or
// Ctrl+C) can cut it short. 0 when the time is up, 10004 when the wait was
// cancelled, 10036 when another blocking call is already waiting.
int BlockingWait(std::chrono::nanoseconds duration);

}  // namespace postrider
