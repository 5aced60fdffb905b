#include "send/attachment_composition.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "send/attachment_lines.h"
#include "send/message_composer.h"

namespace postrider {
namespace {

std::string LowerName(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  std::string name(line.substr(0, colon));
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

bool IsBodyHeader(std::string_view line) {
  const std::string name = LowerName(line);
  return name == "mime-version" || name == "content-type" || name == "content-transfer-encoding";
}

bool IsPartHeader(std::string_view line) {
  const std::string name = LowerName(line);
  return name == "content-type" || name == "content-transfer-encoding";
}

// The header lines (with their continuations) that `keep` takes, and where
// the body begins.
template <typename Keep>
std::size_t SplitHeaders(std::string_view message, Keep keep, std::string& kept) {
  bool keeping = false;
  std::size_t start = 0;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    end = end == std::string_view::npos ? message.size() : end + 1;
    const std::string_view line = message.substr(start, end - start);
    if (line == "\r\n" || line == "\n") return end;
    const bool continued = line.front() == ' ' || line.front() == '\t';
    if (!continued) keeping = keep(line);
    if (keeping) kept += line;
    start = end;
  }
  return message.size();
}

}  // namespace

std::string HeadLinesOf(std::string_view plainMessage) {
  std::string head;
  SplitHeaders(plainMessage, [](std::string_view line) { return !IsBodyHeader(line); }, head);
  return head;
}

std::string LetterPartOf(std::string_view formattedMessage) {
  std::string part;
  const std::size_t body = SplitHeaders(formattedMessage, IsPartHeader, part);
  part += "\r\n";
  part += formattedMessage.substr(body);
  return part;
}

MessageAttachments::MessageAttachments(std::vector<std::string> fieldNames, std::string relativeTo,
                                       std::shared_ptr<const CheckedFiles> checked)
    : fieldNames_(std::move(fieldNames)),
      relativeTo_(std::move(relativeTo)),
      writer_(std::move(checked)) {}

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
  if (composed.attachments.size() > kMaxAttachmentLines) {
    return Status::Error("the letter has more than " + std::to_string(kMaxAttachmentLines) +
                         " attachment lines; a message carries at most " +
                         std::to_string(kMaxAttachmentLines) + " files");
  }
  const Status written =
      composed.formatted
          ? writer_.WriteAround(HeadLinesOf(composed.text), LetterPartOf(composed.text),
                                PathsOf(composed), message_)
          : writer_.Write(HeadLinesOf(composed.text), composed.body, PathsOf(composed), message_);
  if (!written) return written;
  // The plain text's buffer is kept for the next message.
  composed.text.swap(message_);
  return Status::Ok();
}

}  // namespace postrider
