#include "send/send_figures.h"

namespace postrider {

std::string SendFiguresText(const SendRunResult& result) {
  return "Accepted by the server: " + std::to_string(result.accepted) +
         "\nRefused by the server: " + std::to_string(result.refused) +
         "\nBad address: " + std::to_string(result.badAddress) +
         "\nNot reached: " + std::to_string(result.notReached) +
         (result.alreadySent > 0
              ? "\nMarked sent before, not sent again: " + std::to_string(result.alreadySent)
              : std::string());
}

}  // namespace postrider
