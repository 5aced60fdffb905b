#include "send/field_marks.h"

#include "send/merge_fields.h"

namespace postrider {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kOpenInUrl = "%EE%80%80";
constexpr std::string_view kCloseInUrl = "%EE%80%81";
constexpr std::string_view kReplacementInUrl = "%EF%BF%BD";
// More fields than a list can have.
constexpr std::size_t kMaxIndexDigits = 6;

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

bool StartsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view upper) {
  if (text.size() - at < upper.size()) return false;
  for (std::size_t i = 0; i < upper.size(); ++i) {
    char c = text[at + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

}  // namespace

std::string WithoutFieldMarks(std::string_view text) {
  std::string clean(text);
  ReplaceAll(clean, kFieldMarkOpen, kReplacement);
  ReplaceAll(clean, kFieldMarkClose, kReplacement);
  for (std::size_t at = clean.find('%'); at != std::string::npos; at = clean.find('%', at + 1)) {
    if (StartsWithIgnoringCase(clean, at, kOpenInUrl) ||
        StartsWithIgnoringCase(clean, at, kCloseInUrl)) {
      clean.replace(at, kReplacementInUrl.size(), kReplacementInUrl);
    }
  }
  return clean;
}

std::string WithFieldMarks(std::string_view text, const std::vector<std::string>& fieldNames) {
  std::vector<std::string> marks;
  marks.reserve(fieldNames.size());
  for (std::size_t i = 0; i < fieldNames.size(); ++i) {
    marks.push_back(std::string(kFieldMarkOpen) + std::to_string(i) +
                    std::string(kFieldMarkClose));
  }
  std::string marked;
  std::vector<std::string> attachments;
  MergeFields(WithoutFieldMarks(text), fieldNames, marks, marked, attachments);
  return marked;
}

bool HasFieldMark(std::string_view text) {
  return text.find(kFieldMarkOpen) != std::string_view::npos;
}

FieldMark ReadFieldMark(std::string_view text, std::size_t at, std::string_view open,
                        std::string_view close) {
  if (text.compare(at, open.size(), open) != 0) return {};
  const std::size_t digits = at + open.size();
  std::size_t end = digits;
  int field = 0;
  while (end < text.size() && end - digits < kMaxIndexDigits && text[end] >= '0' &&
         text[end] <= '9') {
    field = field * 10 + (text[end] - '0');
    ++end;
  }
  if (end == digits || text.compare(end, close.size(), close) != 0) return {};
  return {field, end + close.size() - at};
}

}  // namespace postrider
