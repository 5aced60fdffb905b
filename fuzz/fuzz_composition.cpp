// Composition with hostile list values, subject, sender name and return
// address: every message decodes back to the merged values, no header line
// is longer than 998 bytes, no header appears that the program did not
// write, and a sender's name goes unquoted only when it needs no quotes.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "project/postridr_doc.h"
#include "send/merge_fields.h"
#include "send/message_composer.h"
#include "send/mime_encoding.h"
#include "platform/utf8_text.h"
#include "smtp/envelope_address.h"

namespace {

using postrider::fuzz::MemoryFile;

constexpr std::size_t kMaxLine = 998;
const std::vector<std::string> kFieldNames = {"Name", "Email", "City"};
constexpr std::string_view kMessageId = "<fuzz@example.com>";

std::string Without(std::string text, std::string_view unwanted) {
  std::erase_if(text, [unwanted](char c) { return unwanted.find(c) != std::string_view::npos; });
  return text;
}

// A list value that a tab-delimited line gives back exactly.
std::string ListValue(FuzzedDataProvider& input, bool last) {
  std::string value = Without(input.ConsumeRandomLengthString(80), "\t\n\"");
  if (last) {
    while (!value.empty() && value.back() == '\r') value.pop_back();
  }
  return value;
}

// A value as header lines take it: every control byte but TAB a blank.
std::string OneLine(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) c = ' ';
  }
  return text;
}

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

bool IsPlainAtoms(std::string_view name) {
  static const std::string_view kAtextSigns = "!#$%&'*+-/=?^_`{|}~";
  const auto atext = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kAtextSigns.find(c) != std::string_view::npos;
  };
  if (name.empty()) return true;
  if (name.front() == ' ' || name.back() == ' ' || name.find("  ") != std::string_view::npos) {
    return false;
  }
  return std::all_of(name.begin(), name.end(), [&](char c) { return c == ' ' || atext(c); });
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  static const std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    unsigned bits = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++padding;
        bits <<= 6;
        continue;
      }
      const std::size_t digit = kDigits.find(c);
      if (digit == std::string_view::npos || padding > 0) return std::nullopt;
      bits = bits << 6 | static_cast<unsigned>(digit);
    }
    bytes += static_cast<char>(bits >> 16 & 0xFF);
    if (padding < 2) bytes += static_cast<char>(bits >> 8 & 0xFF);
    if (padding < 1) bytes += static_cast<char>(bits & 0xFF);
  }
  return bytes;
}

// A value written wholly as encoded words, separated by blanks once unfolded.
std::optional<std::string> DecodeWords(std::string_view value) {
  if (value.empty()) return std::nullopt;
  std::string text;
  while (!value.empty()) {
    const std::size_t blank = value.find(' ');
    const std::string_view word = value.substr(0, blank);
    value.remove_prefix(blank == std::string_view::npos ? value.size() : blank + 1);
    if (word.size() > 75 || !word.starts_with("=?") || !word.ends_with("?=")) return std::nullopt;
    const std::string_view inner = word.substr(2, word.size() - 4);
    const std::size_t marker = inner.find("?B?");
    if (marker == std::string_view::npos) return std::nullopt;
    const std::string_view charset = inner.substr(0, marker);
    if (charset != "UTF-8" && charset != "ISO-8859-1") return std::nullopt;
    const std::optional<std::string> bytes = DecodeBase64(inner.substr(marker + 3));
    if (!bytes) return std::nullopt;
    // Words are split between characters, never inside one.
    if (charset == "UTF-8") FUZZ_CHECK(postrider::IsValidUtf8(*bytes));
    text += *bytes;
  }
  return text;
}

bool ReadsAs(std::string_view value, std::string_view expected) {
  if (value == expected) return true;
  const std::optional<std::string> decoded = DecodeWords(value);
  return decoded && *decoded == expected;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      bytes += text[i];
      continue;
    }
    FUZZ_CHECK(i + 2 < text.size());
    if (text.substr(i + 1, 2) == "\r\n") {
      i += 2;
      continue;
    }
    const std::string hex(text.substr(i + 1, 2));
    FUZZ_CHECK(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
    i += 2;
  }
  return bytes;
}

struct Header {
  std::string name;
  std::string value;  // unfolded, after the blank that follows the colon
};

