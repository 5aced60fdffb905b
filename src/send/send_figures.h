#pragma once

#include <string>

#include "send/send_run.h"

namespace postrider {

// What became of the run's entries, one figure a line:
// "Accepted by the server: 9\nRefused by the server: 0\nBad address: 3\nNot reached: 0".
std::string SendFiguresText(const SendRunResult& result);

}  // namespace postrider
