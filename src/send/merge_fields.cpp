#include "send/merge_fields.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "send/attachment_lines.h"
#include "send/mime_encoding.h"

namespace postrider {
namespace {

constexpr std::string_view kAttachmentStart = "[[Attachment:  ";
constexpr std::size_t kMaxTextLine = 998;

// What a value's byte can change about the message's encoding.
constexpr std::uint8_t kForcesEncoding = 1;  // 8-bit or NUL
constexpr std::uint8_t kBreaksLine = 2;      // CR or LF

constexpr std::array<std::uint8_t, 256> MakeValueByteKinds() {
  std::array<std::uint8_t, 256> kinds{};
  kinds[0] = kForcesEncoding;
  for (int byte = 0x80; byte < 256; ++byte) kinds[byte] = kForcesEncoding;
  kinds['\r'] = kBreaksLine;
  kinds['\n'] = kBreaksLine;
  return kinds;
}

// A look-up a byte: every merged value of every message passes through.
constexpr std::array<std::uint8_t, 256> kValueByteKinds = MakeValueByteKinds();

// The field named by the "[[" at p: its index in fieldNames and the position
// after its "]]", or -1 when the brackets hold no field name or an unknown one
// (then `unknown` says which: a name closed by "]]" that no field has).
struct FieldMatch {
  int index = -1;
  std::size_t end = 0;
  bool unknown = false;
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
    return {-1, q + 2, !name.empty()};
  }
  return {};
}

// The one reading of a letter's merge fields and attachment lines, told to
// sink as plain text, fields and attachment paths in the order they stand.
template <typename Sink>
void ScanLetter(std::string_view text, const std::vector<std::string>& fieldNames, Sink& sink) {
  // No ']' follows this position; spares rescanning the rest of the text for
  // every unclosed attachment line.
  std::size_t noCloseFrom = std::string_view::npos;
  std::size_t p = 0;
  const std::size_t n = text.size();
  while (p < n) {
    // Plain text up to the next '[' in one go.
    const void* found = std::memchr(text.data() + p, '[', n - p);
    const std::size_t bracket =
        found == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    if (bracket > p) sink.Plain(text.substr(p, bracket - p));
    p = bracket;
    if (p >= n) break;
    if (p + 1 >= n || text[p + 1] != '[') {
      sink.Plain("[");
      ++p;
      continue;
    }

    if (p < noCloseFrom && text.compare(p, kAttachmentStart.size(), kAttachmentStart) == 0) {
      // A path may hold merge fields; the line then ends at the "]]" after them.
      if (const std::optional<AttachmentLineSpan> line = AttachmentLineAt(text, p, fieldNames)) {
        sink.Attachment(text.substr(line->pathBegin, line->pathEnd - line->pathBegin));
        p = line->end;
        continue;
      }
      noCloseFrom = p;
    }

    const FieldMatch match = MatchField(text, p, fieldNames);
    if (match.index < 0) {
      if (match.unknown) sink.Unknown(text.substr(p + 2, match.end - p - 4));
      sink.Plain("[");
      ++p;
      continue;
    }
    sink.Field(static_cast<std::size_t>(match.index));
    p = match.end;
  }
}

void AddAttachment(std::string_view path, std::vector<std::string>& attachments) {
  if (attachments.size() < kMaxAttachments) attachments.emplace_back(path);
}

const std::string kNoValue;

const std::string& ValueOf(const std::vector<std::string>& values, std::size_t field) {
  return field < values.size() ? values[field] : kNoValue;
}

// Writes the merged text as it is read.
class MergingSink {
 public:
  MergingSink(const std::vector<std::string>& values, std::string& out,
              std::vector<std::string>& attachments)
      : values_(values), out_(out), attachments_(attachments) {}
  void Plain(std::string_view text) { out_ += text; }
  void Field(std::size_t field) { out_ += ValueOf(values_, field); }
  void Attachment(std::string_view path) { AddAttachment(path, attachments_); }
  void Unknown(std::string_view /*name*/) {}

 private:
  const std::vector<std::string>& values_;
  std::string& out_;
  std::vector<std::string>& attachments_;
};

}  // namespace

void MergeFields(std::string_view text, const std::vector<std::string>& fieldNames,
                 const std::vector<std::string>& values, std::string& out,
                 std::vector<std::string>& attachments) {
  out.clear();
  attachments.clear();
  out.reserve(text.size() + 256);
  MergingSink sink(values, out, attachments);
  ScanLetter(text, fieldNames, sink);
}

// Keeps each unknown name once; the rest of the text does not matter.
class UnknownNamesSink {
 public:
  explicit UnknownNamesSink(std::vector<std::string>& names) : names_(names) {}
  void Plain(std::string_view /*text*/) {}
  void Field(std::size_t /*field*/) {}
  void Attachment(std::string_view /*path*/) {}
  void Unknown(std::string_view name) {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.emplace_back(name);
  }

 private:
  std::vector<std::string>& names_;
};

