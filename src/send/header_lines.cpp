#include "send/header_lines.h"

#include <algorithm>

#include "send/mime_encoding.h"

namespace postrider {
namespace {

constexpr std::size_t kMaxLine = 998;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A control byte other than TAB: no header may carry one (RFC 5322), and a
// mail program may act on it (a CR or LF would start a header of its own).
bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t') || byte == 0x7f;
}

// Appends value with every control byte made a blank.
void AppendOneLine(std::string_view value, std::string& out) {
  const std::size_t start = out.size();
  out += value;
  // Every message's To: line comes through here, almost never with a control.
  if (std::none_of(value.begin(), value.end(), IsControl)) return;
  for (std::size_t i = start; i < out.size(); ++i) {
    if (IsControl(out[i])) out[i] = ' ';
  }
}

// Appends line folded before runs of blanks so that no piece is longer than
// 998 bytes; the first fold comes after firstFoldAfter. False, with nothing
// appended, when that cannot be done without a piece that is too long or
// holds nothing but blanks.
bool AppendFolded(std::string_view line, std::size_t firstFoldAfter, std::string& out) {
  std::string folded;
  std::size_t start = 0;
  while (line.size() - start > kMaxLine) {
    std::size_t fold = 0;
    for (std::size_t j = start + kMaxLine; j > start && j > firstFoldAfter; --j) {
      if (IsBlank(line[j]) && !IsBlank(line[j - 1])) {
        fold = j;
        break;
      }
    }
    if (fold == 0) return false;
    folded.append(line.substr(start, fold - start));
    folded += "\r\n";
    start = fold;
  }
  const std::string_view rest = line.substr(start);
  if (start > 0 && std::all_of(rest.begin(), rest.end(), IsBlank)) return false;
  folded.append(rest);
  out += folded;
  return true;
}

// Appends "Name: value" and its CR LF, folding the line when it is too long,
// or giving the value as encoded words when it cannot be folded.
void AppendLine(std::string_view name, std::string_view value, std::string& out) {
  const std::size_t start = out.size();
  out += name;
  out += ": ";
  AppendOneLine(value, out);
  if (out.size() - start > kMaxLine) {
    const std::string line = out.substr(start);
    out.resize(start);
    if (!AppendFolded(line, name.size() + 1, out)) {
      out += name;
      out += ": ";
      const std::string text = HeaderText(value);
      AppendEncodedWords(text, CharsetOf(text), name.size() + 2, out);
    }
  }
  out += "\r\n";
}

// RFC 5322 atext: what an atom holds.
bool IsAtext(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

}  // namespace

bool NeedsEncodedWords(std::string_view text) {
  // A reader decodes anything shaped like an encoded word, in quotes too, so
  // such ASCII text goes encoded as well and reads back as written.
  return HasEightBitBytes(text) || text.find("=?") != std::string_view::npos;
}

std::string HeaderText(std::string_view value) {
  std::string line;
  AppendOneLine(value, line);
  return line;
}

bool IsPlainPhrase(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (IsAtext(name[i])) continue;
    const bool betweenWords =
        name[i] == ' ' && i > 0 && i + 1 < name.size() && IsAtext(name[i + 1]);
    if (!betweenWords) return false;
  }
  return true;
}

void AppendQuotedString(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

void AppendToLine(std::string_view address, std::string& out) { AppendLine("To", address, out); }

void AppendSubjectLine(std::string_view subject, std::string& out) {
  if (!NeedsEncodedWords(subject)) {
    AppendLine("Subject", subject, out);
    return;
  }
  const std::string text = HeaderText(subject);
  out += "Subject: ";
  AppendEncodedWords(text, CharsetOf(text), 9, out);
  out += "\r\n";
}

void AppendFromLine(std::string_view realName, std::string_view returnAddress,
                    std::string& out) {
  const std::string name = HeaderText(realName);
  const std::string address = HeaderText(returnAddress);
  const std::size_t start = out.size();
  std::size_t lastLine = 0;  // length of the line that gets the address
  if (NeedsEncodedWords(name)) {
    out += "From: ";
    lastLine = AppendEncodedWords(name, CharsetOf(name), 6, out);
  } else {
    std::string value;
    if (IsPlainPhrase(name)) {
      value = name;
    } else {
      AppendQuotedString(name, value);
    }
    value += " <";
    value += address;
    value += '>';
    if (value.size() + 6 <= kMaxLine) {
      out += "From: ";
      out += value;
      out += "\r\n";
      return;
    }
    const std::string line = "From: " + value;
    if (AppendFolded(line, 5, out)) {
      out += "\r\n";
      return;
    }
    out += "From: ";
    lastLine = AppendEncodedWords(name, CharsetOf(name), 6, out);
  }
  // The address goes on the words' last line when that line stays short, as
  // lines with encoded words must.
  const std::size_t addressPart = address.size() + 3;  // " <" address ">"
  if (lastLine + addressPart > 76) {
    if (addressPart + 1 > kMaxLine) {
      // Far too long to be any server's address; keep the line bound anyway.
      out.resize(start);
      AppendLine("From", name + " <" + address + ">", out);
      return;
    }
    out += "\r\n";
  }
  out += " <";
  out += address;
  out += ">\r\n";
}

}  // namespace postrider
