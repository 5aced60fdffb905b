#include "project/list_query.h"

#include "project/address_check.h"
#include "project/postridr_doc.h"

namespace postrider {

std::optional<int> QueryOperatorFromText(std::string_view text) {
  for (std::size_t i = 0; i < kQueryOperatorTexts.size(); ++i) {
    if (kQueryOperatorTexts[i] == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool TestCondition(std::string_view value, int op, std::string_view text) {
  // string_view compares as unsigned bytes, the shorter prefix first.
  switch (op) {
    case QueryEquals:
      return value == text;
    case QueryNotEquals:
      return value != text;
    case QueryGreater:
      return value > text;
    case QueryGreaterOrEqual:
      return value >= text;
    case QueryLess:
      return value < text;
    case QueryLessOrEqual:
      return value <= text;
    case QueryValidAddress:
      return IsValidAddress(value);
    default:
      return false;
  }
}

void CPostridrDoc::SelectOnQuery(int firstField, int firstOperator, const std::string& firstValue,
                                 int join, int secondField, int secondOperator,
                                 const std::string& secondValue) {
  if (IsReadOnly() || firstField < 0 || firstOperator < 0) return;
  UnselectAll();
  if (secondField < 0 || secondOperator < 0) join = QueryJoinNone;

  ListRecord record;
  const int entries = GetEntryCount();
  for (int i = 0; i < entries; ++i) {
    record.values.clear();
    if (!ReadListRecord(i, record)) continue;
    bool matches = TestCondition(record.ValueAt(firstField), firstOperator, firstValue);
    // The second condition is looked at only when the join needs it.
    if (join == QueryJoinAnd && matches) {
      matches = TestCondition(record.ValueAt(secondField), secondOperator, secondValue);
    } else if (join == QueryJoinOr && !matches) {
      matches = TestCondition(record.ValueAt(secondField), secondOperator, secondValue);
    }
    if (matches) marks_.SetSelection(i, true);
  }
  SetModifiedFlag(true);
  ForEachProjectView([](IProjectView& view) { view.RedrawList(); });
  UpdateSelectedCount(-1);
}

}  // namespace postrider
