#include "send/attachment_composition.h"

#include <algorithm>
#include <cctype>

#include "send/message_composer.h"

namespace postrider {
namespace {

bool IsBodyHeader(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string name(line.substr(0, colon));
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name == "mime-version" || name == "content-type" || name == "content-transfer-encoding";
}

}  // namespace

std::string HeadLinesOf(std::string_view plainMessage) {
  std::string head;
  bool dropping = false;
  std::size_t start = 0;
  while (start < plainMessage.size()) {
    std::size_t end = plainMessage.find('\n', start);
    end = end == std::string_view::npos ? plainMessage.size() : end + 1;
    const std::string_view line = plainMessage.substr(start, end - start);
    if (line == "\r\n" || line == "\n") break;
    const bool continued = line.front() == ' ' || line.front() == '\t';
    if (!continued) dropping = IsBodyHeader(line);
    if (!dropping) head += line;
    start = end;
  }
  return head;
}

std::vector<AttachmentPath> AttachmentPathsOf(const ComposedMessage& composed,
                                              std::string_view relativeTo) {
  return FillLetterAttachments(composed.letter, composed.fieldNames, composed.values, relativeTo);
}

Status ComposeAttachmentMessage(const ComposedMessage& composed,
                                const std::vector<AttachmentPath>& files,
                                AttachmentMessageWriter& writer, std::string& out) {
  return writer.Write(HeadLinesOf(composed.text), composed.body, files, out);
}

}  // namespace postrider
