#pragma once

#include <string>

namespace postrider::testing {

// A TCP port on host (127.0.0.1 or ::1) that nothing listens on right now:
// bound with port 0, read back, released. Each test takes its own.
int FreeLoopbackPort(const std::string& host = "127.0.0.1");

// Whether something accepts connections on host:port.
bool PortAccepts(const std::string& host, int port);

}  // namespace postrider::testing
