#include "send/mime_structure.h"

#include <vector>

#include "send/mime_encoding.h"

namespace postrider {

namespace {

// "=_" cannot occur in quoted-printable or base64; a part that goes as it is
// may hold anything, so the number grows until the boundary is new.
std::string BoundaryFor(std::string_view kind, std::span<const std::string_view> parts) {
  for (unsigned number = 0;; ++number) {
    std::string boundary = "=_Postrider_" + std::string(kind) + "_" + std::to_string(number);
    bool unused = true;
    for (std::string_view part : parts) {
      if (part.find(boundary) != std::string_view::npos) unused = false;
    }
    if (unused) return boundary;
  }
}

void AppendTextLeaf(std::string_view subtype, std::string_view charset, std::string_view text,
                    std::string& out) {
  out += "Content-Type: text/";
  out += subtype;
  out += "; charset=";
  out += charset;
  if (NeedsTransferEncoding(text)) {
    out += "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    AppendQuotedPrintable(text, out);
  } else {
    out += "\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
    out += text;
  }
}

// A name goes into a quoted parameter only when it needs no encoding.
bool IsPlainParameter(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') return false;
  }
  return true;
}

void AppendPictureLeaf(const InlinePicture& picture, std::string& out) {
  const bool named = IsPlainParameter(picture.fileName);
  out += "Content-Type: ";
  out += picture.mediaType;
  if (named) out += "; name=\"" + picture.fileName + "\"";
  out += "\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <";
  out += picture.contentId;
  out += ">\r\nContent-Disposition: inline";
  if (named) out += "; filename=\"" + picture.fileName + "\"";
  out += "\r\n\r\n";
  out += picture.base64;
}

// Appends one multipart entity, its Content-Type line and body, around parts
// that are already whole entities (headers, empty line, body).
void AppendMultipart(std::string_view subtype, std::string_view parameters,
                     std::span<const std::string_view> parts, std::string& out) {
  const std::string boundary = BoundaryFor(subtype, parts);
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size() + boundary.size() + 8;
  out.reserve(out.size() + size + 128);
  out += "Content-Type: multipart/";
  out += subtype;
  out += "; boundary=\"" + boundary + "\"";
  out += parameters;
  out += "\r\n\r\n";
  for (std::string_view part : parts) {
    out += "--" + boundary + "\r\n";
    out += part;
    out += "\r\n";
  }
  out += "--" + boundary + "--\r\n";
}

}  // namespace

void AppendMessageParts(const MessageParts& parts, std::string& out) {
  out += "MIME-Version: 1.0\r\n";
  // Each level is made whole before the next wraps it; the outermost goes
  // straight into out.
  const bool related = !parts.pictures.empty();
  const bool mixed = !parts.attachments.empty();

  std::string content;
  std::string& textTarget = parts.html.empty() && !related && !mixed ? out : content;
  AppendTextLeaf("plain", CharsetOf(parts.text), parts.text, textTarget);
  if (!parts.html.empty()) {
    std::string htmlPart;
    AppendTextLeaf("html", "UTF-8", parts.html, htmlPart);
    const std::string_view alternative[] = {content, htmlPart};
    std::string wrapped;
    AppendMultipart("alternative", "", alternative, related || mixed ? wrapped : out);
    content = std::move(wrapped);
  }
  if (related) {
    std::vector<std::string> pictures(parts.pictures.size());
    std::vector<std::string_view> relatedParts{content};
    for (std::size_t i = 0; i < parts.pictures.size(); ++i) {
      AppendPictureLeaf(parts.pictures[i], pictures[i]);
      relatedParts.push_back(pictures[i]);
    }
    const std::string_view type =
        parts.html.empty() ? "; type=\"text/plain\"" : "; type=\"multipart/alternative\"";
    std::string wrapped;
    AppendMultipart("related", type, relatedParts, mixed ? wrapped : out);
    content = std::move(wrapped);
  }
  if (mixed) {
    std::vector<std::string_view> mixedParts{content};
    mixedParts.insert(mixedParts.end(), parts.attachments.begin(), parts.attachments.end());
    AppendMultipart("mixed", "", mixedParts, out);
  }
}

}  // namespace postrider
