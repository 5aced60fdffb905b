// The mailing-list reader on any file but one in UTF-16 or UTF-32 (refused),
// as a tab and as a comma list: the header gives at most 25 names and counts
// the rest, every record line is one entry, and every entry reads, in any
// order, as its own line split alone; a comma list names the entries whose
// lines end or start inside quotes.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "project/list_line_splitter.h"
#include "project/mailing_list.h"
#include "project/open_checks.h"

namespace {

using namespace postrider;

// The file's lines, each with its LF; a last line without one still counts.
std::vector<std::string_view> Lines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    const std::size_t length = newline == std::string_view::npos ? bytes.size() : newline + 1;
    lines.push_back(bytes.substr(0, length));
    bytes.remove_prefix(length);
  }
  return lines;
}

void CheckList(const fuzz::MemoryFile& file, std::string_view bytes, int type) {
  const std::vector<std::string_view> lines = Lines(bytes);
  MailingList list;
  // A file in UTF-16 or UTF-32 is refused; every other one opens.
  const bool wide = !WideTextEncoding(bytes.substr(0, 4)).empty();
  FUZZ_CHECK(list.Open(file.path(), type).ok() == !wide);
  if (wide) return;

  const ListHeader& header = list.header();
  if (lines.empty()) {
    FUZZ_CHECK(header.fieldNames.empty() && header.fieldsInFile == 0);
  } else {
    std::string_view first = lines.front();
    if (first.starts_with("\xEF\xBB\xBF")) first.remove_prefix(3);
    std::vector<std::string> all;
    SplitListLine(type, first, all, static_cast<std::size_t>(-1));
    FUZZ_CHECK(header.fieldsInFile == static_cast<int>(all.size()));
    FUZZ_CHECK(header.fieldNames.size() <= static_cast<std::size_t>(kMaxListFields));
    // Names come from the header's first 64 KiB; the rest is only counted.
    if (all.size() > static_cast<std::size_t>(kMaxListFields)) all.resize(kMaxListFields);
    if (lines.front().size() <= 64 * 1024) FUZZ_CHECK(header.fieldNames == all);
    FUZZ_CHECK(header.hasLineEnd == lines.front().ends_with('\n'));
    FUZZ_CHECK(header.lineLength == static_cast<std::int64_t>(lines.front().size()));
  }
  if (list.entryCount() == 0) FUZZ_CHECK(!WhyTheListHasNoEntries(file.path(), header).empty());

  const std::size_t records = lines.empty() ? 0 : lines.size() - 1;
  FUZZ_CHECK(list.recordLinesInFile() == static_cast<std::int64_t>(records));
  FUZZ_CHECK(list.entryCount() == static_cast<int>(std::min<std::size_t>(records, 32000)));

  // Quotes followed a line at a time, each fed in two pieces, from the header
  // on, name the same entries as the indexing pass does.
  std::vector<int> broken;
  if (type == DBTypeComma) {
    CommaQuoteState quotes;
    bool startsInQuotes = false;
    for (std::size_t k = 0; k < lines.size() && k <= 32000; ++k) {
      std::string_view line = lines[k];
      if (line.ends_with('\n')) line.remove_suffix(1);
      const std::size_t cut = line.size() / 3;
      quotes.Feed(line.substr(0, cut));
      quotes.Feed(line.substr(cut));
      const bool endsInQuotes = quotes.EndLine();
      if (k > 0 && (startsInQuotes || endsInQuotes)) broken.push_back(static_cast<int>(k) - 1);
      startsInQuotes = endsInQuotes;
    }
  }
  FUZZ_CHECK(list.entriesInBrokenValues() == broken);

  std::vector<std::string> values;
  std::vector<std::string> expected;
  std::vector<std::string> scratch;
  for (int i = 0; i < list.entryCount(); ++i) {
    FUZZ_CHECK(list.ReadRecord(i, values));
    SplitListLine(type, lines[static_cast<std::size_t>(i) + 1], expected);
    FUZZ_CHECK(values == expected);
    FUZZ_CHECK(values.size() <= static_cast<std::size_t>(kMaxListFields));
    // One value alone (a TAB list's own walk) is the value of the whole split.
    for (std::size_t field = 0; field < static_cast<std::size_t>(kMaxListFields); ++field) {
      const std::string_view value = list.ReadValue(i, field, scratch);
      FUZZ_CHECK(value == (field < expected.size() ? std::string_view(expected[field]) : ""));
    }
  }
  // Jumping back reads through another path than reading on.
  for (int i = list.entryCount() - 1; i >= 0; i -= 3) {
    FUZZ_CHECK(list.ReadRecord(i, values));
    SplitListLine(type, lines[static_cast<std::size_t>(i) + 1], expected);
    FUZZ_CHECK(values == expected);
  }
  FUZZ_CHECK(!list.ReadRecord(list.entryCount(), values));
  FUZZ_CHECK(!list.ReadRecord(-1, values));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::MemoryFile file("list");
  const std::string_view bytes = fuzz::AsText(data, size);
  file.Write(bytes);
  CheckList(file, bytes, DBTypeTab);
  CheckList(file, bytes, DBTypeComma);
  return 0;
}
