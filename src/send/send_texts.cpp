#include "send/send_texts.h"

#include <algorithm>
#include <charconv>

#include "project/entry_number.h"
#include "smtp/smtp_wording.h"

namespace postrider::texts {

// Made for every message: one buffer, no temporaries.
std::string Sending(int count, int total) {
  char text[48] = "Sending ";
  char* write = std::to_chars(text + 8, text + 28, count).ptr;
  write = std::copy_n(" of ", 4, write);
  write = std::to_chars(write, text + sizeof text, total).ptr;
  return std::string(text, static_cast<std::size_t>(write - text));
}

std::string SendingError(int position, int entries, int number) {
  return Sending(position, entries) + " - Error " + std::to_string(number);
}

std::string WithAdvice(std::string text, const std::string& advice) {
  if (!advice.empty()) text += "\n" + advice;
  return text;
}

std::string InDoubt(int entry, const std::string& address) {
  return "The message to " + PrintableText(address) + " (entry " + EntryNumberText(entry) +
         ") had been handed to the server, but its answer never came: it may have been "
         "delivered, and a resumed run sends it again.";
}

}  // namespace postrider::texts
