#pragma once

#include <QString>

#include <string_view>

namespace postrider {

// A list value or field name for the screen. The core keeps bytes: UTF-8 where
// they are valid UTF-8, otherwise each byte is one Latin-1 character, so a
// Latin-1 list shows its accented letters instead of replacement marks.
QString ListValueText(std::string_view bytes);

}  // namespace postrider