std::vector<Header> ParseHeaders(std::string_view head) {
  std::vector<Header> headers;
  while (!head.empty()) {
    const std::size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
    FUZZ_CHECK(line.size() <= kMaxLine);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
    if (line.front() == ' ' || line.front() == '\t') {
      FUZZ_CHECK(!headers.empty());
      FUZZ_CHECK(line.find_first_not_of(" \t") != std::string_view::npos);
      headers.back().value += line;
      continue;
    }
    const std::size_t colon = line.find(':');
    FUZZ_CHECK(colon != std::string_view::npos && colon + 1 < line.size() &&
               line[colon + 1] == ' ');
    headers.push_back({std::string(line.substr(0, colon)), std::string(line.substr(colon + 2))});
  }
  return headers;
}

// Text the composer read as Windows-1252, as a whole letter that is not
// UTF-8 is read: a byte that cannot be UTF-8 forces that reading.
std::string AsWindows1252(std::string_view text) {
  std::string converted = postrider::AsUtf8(std::string(text) + '\xFF');
  converted.resize(converted.size() - 2);  // the U+00FF that forced it
  return converted;
}

// A letter of plain text, field references, unknown fields and attachment
// lines, with the body each entry must receive from it. The composer takes
// the letter and each value to UTF-8 on their own.
void BuildLetter(FuzzedDataProvider& input, const std::vector<std::vector<std::string>>& entries,
                 std::string& body, std::vector<std::string>& expected,
                 std::vector<std::string>& attachments) {
  struct Piece {
    int kind;
    std::string text;
    std::size_t field = 0;
  };
  std::vector<Piece> pieces(static_cast<std::size_t>(input.ConsumeIntegralInRange(0, 16)));
  for (Piece& piece : pieces) {
    piece.kind = input.ConsumeIntegralInRange(0, 3);
    switch (piece.kind) {
      case 0:
        piece.text = Without(input.ConsumeRandomLengthString(1200), "[");
        body += piece.text;
        break;
      case 1:
        piece.field = input.ConsumeIntegralInRange<std::size_t>(0, kFieldNames.size() - 1);
        body += "[[" + kFieldNames[piece.field] + "]]";
        break;
      case 2:
        body += "[[Nope]]";
        break;
      default:
        piece.text = Without(input.ConsumeRandomLengthString(40), "]");
        body += "[[Attachment:  " + piece.text + "]]\r\n";
        break;
    }
  }
  const bool letterIsUtf8 = postrider::IsValidUtf8(body);
  const auto asRead = [letterIsUtf8](const std::string& text) {
    return letterIsUtf8 ? text : AsWindows1252(text);
  };
  expected.assign(entries.size(), std::string());
  for (const Piece& piece : pieces) {
    switch (piece.kind) {
      case 0:
        for (std::string& e : expected) e += asRead(piece.text);
        break;
      case 1:
        for (std::size_t k = 0; k < entries.size(); ++k) {
          expected[k] += postrider::AsUtf8(entries[k][piece.field]);
        }
        break;
      case 2:
        for (std::string& e : expected) e += "[[Nope]]";
        break;
      default:
        if (attachments.size() < postrider::kMaxAttachments) {
          attachments.push_back(asRead(piece.text));
        }
        break;
    }
  }
}

