#include "send/mime_reader.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/utf8_text.h"
#include "send/gmime_support.h"

namespace postrider {
namespace {

using gmime::DecodedContent;
using gmime::TextAsUtf8;
using gmime::WithLfLineEnds;
template <typename T>
using GObjectPtr = gmime::ObjectPtr<T>;
using GString = gmime::CharPtr;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A header value as shown: unfolded, encoded words decoded, valid UTF-8.
std::string ShownHeaderValue(const char* raw) {
  if (raw == nullptr) return {};
  const GString unfolded(g_mime_utils_header_unfold(raw));
  const GString decoded(g_mime_utils_header_decode_text(nullptr, unfolded.get()));
  std::string_view value = decoded ? decoded.get() : unfolded.get();
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  return AsUtf8(value);
}

std::string MimeTypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (type == nullptr) return "text/plain";
  const GString name(g_mime_content_type_get_mime_type(type));
  return name ? std::string(name.get()) : std::string("text/plain");
}

// `shown` is true inside multipart/alternative or multipart/related: there
// the parts are other forms of the letter (its HTML, its pictures), not files.
void ReadPart(GMimeObject* object, MimeMessage& message, bool& haveBody, bool shown) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const std::string type = MimeTypeOf(object);
    const bool letterForms = shown || EqualsIgnoringCase(type, "multipart/alternative") ||
                             EqualsIgnoringCase(type, "multipart/related");
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) {
      ReadPart(g_mime_multipart_get_part(multipart, i), message, haveBody, letterForms);
    }
    return;
  }
  if (GMIME_IS_MESSAGE_PART(object)) {
    // A forwarded message is a file like any other.
    message.attachments.push_back({"", "message/rfc822", {}});
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  GMimePart* part = GMIME_PART(object);
  const std::string type = MimeTypeOf(object);
  const bool attachment = g_mime_part_is_attachment(part) != FALSE;
  if (!attachment && !haveBody && EqualsIgnoringCase(type, "text/plain")) {
    message.body = WithLfLineEnds(TextAsUtf8(object, DecodedContent(part)));
    haveBody = true;
    return;
  }
  if (shown) return;
  const char* name = g_mime_part_get_filename(part);
  message.attachments.push_back({name != nullptr ? AsUtf8(name) : std::string(), type,
                                 DecodedContent(part)});
}

}  // namespace

std::string MimeMessage::Header(std::string_view name) const {
  for (const auto& [headerName, value] : headers) {
    if (EqualsIgnoringCase(headerName, name)) return value;
  }
  return {};
}

MimeMessage ReadMimeMessage(std::string_view text) {
  gmime::InitOnce();
  MimeMessage message;
  // GMime wants the header block ended; a message of headers only has none.
  std::string owned(text);
  if (owned.find("\n\n") == std::string::npos && owned.find("\r\n\r\n") == std::string::npos) {
    owned += owned.empty() || owned.back() == '\n' ? "\n" : "\n\n";
  }
  const GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(owned.data(), owned.size()));
  const GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  const GObjectPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!parsed) {
    message.body = WithLfLineEnds(AsUtf8(text));
    return message;
  }
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(parsed.get()));
  const int count = g_mime_header_list_get_count(headers);
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
    message.headers.emplace_back(AsUtf8(g_mime_header_get_name(header)),
                                 ShownHeaderValue(g_mime_header_get_raw_value(header)));
  }
  bool haveBody = false;
  if (GMimeObject* body = g_mime_message_get_mime_part(parsed.get())) {
    ReadPart(body, message, haveBody, false);
  }
  return message;
}

}  // namespace postrider
