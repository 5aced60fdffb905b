#include "project/list_line_splitter.h"

#include <cstring>

#include "project/list_source_type.h"

namespace postrider {

namespace {

// Appends values, reusing strings left over from an earlier line.
class ValueSink {
 public:
  ValueSink(std::vector<std::string>& values, std::size_t maxValues)
      : values_(values), maxValues_(maxValues) {}
  ~ValueSink() { values_.resize(count_); }
  ValueSink(const ValueSink&) = delete;
  ValueSink& operator=(const ValueSink&) = delete;

  bool full() const { return count_ >= maxValues_; }
  void Add(std::string_view value) {
    if (full()) return;
    if (count_ < values_.size()) {
      // clear and append, not assign: no check for a value inside the string
      std::string& kept = values_[count_];
      kept.clear();
      kept.append(value);
    } else {
      values_.emplace_back(value);
    }
    ++count_;
  }

 private:
  std::vector<std::string>& values_;
  std::size_t maxValues_;
  std::size_t count_ = 0;
};

// The line without its line end, and whether it had one.
std::string_view LineContent(std::string_view line, bool& hadLineEnd) {
  hadLineEnd = !line.empty() && line.back() == '\n';
  if (hadLineEnd) {
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  }
  return line;
}

// The first TAB in [start, end), or null.
const char* NextTab(const char* start, const char* end) {
  if (start == end) return nullptr;
  return static_cast<const char*>(std::memchr(start, '\t', static_cast<std::size_t>(end - start)));
}

}  // namespace

void SplitTabLine(std::string_view line, std::vector<std::string>& values, std::size_t maxValues) {
  ValueSink sink(values, maxValues);
  bool hadLineEnd = false;
  const std::string_view content = LineContent(line, hadLineEnd);
  const char* start = content.data();
  const char* const end = start + content.size();
  while (!sink.full()) {
    const char* const tab = NextTab(start, end);
    const char* const pieceEnd = tab != nullptr ? tab : end;
    std::string_view piece(start, static_cast<std::size_t>(pieceEnd - start));
    // One quote is dropped at each end; quotes do not protect a TAB.
    if (!piece.empty() && piece.front() == '"') piece.remove_prefix(1);
    if (!piece.empty() && piece.back() == '"') piece.remove_suffix(1);
    sink.Add(piece);
    if (tab == nullptr) break;
    start = tab + 1;
  }
}

std::string_view TabLineValue(std::string_view line, std::size_t field) {
  bool hadLineEnd = false;
  const std::string_view content = LineContent(line, hadLineEnd);
  const char* start = content.data();
  const char* const end = start + content.size();
  for (std::size_t i = 0; i < field; ++i) {
    const char* const tab = NextTab(start, end);
    if (tab == nullptr) return {};
    start = tab + 1;
  }
  const char* const tab = NextTab(start, end);
  std::string_view piece(start, static_cast<std::size_t>((tab != nullptr ? tab : end) - start));
  if (!piece.empty() && piece.front() == '"') piece.remove_prefix(1);
  if (!piece.empty() && piece.back() == '"') piece.remove_suffix(1);
  return piece;
}

void SplitCommaLine(std::string_view line, std::vector<std::string>& values,
                    std::size_t maxValues, CommaQuotes quotes) {
  ValueSink sink(values, maxValues);
  bool hadLineEnd = false;
  const std::string_view content = LineContent(line, hadLineEnd);
  std::size_t valueStart = 0;  // start of the unquoted run being collected
  std::string collected;
  bool inQuotes = false;
  bool lineEndSwallowed = false;
  for (std::size_t i = 0; i < content.size() && !sink.full(); ++i) {
    const char c = content[i];
    if (inQuotes) {
      if (c == '"' && quotes == CommaQuotes::kDoubledIsOne && i + 1 < content.size() &&
          content[i + 1] == '"') {
        // Two quotes in a row are one quote of the value, as a spreadsheet
        // writes `Bo "B" Berg`: read as a close, the row's values would shift.
        collected.append(content.substr(valueStart, i + 1 - valueStart));
        ++i;
        valueStart = i + 1;
      } else if (c == '"') {
        // A closing quote ends the value and swallows the character after it,
        // normally the comma.
        collected.append(content.substr(valueStart, i - valueStart));
        sink.Add(collected);
        collected.clear();
        inQuotes = false;
        lineEndSwallowed = (i + 1 == content.size());
        ++i;
        valueStart = i + 1;
      }
    } else if (c == '"') {
      collected.append(content.substr(valueStart, i - valueStart));
      inQuotes = true;
      valueStart = i + 1;
    } else if (c == ',') {
      collected.append(content.substr(valueStart, i - valueStart));
      sink.Add(collected);
      collected.clear();
      valueStart = i + 1;
    }
  }
  if (valueStart < content.size()) collected.append(content.substr(valueStart));
  // The line end counts as a collected character, so "a,\n" ends in an empty
  // value while "a," at the end of the file does not.
  if (!collected.empty() || (hadLineEnd && !lineEndSwallowed)) sink.Add(collected);
}

void CommaQuoteState::Feed(std::string_view piece) {
  const char* at = piece.data();
  const char* const end = at + piece.size();
  if (quoteWaiting_ && at < end) {
    // A second quote is one quote of the value; anything else followed a
    // closing quote and is swallowed with it, and a new value starts.
    quoteWaiting_ = false;
    if (*at != '"') {
      inQuotes_ = false;
      valueStart_ = true;
    }
    ++at;
  }
  while (at < end) {
    const auto* quote =
        static_cast<const char*>(std::memchr(at, '"', static_cast<std::size_t>(end - at)));
    if (!inQuotes_ && (quote == nullptr ? end : quote) > at) {
      // Only the last character before the quote (or the piece's end) tells
      // whether a value starts there: outside quotes, only a comma ends one.
      valueStart_ = (quote == nullptr ? end : quote)[-1] == ',';
    }
    if (quote == nullptr) return;
    at = quote + 1;
    if (!inQuotes_) {
      inQuotes_ = true;
      quoteBeganValue_ = valueStart_;
    } else if (at == end) {
      quoteWaiting_ = true;
    } else {
      if (*at != '"') {
        inQuotes_ = false;
        valueStart_ = true;
      }
      ++at;
    }
  }
}

bool CommaQuoteState::EndLine() {
  // A quote inside quotes as the line's last character closes the value (a
  // CR before the LF was swallowed by it, or by nothing: the same end).
  if (quoteWaiting_) inQuotes_ = false;
  quoteWaiting_ = false;
  // A quote inside an unquoted value (5" disk) is no spreadsheet's: the line
  // reads as it always has, and the next one starts outside quotes.
  if (!quoteBeganValue_) inQuotes_ = false;
  valueStart_ = true;
  return inQuotes_;
}

void SplitListLine(int listSourceType, std::string_view line, std::vector<std::string>& values,
                   std::size_t maxValues) {
  if (listSourceType == DBTypeTab) {
    SplitTabLine(line, values, maxValues);
  } else if (listSourceType == DBTypeComma) {
    SplitCommaLine(line, values, maxValues);
  } else {
    values.clear();
  }
}

}  // namespace postrider
