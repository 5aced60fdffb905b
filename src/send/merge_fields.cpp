#include "send/merge_fields.h"

#include <cstring>

namespace postrider {
namespace {

constexpr std::string_view kAttachmentStart = "[[Attachment:  ";

// The field named by the "[[" at p: its index in fieldNames and the position
// after its "]]", or -1 when the brackets hold no field name or an unknown one.
struct FieldMatch {
  int index = -1;
  std::size_t end = 0;
};

FieldMatch MatchField(std::string_view text, std::size_t p,
                      const std::vector<std::string>& fieldNames) {
  const std::size_t nameStart = p + 2;
  for (std::size_t q = nameStart; q < text.size(); ++q) {
    if (text[q] == '[') return {};
    if (text[q] != ']' || q + 1 >= text.size() || text[q + 1] != ']') continue;
    const std::string_view name = text.substr(nameStart, q - nameStart);
    for (std::size_t k = 0; k < fieldNames.size(); ++k) {
      if (fieldNames[k] == name) return {static_cast<int>(k), q + 2};
    }
    return {};
  }
  return {};
}

}  // namespace

void MergeFields(std::string_view text, const std::vector<std::string>& fieldNames,
                 const std::vector<std::string>& values, std::string& out,
                 std::vector<std::string>& attachments) {
  out.clear();
  attachments.clear();
  out.reserve(text.size() + 256);
  // No ']' follows this position; spares rescanning the rest of the text for
  // every unclosed attachment line.
  std::size_t noCloseFrom = std::string_view::npos;

  std::size_t p = 0;
  const std::size_t n = text.size();
  while (p < n) {
    // Copy plain text up to the next '[' in one go.
    const void* found = std::memchr(text.data() + p, '[', n - p);
    const std::size_t bracket =
        found == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    out.append(text.data() + p, bracket - p);
    p = bracket;
    if (p >= n) break;
    if (p + 1 >= n || text[p + 1] != '[') {
      out += '[';
      ++p;
      continue;
    }

    if (text.compare(p, kAttachmentStart.size(), kAttachmentStart) == 0) {
      const std::size_t pathStart = p + kAttachmentStart.size();
      std::size_t close = std::string_view::npos;
      if (pathStart < noCloseFrom) {
        close = text.find(']', pathStart);
        if (close == std::string_view::npos) noCloseFrom = pathStart;
      }
      if (close != std::string_view::npos) {
        if (attachments.size() < kMaxAttachments) {
          attachments.emplace_back(text.substr(pathStart, close - pathStart));
        }
        p = close + 1;
        if (p < n && text[p] == ']') ++p;
        if (p + 1 < n && text[p] == '\r' && text[p + 1] == '\n') {
          p += 2;
        } else if (p < n && text[p] == '\n') {
          ++p;
        }
        continue;
      }
    }

    const FieldMatch match = MatchField(text, p, fieldNames);
    if (match.index < 0) {
      out += '[';
      ++p;
      continue;
    }
    if (static_cast<std::size_t>(match.index) < values.size()) {
      out += values[static_cast<std::size_t>(match.index)];
    }
    p = match.end;
  }
}

}  // namespace postrider
