#include "project/list_query.h"

#include "project/address_check.h"
#include "project/postridr_doc.h"
#include "platform/utf8_text.h"

namespace postrider {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number's parts without what does not change its size: leading zeros of
// the whole part, trailing zeros of the fraction, the sign of zero.
struct QueryNumber {
  bool negative = false;
  std::string_view whole;
  std::string_view fraction;
};

std::optional<QueryNumber> ParseQueryNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  QueryNumber number;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    number.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  for (const char c : whole) {
    if (!IsDigit(c)) return std::nullopt;
  }
  for (const char c : fraction) {
    if (!IsDigit(c)) return std::nullopt;
  }
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  if (whole.empty() && fraction.empty()) number.negative = false;
  number.whole = whole;
  number.fraction = fraction;
  return number;
}

int CompareMagnitudes(const QueryNumber& a, const QueryNumber& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (const int whole = a.whole.compare(b.whole); whole != 0) return whole;
  // Without trailing zeros, fractions order as texts do.
  return a.fraction.compare(b.fraction);
}

int Sign(int value) { return (value > 0) - (value < 0); }

// The order of a value against the query's text: as numbers when both are.
int Order(std::string_view value, std::string_view text) {
  const std::optional<QueryNumber> a = ParseQueryNumber(value);
  const std::optional<QueryNumber> b = a ? ParseQueryNumber(text) : std::nullopt;
  if (a && b) {
    if (a->negative != b->negative) return a->negative ? -1 : 1;
    const int magnitude = Sign(CompareMagnitudes(*a, *b));
    return a->negative ? -magnitude : magnitude;
  }
  // string_view compares as unsigned bytes, the shorter prefix first.
  return Sign(value.compare(text));
}

}  // namespace

bool IsQueryNumber(std::string_view text) { return ParseQueryNumber(text).has_value(); }

std::optional<int> QueryOperatorFromText(std::string_view text) {
  for (std::size_t i = 0; i < kQueryOperatorTexts.size(); ++i) {
    if (kQueryOperatorTexts[i] == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

namespace {

// Whether the value meets the condition, the two compared as the bytes given.
bool Meets(std::string_view value, int op, std::string_view text) {
  switch (op) {
    case QueryEquals:
      return value == text;
    case QueryNotEquals:
      return value != text;
    case QueryGreater:
      return Order(value, text) > 0;
    case QueryGreaterOrEqual:
      return Order(value, text) >= 0;
    case QueryLess:
      return Order(value, text) < 0;
    case QueryLessOrEqual:
      return Order(value, text) <= 0;
    case QueryValidAddress:
      return IsValidAddress(value);
    default:
      return false;
  }
}

// A condition's text, looked at once for the whole list.
struct QueryText {
  explicit QueryText(std::string_view text)
      : bytes(text), utf8(IsValidUtf8(text)), shown(utf8 ? std::string() : AsUtf8(text)) {}
  std::string_view bytes;
  bool utf8;
  std::string shown;  // as UTF-8, when the bytes are not
};

bool Meets(std::string_view value, int op, const QueryText& text) {
  // The window shows a Latin-1 value's accented letters as Windows-1252
  // reads them, and the user types them as UTF-8 (or the other way round).
  if (op == QueryValidAddress || IsValidUtf8(value) == text.utf8) {
    return Meets(value, op, text.bytes);
  }
  if (text.utf8) return Meets(AsUtf8(value), op, text.bytes);
  return Meets(value, op, text.shown);
}

}  // namespace

bool TestCondition(std::string_view value, int op, std::string_view text) {
  return Meets(value, op, QueryText(text));
}

void CPostridrDoc::SelectOnQuery(int firstField, int firstOperator, const std::string& firstValue,
                                 int join, int secondField, int secondOperator,
                                 const std::string& secondValue) {
  if (IsReadOnly() || firstField < 0 || firstOperator < 0) return;
  UnselectAll();
  if (secondField < 0 || secondOperator < 0) join = QueryJoinNone;

  const QueryText firstText(firstValue);
  const QueryText secondText(secondValue);
  ListRecord record;
  const int entries = GetEntryCount();
  for (int i = 0; i < entries; ++i) {
    record.values.clear();
    if (!ReadListRecord(i, record)) continue;
    bool matches = Meets(record.ValueAt(firstField), firstOperator, firstText);
    // The second condition is looked at only when the join needs it.
    if (join == QueryJoinAnd && matches) {
      matches = Meets(record.ValueAt(secondField), secondOperator, secondText);
    } else if (join == QueryJoinOr && !matches) {
      matches = Meets(record.ValueAt(secondField), secondOperator, secondText);
    }
    if (matches) marks_.SetSelection(i, true);
  }
  SetModifiedFlag(true);
  ForEachProjectView([](IProjectView& view) { view.RedrawList(); });
  UpdateSelectedCount(-1);
}

}  // namespace postrider
