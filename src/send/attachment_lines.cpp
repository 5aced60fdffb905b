#include "send/attachment_lines.h"

#include <algorithm>

#include "platform/utf8_text.h"
#include "send/attachment_path.h"

namespace postrider {
namespace {

constexpr std::string_view kAttachmentStart = "[[Attachment:  ";

// The end of the list field named by the "[[" at p (past its "]]"), or npos
// when the brackets hold no list field's name. Names hold no '[' and no "]]",
// as in the body.
std::size_t FieldEnd(std::string_view text, std::size_t p,
                     const std::vector<std::string>& fieldNames) {
  const std::size_t nameStart = p + 2;
  for (std::size_t q = nameStart; q + 1 < text.size(); ++q) {
    if (text[q] == '[') return std::string_view::npos;
    if (text[q] != ']' || text[q + 1] != ']') continue;
    const std::string_view name = text.substr(nameStart, q - nameStart);
    const bool known = std::find(fieldNames.begin(), fieldNames.end(), name) != fieldNames.end();
    return known ? q + 2 : std::string_view::npos;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<AttachmentLineSpan> AttachmentLineAt(std::string_view text, std::size_t p,
                                                   const std::vector<std::string>& fieldNames) {
  if (p > text.size() || text.compare(p, kAttachmentStart.size(), kAttachmentStart) != 0) {
    return std::nullopt;
  }
  AttachmentLineSpan span;
  span.start = p;
  span.pathBegin = p + kAttachmentStart.size();
  // Most letters' lines hold no field: one search, as composition makes it.
  std::size_t close = text.find(']', span.pathBegin);
  if (close == std::string_view::npos) return std::nullopt;
  const std::size_t firstClose = close;
  std::size_t scan = span.pathBegin;
  while (true) {
    const std::size_t field = text.find("[[", scan);
    if (field == std::string_view::npos || field > close) break;
    const std::size_t fieldEnd = FieldEnd(text, field, fieldNames);
    if (fieldEnd == std::string_view::npos) {
      // Not a list field: its brackets are part of the path, as written.
      scan = field + 1;
      continue;
    }
    scan = fieldEnd;
    close = text.find(']', scan);
    // Nothing closes the line after its fields, on this line: read as it
    // always was, rather than taking in the lines below up to some ']'.
    if (close == std::string_view::npos ||
        text.substr(scan, close - scan).find('\n') != std::string_view::npos) {
      close = firstClose;
      break;
    }
  }
  span.pathEnd = close;
  std::size_t end = close + 1;
  if (end < text.size() && text[end] == ']') ++end;
  if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
    end += 2;
  } else if (end < text.size() && text[end] == '\n') {
    ++end;
  }
  span.end = end;
  return span;
}

std::vector<AttachmentLineSpan> FindAttachmentLines(std::string_view text,
                                                    const std::vector<std::string>& fieldNames) {
  std::vector<AttachmentLineSpan> lines;
  // A start after the last ']' begins no line; spares a search to the end
  // for each of many unclosed ones.
  const std::size_t lastClose = text.rfind(']');
  std::size_t from = 0;
  while (lastClose != std::string_view::npos) {
    const std::size_t start = text.find(kAttachmentStart, from);
    if (start == std::string_view::npos || start > lastClose) break;
    const std::optional<AttachmentLineSpan> line = AttachmentLineAt(text, start, fieldNames);
    if (!line) {
      from = start + 1;
      continue;
    }
    lines.push_back(*line);
    from = line->end;
  }
  return lines;
}

std::vector<std::string> AttachmentPathsAsWritten(std::string_view text,
                                                  const std::vector<std::string>& fieldNames) {
  std::vector<std::string> paths;
  for (const AttachmentLineSpan& line : FindAttachmentLines(text, fieldNames)) {
    paths.emplace_back(text.substr(line.pathBegin, line.pathEnd - line.pathBegin));
  }
  return paths;
}

Result<std::string> AttachmentLineFor(std::string_view path) {
  const auto refuse = [&path](std::string_view what) {
    return Status::Error("The file \"" + ShownPathText(path) + "\" cannot be attached: its path holds " +
                         std::string(what) +
                         ", which an attachment line cannot carry. Rename the file or its folder.");
  };
  if (path.find(']') != std::string_view::npos) return refuse("\"]\"");
  if (path.find("[[") != std::string_view::npos) return refuse("\"[[\"");
  if (path.find_first_of("\r\n") != std::string_view::npos) return refuse("a line break");
  // The letter is kept as UTF-8: other bytes would name another file once saved.
  if (!IsValidUtf8(path)) return refuse("bytes that are not UTF-8");
  return std::string(kAttachmentStart) + std::string(path) + "]]\r\n";
}

}  // namespace postrider
