#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace postrider {

// Operators of a query condition; the code is the position in the List Query
// dialog's operator list.
enum QueryOperator : int {
  QueryEquals = 0,
  QueryNotEquals = 1,
  QueryGreater = 2,
  QueryGreaterOrEqual = 3,
  QueryLess = 4,
  QueryLessOrEqual = 5,
  QueryValidAddress = 6,
};

inline constexpr std::array<std::string_view, 7> kQueryOperatorTexts = {
    "equals",    "does not equal",     "greater than",        "greater than or equal",
    "less than", "less than or equal", "valid email address",
};

// The operator code for a text the dialog shows.
std::optional<int> QueryOperatorFromText(std::string_view text);

// Whether a field value meets a condition. "equals" and "does not equal"
// compare the bytes exactly, so a code such as 01234 matches only itself.
// The four ordering operators compare numbers by their size when both the
// value and the text are numbers (see IsQueryNumber), and anything else byte
// by byte, case-sensitively. When one of value and text is UTF-8 and the
// other is not (a Latin-1 list, a query typed as UTF-8), both are compared
// as UTF-8, the one that is not read as Windows-1252, as the window shows
// it. An unknown operator is false.
bool TestCondition(std::string_view value, int op, std::string_view text);

// A number as the ordering operators see one: blanks around it allowed, an
// optional + or -, digits with at most one decimal point and at least one
// digit ("42", "-3.5", " +007 ", ".5", "12."). A thousands separator, a
// decimal comma or an exponent makes it text.
bool IsQueryNumber(std::string_view text);

}  // namespace postrider
