#include "smtp/enhanced_status.h"

namespace postrider {
namespace {

// One to three digits (RFC 3463 section 2), read from the front of text.
std::optional<int> ReadNumber(std::string_view& text) {
  int value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    if (++digits > 3) return std::nullopt;
    value = value * 10 + (text[digits - 1] - '0');
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

bool TakeDot(std::string_view& text) {
  if (text.empty() || text.front() != '.') return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<EnhancedStatus> EnhancedStatusOf(std::string_view replyText) {
  std::string_view text = replyText;
  if (text.empty() || (text.front() != '2' && text.front() != '4' && text.front() != '5')) {
    return std::nullopt;
  }
  EnhancedStatus status;
  status.statusClass = text.front() - '0';
  text.remove_prefix(1);
  if (!TakeDot(text)) return std::nullopt;
  const std::optional<int> subject = ReadNumber(text);
  if (!subject || !TakeDot(text)) return std::nullopt;
  const std::optional<int> detail = ReadNumber(text);
  // The code is a word of its own: "4.7.1 text", not "4.7.10.2" or "4.7.1a".
  if (!detail || (!text.empty() && text.front() != ' ' && text.front() != '\t' &&
                  text.front() != '\n')) {
    return std::nullopt;
  }
  status.subject = *subject;
  status.detail = *detail;
  return status;
}

}  // namespace postrider
