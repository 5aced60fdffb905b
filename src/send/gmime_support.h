#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>

namespace postrider::gmime {

// Once a process, before any GMime call.
void InitOnce();

struct ObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct Free {
  void operator()(gpointer memory) const { g_free(memory); }
};
using CharPtr = std::unique_ptr<char, Free>;

// The part's content with its transfer encoding undone.
std::string DecodedContent(GMimePart* part);

// Text in the charset the part names, as UTF-8: one it cannot convert, or
// none named, is read as UTF-8 when valid, else as Windows-1252.
std::string TextAsUtf8(GMimeObject* part, const std::string& bytes);

std::string WithLfLineEnds(std::string_view text);

}  // namespace postrider::gmime
