#include "send/attachment_composition.h"

#include <algorithm>
#include <cctype>
#include <utility>

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

MessageAttachments::MessageAttachments(std::vector<std::string> fieldNames, std::string relativeTo,
                                       std::optional<struct timespec> checkedAt)
    : fieldNames_(std::move(fieldNames)), relativeTo_(std::move(relativeTo)), writer_(checkedAt) {}

std::vector<AttachmentPath> MessageAttachments::PathsOf(const ComposedMessage& composed) const {
  std::vector<AttachmentPath> paths;
  paths.reserve(composed.attachments.size());
  for (const std::string& written : composed.attachments) {
    paths.push_back(FillAttachmentPath(written, fieldNames_, composed.values, relativeTo_));
  }
  return paths;
}

Status MessageAttachments::Carry(ComposedMessage& composed) {
  if (composed.attachments.empty()) return Status::Ok();
  const Status written =
      writer_.Write(HeadLinesOf(composed.text), composed.body, PathsOf(composed), message_);
  if (!written) return written;
  // The plain text's buffer is kept for the next message.
  composed.text.swap(message_);
  return Status::Ok();
}

}  // namespace postrider
