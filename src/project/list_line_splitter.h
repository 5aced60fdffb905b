#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "project/list_source_type.h"

namespace postrider {

// Splits one list line into at most 25 values by the rule of the list's kind.
// The line may end in LF or CR LF (read as a text-mode read gives it: the CR
// never reaches a value) or in nothing at the end of the file.
// The vector is reused: its strings keep their capacity from call to call.
// maxValues bounds the values kept; the header is split without a bound so
// that the user can be told about fields that were left out.
void SplitTabLine(std::string_view line, std::vector<std::string>& values,
                  std::size_t maxValues = kMaxListFields);
// How a quote doubled inside quotes reads: one quote of the value, or (as
// older programs read it) a closing quote that swallows the second.
enum class CommaQuotes { kDoubledIsOne, kDoubledCloses };
void SplitCommaLine(std::string_view line, std::vector<std::string>& values,
                    std::size_t maxValues = kMaxListFields,
                    CommaQuotes quotes = CommaQuotes::kDoubledIsOne);
void SplitListLine(int listSourceType, std::string_view line, std::vector<std::string>& values,
                   std::size_t maxValues = kMaxListFields);
// Follows a comma list's quotes from one line to the next by SplitCommaLine's
// rules. A spreadsheet writes a value with a line break as quotes spanning
// lines; each line is still an entry of its own, so a line that ends inside
// a quoted value, or starts inside one, is a broken part of such a value. A
// value is quoted when a quote is its first character: one opened later in
// a value never spans lines.
class CommaQuoteState {
 public:
  // A piece of the current line, without its LF; a line may come in pieces.
  // Only quotes cost a look: a piece without one is one memchr.
  void Feed(std::string_view piece);
  // Ends the line; true when it ended inside a quoted value, so the next
  // line starts inside it.
  bool EndLine();
  bool inQuotes() const { return inQuotes_; }

 private:
  bool inQuotes_ = false;
  bool quoteWaiting_ = false;  // a quote inside quotes, waiting for the next character
  bool valueStart_ = true;     // outside quotes: the next character starts a value
  // Inside quotes: the opening quote was its value's first character.
  bool quoteBeganValue_ = false;
};

// Value `field` of a TAB line as SplitTabLine gives it, without copying:
// empty when the line has fewer values.
std::string_view TabLineValue(std::string_view line, std::size_t field);

}  // namespace postrider