std::vector<std::string> UnknownFieldNames(std::string_view text,
                                           const std::vector<std::string>& fieldNames) {
  std::vector<std::string> names;
  UnknownNamesSink sink(names);
  ScanLetter(text, fieldNames, sink);
  return names;
}

// Keeps the pieces; plain text that follows plain text joins its piece.
class TemplateSink {
 public:
  TemplateSink(MergeTemplate& merge, const std::vector<std::string>& fieldNames)
      : merge_(merge), fieldNames_(fieldNames) {}
  void Plain(std::string_view text) {
    std::vector<MergeTemplate::Piece>& pieces = merge_.pieces_;
    if (pieces.empty() || pieces.back().field >= 0) {
      pieces.push_back({static_cast<std::uint32_t>(merge_.text_.size()), 0, -1});
    }
    pieces.back().length += static_cast<std::uint32_t>(text.size());
    merge_.text_ += text;
  }
  void Field(std::size_t field) {
    merge_.pieces_.push_back({0, 0, static_cast<std::int32_t>(field)});
    std::vector<std::size_t>& used = merge_.usedFields_;
    if (std::find(used.begin(), used.end(), field) == used.end()) used.push_back(field);
  }
  void Unknown(std::string_view /*name*/) {}
  void Attachment(std::string_view path) {
    AddAttachment(path, merge_.attachments_);
    // The values a path takes are filled in like the text's.
    std::vector<std::size_t>& used = merge_.attachmentFields_;
    for (std::size_t q = path.find("[["); q != std::string_view::npos; q = path.find("[[", q + 1)) {
      const FieldMatch match = MatchField(path, q, fieldNames_);
      const auto field = static_cast<std::size_t>(match.index);
      if (match.index >= 0 && std::find(used.begin(), used.end(), field) == used.end()) {
        used.push_back(field);
      }
    }
  }

 private:
  MergeTemplate& merge_;
  const std::vector<std::string>& fieldNames_;
};

void MergeTemplate::Read(std::string_view text, const std::vector<std::string>& fieldNames) {
  text_.clear();
  text_.reserve(text.size());
  pieces_.clear();
  attachments_.clear();
  usedFields_.clear();
  attachmentFields_.clear();
  fieldLines_.clear();
  lineFields_.clear();
  TemplateSink sink(*this, fieldNames);
  ScanLetter(text, fieldNames, sink);
  plainSize_ = text_.size();

  // The lines as NeedsTransferEncoding measures them, a line's fields set
  // apart from its own bytes.
  plainNeedsEncoding_ = false;
  std::size_t lineLength = 0;
  std::size_t lineStart = 0;  // in lineFields_
  const auto endLine = [&] {
    const std::size_t fields = lineFields_.size() - lineStart;
    if (fields == 0) {
      if (lineLength > kMaxTextLine) plainNeedsEncoding_ = true;
    } else {
      fieldLines_.push_back({lineLength, static_cast<std::uint32_t>(lineStart),
                             static_cast<std::uint32_t>(fields)});
    }
    lineLength = 0;
    lineStart = lineFields_.size();
  };
  for (const Piece& piece : pieces_) {
    if (piece.field >= 0) {
      lineFields_.push_back(static_cast<std::uint32_t>(piece.field));
      continue;
    }
    for (const char c : std::string_view(text_).substr(piece.begin, piece.length)) {
      const auto b = static_cast<unsigned char>(c);
      if (b >= 0x80 || b == 0) plainNeedsEncoding_ = true;
      if (b == '\n' || b == '\r') {
        endLine();
      } else {
        ++lineLength;
      }
    }
  }
  endLine();
}

void MergeTemplate::AppendMerged(const std::vector<std::string>& values, std::string& out) const {
  for (const Piece& piece : pieces_) {
    if (piece.field >= 0) {
      out += ValueOf(values, static_cast<std::size_t>(piece.field));
    } else {
      out.append(text_, piece.begin, piece.length);
    }
  }
}

bool MergeTemplate::MergedNeedsTransferEncoding(const std::vector<std::string>& values) const {
  if (plainNeedsEncoding_) return true;
  std::uint8_t seen = 0;
  for (const std::size_t field : usedFields_) {
    for (const char c : ValueOf(values, field)) seen |= kValueByteKinds[static_cast<unsigned char>(c)];
  }
  if ((seen & kForcesEncoding) != 0) return true;
  if ((seen & kBreaksLine) != 0) {
    // A value that breaks a line changes which lines there are: measure it all.
    std::string merged;
    AppendMerged(values, merged);
    return NeedsTransferEncoding(merged);
  }
  for (const FieldLine& line : fieldLines_) {
    std::size_t length = line.plainLength;
    for (std::uint32_t i = 0; i < line.fieldCount; ++i) {
      length += ValueOf(values, lineFields_[line.firstField + i]).size();
    }
    if (length > kMaxTextLine) return true;
  }
  return false;
}

}  // namespace postrider
