#include "send/formatted_parts.h"

#include <memory>

#include "send/gmime_support.h"

namespace postrider {

namespace {

using gmime::DecodedContent;
using gmime::TextAsUtf8;
using gmime::WithLfLineEnds;
template <typename T>
using GObjectPtr = gmime::ObjectPtr<T>;

void ReadPart(GMimeObject* object, FormattedParts& parts) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) ReadPart(g_mime_multipart_get_part(multipart, i), parts);
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  GMimePart* part = GMIME_PART(object);
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const char* contentId = g_mime_object_get_content_id(object);
  const bool attached = g_mime_part_is_attachment(part);
  if (contentId != nullptr && type != nullptr &&
      g_ascii_strcasecmp(g_mime_content_type_get_media_type(type), "image") == 0) {
    parts.pictures.emplace(contentId, DecodedContent(part));
    return;
  }
  if (attached || type == nullptr) return;
  if (g_mime_content_type_is_type(type, "text", "html") && parts.html.empty()) {
    parts.html = WithLfLineEnds(TextAsUtf8(object, DecodedContent(part)));
  } else if (g_mime_content_type_is_type(type, "text", "plain") && parts.text.empty()) {
    parts.text = WithLfLineEnds(TextAsUtf8(object, DecodedContent(part)));
  }
}

}  // namespace

FormattedParts ReadFormattedParts(std::string_view message) {
  gmime::InitOnce();
  FormattedParts parts;
  const GObjectPtr<GMimeStream> stream(
      g_mime_stream_mem_new_with_buffer(message.data(), message.size()));
  const GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  const GObjectPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!parsed) return parts;
  GMimeObject* body = g_mime_message_get_mime_part(parsed.get());
  if (body != nullptr) ReadPart(body, parts);
  return parts;
}

}  // namespace postrider
