// The list query on any values and texts: the ordering operators agree with
// each other and with the operands swapped, blanks around a number change
// nothing, numbers short enough for a double order as doubles do, and
// Select on Query selects exactly the entries whose values (as the line
// splits on its own) meet the conditions.
//
// An input is three lines, "field TAB operator TAB text", the join, the
// second condition, and then a TAB list.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/utf8_text.h"
#include "project/list_line_splitter.h"
#include "project/list_query.h"
#include "project/mailing_list.h"
#include "project/postridr_doc.h"

namespace {

using namespace postrider;

struct Condition {
  int field = -1;
  int op = -1;
  std::string text;
};

std::string_view TakeLine(std::string_view& bytes) {
  const std::size_t end = bytes.find('\n');
  const std::string_view line = bytes.substr(0, end);
  bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  return line;
}

int SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 3) return -1;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

Condition ConditionFrom(std::string_view line) {
  Condition condition;
  const std::size_t first = line.find('\t');
  if (first == std::string_view::npos) return condition;
  const std::size_t second = line.find('\t', first + 1);
  if (second == std::string_view::npos) return condition;
  condition.field = SmallNumber(line.substr(0, first));
  condition.op = SmallNumber(line.substr(first + 1, second - first - 1));
  condition.text = std::string(line.substr(second + 1));
  return condition;
}

// The number of digits a double holds for sure, and the value it reads as.
std::optional<double> ShortNumber(std::string_view text) {
  if (!IsQueryNumber(text)) return std::nullopt;
  std::size_t digits = 0;
  for (const char c : text) digits += c >= '0' && c <= '9';
  if (digits > 15) return std::nullopt;
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

void CheckOrder(std::string_view value, std::string_view text) {
  const bool greater = TestCondition(value, QueryGreater, text);
  const bool less = TestCondition(value, QueryLess, text);
  FUZZ_CHECK(!(greater && less));
  FUZZ_CHECK(greater == !TestCondition(value, QueryLessOrEqual, text));
  FUZZ_CHECK(less == !TestCondition(value, QueryGreaterOrEqual, text));
  FUZZ_CHECK(greater == TestCondition(text, QueryLess, value));
  // A Latin-1 value and a UTF-8 text are alike when they show the same letters.
  const bool same = value == text || (IsValidUtf8(value) != IsValidUtf8(text) &&
                                      AsUtf8(value) == AsUtf8(text));
  FUZZ_CHECK(TestCondition(value, QueryEquals, text) == same);
  FUZZ_CHECK(TestCondition(value, QueryNotEquals, text) == !same);
  if (value == text) FUZZ_CHECK(!greater && !less);

  if (IsQueryNumber(value) && IsQueryNumber(text)) {
    const std::string spaced = " \t" + std::string(text) + "\t ";
    FUZZ_CHECK(IsQueryNumber(spaced));
    FUZZ_CHECK(TestCondition(value, QueryGreater, spaced) == greater);
    FUZZ_CHECK(TestCondition(value, QueryLess, spaced) == less);
    const std::optional<double> a = ShortNumber(value);
    const std::optional<double> b = ShortNumber(text);
    if (a && b) {
      FUZZ_CHECK(greater == (*a > *b));
      FUZZ_CHECK(less == (*a < *b));
    }
  }
  for (int op = -2; op <= 8; ++op) (void)TestCondition(value, op, text);
}

bool Meets(const std::vector<std::string>& values, const Condition& condition) {
  const std::string none;
  const std::string& value =
      condition.field >= 0 && static_cast<std::size_t>(condition.field) < values.size()
          ? values[static_cast<std::size_t>(condition.field)]
          : none;
  return TestCondition(value, condition.op, condition.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::MemoryFile list("list");
  static const fuzz::MemoryFile project("project");
  static const bool written = [] {
    project.Write("[Settings]\nMessageFile=/nonexistent/letter.txt\nDBFile=" + list.path() +
                  "\nDBFileType=0\nHelperFile=/nonexistent/project.prh\n");
    return true;
  }();
  (void)written;

  std::string_view bytes = fuzz::AsText(data, size);
  const Condition first = ConditionFrom(TakeLine(bytes));
  const int join = SmallNumber(TakeLine(bytes)) - 1;
  const Condition second = ConditionFrom(TakeLine(bytes));
  CheckOrder(first.text, second.text);
  // A list in UTF-16 or UTF-32 is refused when opened: there is nothing to query.
  if (bytes.size() > 4096 || !WideTextEncoding(bytes.substr(0, 4)).empty()) return 0;
  list.Write(bytes);

  CPostridrDoc document;
  FUZZ_CHECK(document.OnOpenDocument(project.path()));
  FUZZ_CHECK(!document.IsReadOnly());
  document.SelectOnQuery(first.field, first.op, first.text, join, second.field, second.op,
                         second.text);

  // The list's own lines, the header first.
  std::vector<std::string_view> lines;
  for (std::string_view rest = bytes; !rest.empty();) lines.push_back(TakeLine(rest));
  FUZZ_CHECK(document.GetEntryCount() == static_cast<int>(lines.empty() ? 0 : lines.size() - 1));
  const bool asked = first.field >= 0 && first.op >= 0;
  const bool both = second.field >= 0 && second.op >= 0 && (join == QueryJoinAnd || join == QueryJoinOr);
  std::vector<std::string> values;
  for (int i = 0; i < document.GetEntryCount(); ++i) {
    std::string_view line = lines[static_cast<std::size_t>(i) + 1];
    // The splitter takes the line with its line end.
    const std::string withEnd = std::string(line) + (i + 2 < static_cast<int>(lines.size()) ||
                                                             bytes.ends_with('\n')
                                                         ? "\n"
                                                         : "");
    SplitListLine(DBTypeTab, withEnd, values);
    bool meets = asked && Meets(values, first);
    if (asked && both) {
      const bool other = Meets(values, second);
      meets = join == QueryJoinAnd ? meets && other : meets || other;
    }
    FUZZ_CHECK(document.IsEntrySelected(i) == (meets ? 1 : 0));
  }
  return 0;
}