void CheckMessage(const postrider::ComposedMessage& composed,
                  const postrider::UserSettings& settings, const std::string& subject,
                  const std::string& expectedBody) {
  const std::string& text = composed.text;
  const std::size_t split = text.find("\r\n\r\n");
  FUZZ_CHECK(split != std::string::npos);
  const std::vector<Header> headers = ParseHeaders(std::string_view(text).substr(0, split));
  const std::string_view body = std::string_view(text).substr(split + 4);

  const bool encoded = headers.size() == 8;
  std::vector<std::string> names;
  for (const Header& header : headers) names.push_back(header.name);
  std::vector<std::string> written = {"To", "From", "Subject", "Date", "Message-ID"};
  if (encoded) {
    written.insert(written.end(), {"MIME-Version", "Content-Type", "Content-Transfer-Encoding"});
  }
  FUZZ_CHECK(names == written);
  // Only addresses go as 8-bit bytes; names and texts are encoded words.
  for (std::size_t i = 2; i < headers.size(); ++i) {
    FUZZ_CHECK(!postrider::HasEightBitBytes(headers[i].value));
  }

  FUZZ_CHECK(ReadsAs(headers[0].value, OneLine(postrider::AddressWithAsciiDomain(composed.recipient))));
  FUZZ_CHECK(ReadsAs(headers[2].value, OneLine(postrider::AsUtf8(subject))));
  const std::string name = OneLine(postrider::AsUtf8(settings.realName));
  const std::string angle =
      " <" + OneLine(postrider::AddressWithAsciiDomain(postrider::AsUtf8(settings.returnAddress))) +
      ">";
  const std::string& from = headers[1].value;
  bool fromReads =
      from == name + angle || from == Quoted(name) + angle || ReadsAs(from, name + angle);
  if (!fromReads && from.ends_with(angle)) {
    fromReads = ReadsAs(std::string_view(from).substr(0, from.size() - angle.size()), name);
  }
  FUZZ_CHECK(fromReads);
  // A name that goes unquoted is one readers take as typed: atoms, one blank
  // between them (RFC 5322 3.2.5).
  if (from == name + angle) FUZZ_CHECK(IsPlainAtoms(name));
  // A return address the client would send at all leaves room for the name.
  if (postrider::IsSafeEnvelopeAddress(settings.returnAddress) && from.ends_with(angle)) {
    FUZZ_CHECK(
        !postrider::HasEightBitBytes(std::string_view(from).substr(0, from.size() - angle.size())));
  }
  FUZZ_CHECK(headers[4].value == kMessageId);

  if (!encoded) {
    FUZZ_CHECK(!postrider::NeedsTransferEncoding(body));
    FUZZ_CHECK(body == expectedBody);
    // A body that goes as it is is only kept apart when files go with it.
    FUZZ_CHECK(composed.body == (composed.attachments.empty() ? "" : expectedBody));
    return;
  }
  FUZZ_CHECK(composed.body == expectedBody);
  FUZZ_CHECK(headers[7].value == "quoted-printable");
  std::size_t lineStart = 0;
  for (std::size_t end = body.find("\r\n"); lineStart < body.size();
       end = body.find("\r\n", lineStart)) {
    if (end == std::string_view::npos) end = body.size();
    FUZZ_CHECK(end - lineStart <= 76);
    lineStart = end + 2;
  }
  // Line breaks come out as CR LF; every other byte as it was.
  std::string lineBreaksAsCrLf;
  for (std::size_t i = 0; i < expectedBody.size(); ++i) {
    if (expectedBody[i] == '\n' && (i == 0 || expectedBody[i - 1] != '\r'))
      lineBreaksAsCrLf += '\r';
    lineBreaksAsCrLf += expectedBody[i];
  }
  FUZZ_CHECK(DecodeQuotedPrintable(body) == lineBreaksAsCrLf);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const MemoryFile list("list");
  static const MemoryFile project("project");
  static const bool written = [] {
    project.Write("[Settings]\nMessageFile=/nonexistent/letter.txt\nDBFile=" + list.path() +
                  "\nDBFileType=0\nHelperFile=/nonexistent/project.prh\n");
    return true;
  }();
  (void)written;

  FuzzedDataProvider input(data, size);
  postrider::UserSettings settings;
  settings.realName = input.ConsumeRandomLengthString(1200);
  settings.returnAddress = input.ConsumeRandomLengthString(300);
  const std::string subject = input.ConsumeRandomLengthString(1200);
  const int emailField = input.ConsumeIntegralInRange(-1, 2);

  std::vector<std::vector<std::string>> entries(input.ConsumeIntegralInRange(1, 3));
  std::string listText = "Name\tEmail\tCity\n";
  for (std::vector<std::string>& values : entries) {
    for (std::size_t field = 0; field < kFieldNames.size(); ++field) {
      values.push_back(ListValue(input, field + 1 == kFieldNames.size()));
      listText += values.back() + (field + 1 == kFieldNames.size() ? "\n" : "\t");
    }
  }
  std::string body;
  std::vector<std::string> expectedBodies;
  std::vector<std::string> expectedAttachments;
  BuildLetter(input, entries, body, expectedBodies, expectedAttachments);
  list.Write(listText);

  postrider::CPostridrDoc document;
  FUZZ_CHECK(document.OnOpenDocument(project.path()));
  FUZZ_CHECK(document.GetEntryCount() == static_cast<int>(entries.size()));
  document.SetSubject(subject);
  document.SetBody(body);
  document.SetEmailFieldIndex(emailField);

  postrider::ComposedMessage composed;
  for (std::size_t entry = 0; entry < entries.size(); ++entry) {
    postrider::ComposeMessage(document, static_cast<int>(entry), settings, 1767225600, kMessageId,
                              composed);
    FUZZ_CHECK(
        composed.recipient ==
        (emailField < 0 ? std::string()
                        : postrider::AsUtf8(entries[entry][static_cast<std::size_t>(emailField)])));
    FUZZ_CHECK(composed.attachments == expectedAttachments);
    CheckMessage(composed, settings, subject, expectedBodies[entry]);
  }
  return 0;
}
