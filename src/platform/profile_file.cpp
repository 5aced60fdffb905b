#include "platform/profile_file.h"

#include <climits>
#include <utility>

#include "platform/atomic_file.h"

namespace postrider {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool IsQuoted(std::string_view text) {
  return text.size() >= 2 && IsQuote(text.front()) && text.back() == text.front();
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;       // section name or key, trimmed
  std::size_t valueStart = 0;  // for a key: where the text after '=' starts
};

ParsedLine ParseLine(std::string_view line) {
  const std::string_view text = TrimLeft(line);
  if (text.empty() || text.front() == ';') return {};
  if (text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return {};
    return {LineKind::Section, Trim(text.substr(1, close - 1)), 0};
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return {};
  const std::string_view key = Trim(text.substr(0, equals));
  if (key.empty()) return {};
  const std::size_t valueStart = (line.size() - text.size()) + equals + 1;
  return {LineKind::Key, key, valueStart};
}

std::string DecodeValue(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// Quotes exactly the values that reading would otherwise change.
std::string EncodeValue(std::string_view value) {
  const bool needsQuotes = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                              IsQuoted(value));
  if (!needsQuotes) return std::string(value);
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted += '"';
  quoted += value;
  quoted += '"';
  return quoted;
}

int ParseLeadingInt(std::string_view text, int fallback) {
  text = TrimLeft(text);
  if (text.empty()) return fallback;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return static_cast<int>(-magnitude);
  return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

Status Refuse(std::string_view section, std::string_view key, std::string_view reason) {
  std::string message = "Cannot store \"";
  message += key;
  message += "\" in section [";
  message += section;
  message += "]: ";
  message += reason;
  return Status::Error(std::move(message));
}

Status CheckEntry(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section)) return Refuse(section, key, "the section name holds a line break");
  if (section.find(']') != std::string_view::npos) {
    return Refuse(section, key, "the section name holds \"]\"");
  }
  if (key.empty()) return Refuse(section, key, "the key name is empty");
  if (HasLineBreak(key)) return Refuse(section, key, "the key name holds a line break");
  if (key.find('=') != std::string_view::npos) return Refuse(section, key, "the key name holds \"=\"");
  if (key.front() == '[' || key.front() == ';') {
    return Refuse(section, key, "the key name starts with \"[\" or \";\"");
  }
  if (HasLineBreak(value)) return Refuse(section, key, "the value holds a line break");
  return Status::Ok();
}

}  // namespace

Result<ProfileFile> ProfileFile::Load(const std::string& path) {
  Result<std::optional<std::string>> bytes = ReadFileIfPresent(path);
  if (!bytes) return bytes.status();
  if (!bytes->has_value()) return ProfileFile();
  return FromText(**bytes);
}

ProfileFile ProfileFile::FromText(std::string_view text) {
  ProfileFile profile;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    profile.hasByteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // Every CR at the end goes, not just the one of a CR LF: a line kept as
    // "A=1\r" would be written back as "A=1\r\n" and read as "A=1" next time.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    profile.lines_.emplace_back(line);
  }
  return profile;
}

std::optional<ProfileFile::SectionSpan> ProfileFile::FindSection(std::string_view name) const {
  name = Trim(name);
  std::optional<SectionSpan> found;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine parsed = ParseLine(lines_[i]);
    if (parsed.kind != LineKind::Section) continue;
    if (found) {
      found->end = i;
      return found;
    }
    if (EqualsIgnoringAsciiCase(parsed.name, name)) found = SectionSpan{i, lines_.size()};
  }
  return found;
}

std::optional<std::size_t> ProfileFile::FindKeyLine(const SectionSpan& span,
                                                    std::string_view key) const {
  key = Trim(key);
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    const ParsedLine parsed = ParseLine(lines_[i]);
    if (parsed.kind == LineKind::Key && EqualsIgnoringAsciiCase(parsed.name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> ProfileFile::Find(std::string_view section, std::string_view key) const {
  const std::optional<SectionSpan> span = FindSection(section);
  if (!span) return std::nullopt;
  const std::optional<std::size_t> line = FindKeyLine(*span, key);
  if (!line) return std::nullopt;
  const std::string& text = lines_[*line];
  return DecodeValue(std::string_view(text).substr(ParseLine(text).valueStart));
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view fallback, std::size_t bufferSize) const {
  std::string value = Find(section, key).value_or(std::string(fallback));
  const std::size_t room = bufferSize == 0 ? 0 : bufferSize - 1;
  if (value.size() > room) value.resize(room);
  return value;
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int fallback) const {
  const std::optional<std::string> value = Find(section, key);
  return value ? ParseLeadingInt(*value, fallback) : fallback;
}

Status ProfileFile::KeepOrSetString(std::string_view section, std::string_view key,
                                    std::string_view value, std::size_t bufferSize) {
  if (Find(section, key) && GetString(section, key, "", bufferSize) == value) return Status::Ok();
  return SetString(section, key, value);
}

Status ProfileFile::SetString(std::string_view section, std::string_view key,
                              std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (Status check = CheckEntry(section, key, value); !check) return check;

  const std::string encoded = EncodeValue(value);
  const std::optional<SectionSpan> span = FindSection(section);
  if (!span) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::string(key) + "=" + encoded);
    return Status::Ok();
  }

  if (const std::optional<std::size_t> line = FindKeyLine(*span, key)) {
    // Keep the key's own spelling and the spacing around '='.
    std::string& text = lines_[*line];
    std::size_t valueStart = ParseLine(text).valueStart;
    if (encoded.empty()) {
      text.resize(valueStart);
    } else {
      while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
      text.replace(valueStart, std::string::npos, encoded);
    }
    return Status::Ok();
  }

  std::size_t insertAt = span->header + 1;
  for (std::size_t i = span->header + 1; i < span->end; ++i) {
    if (ParseLine(lines_[i]).kind == LineKind::Key) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                std::string(key) + "=" + encoded);
  return Status::Ok();
}

Status ProfileFile::SetInt(std::string_view section, std::string_view key, int value) {
  return SetString(section, key, std::to_string(value));
}

std::string ProfileFile::Text() const {
  std::size_t size = hasByteOrderMark_ ? kByteOrderMark.size() : 0;
  for (const std::string& line : lines_) size += line.size() + 1;
  std::string text;
  text.reserve(size);
  if (hasByteOrderMark_) text += kByteOrderMark;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

Status ProfileFile::Save(const std::string& path, FileReaders readers) const {
  return WriteFileAtomically(path, Text(), readers);
}

}  // namespace postrider
