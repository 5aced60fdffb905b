#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace postrider {

// Merge fields as marks: a text is worked on (rendered, escaped) once with a
// mark where each field stands, and every recipient's values go where the
// marks ended up. A mark is U+E000, the field's index in decimal, U+E001:
// private-use characters that Markdown gives no meaning and that no escape
// for HTML touches.

inline constexpr std::string_view kFieldMarkOpen = "\xEE\x80\x80";   // U+E000
inline constexpr std::string_view kFieldMarkClose = "\xEE\x80\x81";  // U+E001

// The text with each merge field (as the message's body reads them) made its
// mark, and attachment lines left out. Marks the text holds of its own become
// U+FFFD first, so that only its fields make marks.
std::string WithFieldMarks(std::string_view text, const std::vector<std::string>& fieldNames);
// Only the clean-up: the text's own marks made U+FFFD, also written as %XX.
std::string WithoutFieldMarks(std::string_view text);

bool HasFieldMark(std::string_view text);

// The mark that starts at `at`, written with open and close (the marks as
// they are, or as %XX in an address); field -1 when none starts there.
struct FieldMark {
  int field = -1;
  std::size_t length = 0;
};
FieldMark ReadFieldMark(std::string_view text, std::size_t at, std::string_view open,
                        std::string_view close);

}  // namespace postrider
