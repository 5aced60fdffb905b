#include "send/gmime_support.h"

#include <mutex>

#include "platform/utf8_text.h"

namespace postrider::gmime {

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

std::string DecodedContent(GMimePart* part) {
  GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
  if (wrapper == nullptr) return {};
  const ObjectPtr<GMimeStream> memory(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(wrapper, memory.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

std::string TextAsUtf8(GMimeObject* part, const std::string& bytes) {
  const char* charset = g_mime_object_get_content_type_parameter(part, "charset");
  if (charset != nullptr && g_ascii_strcasecmp(charset, "utf-8") != 0 &&
      g_ascii_strcasecmp(charset, "us-ascii") != 0) {
    gsize written = 0;
    const CharPtr converted(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                      g_mime_charset_iconv_name(charset), nullptr, &written,
                                      nullptr));
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

}  // namespace postrider::gmime
