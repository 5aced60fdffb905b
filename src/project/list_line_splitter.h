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
// Value `field` of a TAB line as SplitTabLine gives it, without copying:
// empty when the line has fewer values.
std::string_view TabLineValue(std::string_view line, std::size_t field);

}  // namespace postrider
