#include "send/send_texts.h"

#include "smtp/smtp_wording.h"

namespace postrider::texts {

std::string Sending(int count, int total) {
  return "Sending " + std::to_string(count) + " of " + std::to_string(total);
}

std::string SendingError(int position, int entries, int number) {
  return Sending(position, entries) + " - Error " + std::to_string(number);
}

std::string WithAdvice(std::string text, const std::string& advice) {
  if (!advice.empty()) text += "\n" + advice;
  return text;
}

std::string InDoubt(int entry, const std::string& address) {
  return "The message to " + PrintableText(address) + " (entry " + std::to_string(entry) +
         ") had been handed to the server, but its answer never came: it may have been "
         "delivered, and a resumed run sends it again.";
}

}  // namespace postrider::texts
