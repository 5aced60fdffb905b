#include "send/formatted_parts.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

#include "platform/utf8_text.h"

namespace postrider {

namespace {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};

std::string DecodedContent(GMimePart* part) {
  GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
  if (wrapper == nullptr) return {};
  const GObjectPtr<GMimeStream> memory(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(wrapper, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// In the charset the part names; what cannot be converted is read as UTF-8
// when valid, else as Windows-1252.
std::string TextAsUtf8(GMimeObject* part, const std::string& bytes) {
  const char* charset = g_mime_object_get_content_type_parameter(part, "charset");
  if (charset != nullptr && g_ascii_strcasecmp(charset, "utf-8") != 0 &&
      g_ascii_strcasecmp(charset, "us-ascii") != 0) {
    gsize written = 0;
    std::unique_ptr<char, GFree> converted(
        g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                  g_mime_charset_iconv_name(charset), nullptr, &written, nullptr));
    if (converted) return std::string(converted.get(), written);
  }
  return AsUtf8(bytes);
}

std::string WithLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

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
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
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
