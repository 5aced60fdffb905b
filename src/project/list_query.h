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

// Whether a field value meets a condition. Comparisons are byte by byte,
// case-sensitive, never numeric. An unknown operator is false.
bool TestCondition(std::string_view value, int op, std::string_view text);

}  // namespace postrider
