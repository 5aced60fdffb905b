#include "send/attachment_mime.h"

#include <algorithm>
#include <vector>

#include "platform/utf8_text.h"
#include "send/base64_lines.h"
#include "send/mime_encoding.h"

namespace postrider {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Percent-encoded characters on one continuation line of a long name.
constexpr std::size_t kPiecePerLine = 52;

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

bool IsPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return Byte(c) >= 0x20 && Byte(c) < 0x7f; });
}

// RFC 2231's attribute-char: what goes unencoded in an extended value.
bool IsAttributeChar(char c) {
  const unsigned char b = Byte(c);
  if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return true;
  return std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
}

void AppendQuoted(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

// filename*=UTF-8''..., in numbered pieces when long; a piece never splits a
// character.
void AppendExtendedFileName(std::string_view name, std::string& out) {
  std::vector<std::string> pieces(1);
  for (const char c : name) {
    const bool startsCharacter = (Byte(c) & 0xC0) != 0x80;
    if (startsCharacter && pieces.back().size() >= kPiecePerLine) pieces.emplace_back();
    std::string& piece = pieces.back();
    if (IsAttributeChar(c)) {
      piece += c;
    } else {
      piece += '%';
      piece += kHexDigits[Byte(c) >> 4];
      piece += kHexDigits[Byte(c) & 15];
    }
  }
  if (pieces.size() == 1) {
    out += " filename*=UTF-8''";
    out += pieces[0];
    return;
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += ";\r\n";
    out += " filename*" + std::to_string(i) + "*=";
    if (i == 0) out += "UTF-8''";
    out += pieces[i];
  }
}

}  // namespace

void AppendTextPartHeaders(std::string_view body, std::string& out) {
  if (!NeedsTransferEncoding(body)) return;
  out += "Content-Type: text/plain; charset=";
  out += CharsetOf(body);
  out += "\r\nContent-Transfer-Encoding: quoted-printable\r\n";
}

void AppendTextPartBody(std::string_view body, std::string& out) {
  if (NeedsTransferEncoding(body)) {
    AppendQuotedPrintable(body, out);
  } else {
    out += body;
  }
}

void AppendAttachmentPartHeaders(std::string_view fileName, std::string_view contentType,
                                 std::string& out) {
  const std::string name = AsUtf8(fileName);
  // A name shaped like an encoded word would be decoded by readers into
  // another name: it goes encoded like one beyond ASCII.
  const bool plain = IsPrintableAscii(name) && name.find("=?") == std::string::npos;
  out += "Content-Type: ";
  out += contentType;
  out += ";\r\n name=";
  if (plain) {
    AppendQuoted(name, out);
  } else {
    out += '"';
    AppendEncodedWords(name, "UTF-8", 7, out);
    out += '"';
  }
  out += "\r\nContent-Disposition: attachment;\r\n";
  if (plain) {
    out += " filename=";
    AppendQuoted(name, out);
  } else {
    AppendExtendedFileName(name, out);
  }
  out += "\r\nContent-Transfer-Encoding: base64\r\n\r\n";
}

std::uint64_t AttachmentPartSize(std::string_view fileName, std::string_view contentType,
                                 std::uint64_t fileSize) {
  std::string headers;
  AppendAttachmentPartHeaders(fileName, contentType, headers);
  return headers.size() + Base64LineEncoder::EncodedSize(fileSize);
}

}  // namespace postrider
