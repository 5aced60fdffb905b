#include "project/open_checks.h"

#include "project/entry_number.h"
#include "project/list_source_type.h"

namespace postrider {

namespace {

std::string Column(int index) {
  if (index < 0) return "field " + std::to_string(index);
  return "column " + std::to_string(static_cast<long long>(index) + 1);
}

}  // namespace

EmailFieldCheck CheckEmailField(const std::string& storedName, int storedIndex,
                                const std::vector<std::string>& fieldNames) {
  const int fieldCount = static_cast<int>(fieldNames.size());
  std::vector<int> sameName;
  for (int k = 0; k < fieldCount && !storedName.empty(); ++k) {
    if (fieldNames[static_cast<std::size_t>(k)] == storedName) sameName.push_back(k);
  }
  // Of two columns of one name (a work and a home address), the one chosen
  // stays chosen; where neither is at its place, neither is guessed at.
  for (const int k : sameName) {
    if (k == storedIndex) return {k, {}};
  }
  if (sameName.size() == 1 || (!sameName.empty() && storedIndex < 0)) {
    const int k = sameName.front();
    if (storedIndex < 0) return {k, {}};
    return {k, "The email field \"" + storedName + "\" is " + Column(k) +
                   " of the mailing list; the project had " + Column(storedIndex) +
                   ". Addresses are taken from \"" + storedName + "\"."};
  }
  if (sameName.size() > 1) {
    std::string columns;
    for (std::size_t n = 0; n < sameName.size(); ++n) {
      columns += (n == 0 ? "" : n + 1 == sameName.size() ? " and " : ", ") + Column(sameName[n]);
    }
    return {-1, "The mailing list has " + std::to_string(sameName.size()) + " columns named \"" +
                    storedName + "\" (" + columns + "), and the project's email field was " +
                    Column(storedIndex) + "; choose the email field before sending."};
  }
  if (storedIndex >= -1 && storedIndex < fieldCount) return {storedIndex, {}};  // -1: none chosen
  std::string named = storedName.empty() ? std::string() : " (\"" + storedName + "\")";
  return {-1, "The project's email field, " + Column(storedIndex) + named +
                  ", is not in the mailing list, which has " + std::to_string(fieldCount) +
                  (fieldCount == 1 ? " column" : " columns") +
                  "; choose the email field before sending."};
}

std::string CheckLastIndexSent(int lastIndexSent, int entryCount) {
  if (lastIndexSent <= 0 || lastIndexSent < entryCount) return {};
  return "The project's last send stopped at entry " + EntryNumberText(lastIndexSent) +
         ", but the mailing list has " + std::to_string(entryCount) +
         (entryCount == 1 ? " entry" : " entries") + "; the next send starts from the first entry.";
}

std::string WhyTheListHasNoEntries(const std::string& path, const ListHeader& header) {
  const std::string list = "The mailing list " + path;
  const std::string none = ", so the project has no entries.";
  if (header.lineLength == 0) return list + " is empty" + none;
  if (header.hasNulByte && !header.hasLineEnd) {
    return list + " holds NUL bytes and no line end: it is not a text list" + none;
  }
  if (header.hasLoneCr && !header.hasLineEnd) {
    return list +
           " ends its lines with CR alone (an old Mac format), so all of it is read as "
           "the header line and the project has no entries. Save it with LF or CR LF "
           "line ends.";
  }
  return list + " has a header line but no records" + none;
}

std::string UnreadableListTypeNotice(int listSourceType) {
  if (IsTextListType(listSourceType)) return {};
  return "The project's mailing list is of type " + std::to_string(listSourceType) +
         (listSourceType == DBTypeODBC ? " (ODBC)" : "") +
         ", which Postrider cannot read, so the project has no entries.";
}

std::string BrokenValuesNotice(const std::vector<int>& entries) {
  if (entries.empty()) return {};
  // Runs of neighbouring entries, the first few named: a stray quote can
  // leave every entry after it inside quotes.
  constexpr std::size_t kRunsNamed = 8;
  std::vector<std::string> runs;
  std::size_t runCount = 0;
  for (std::size_t i = 0; i < entries.size();) {
    std::size_t last = i;
    while (last + 1 < entries.size() && entries[last + 1] == entries[last] + 1) ++last;
    if (++runCount <= kRunsNamed) {
      runs.push_back(EntryNumberText(entries[i]) +
                     (last > i ? " to " + EntryNumberText(entries[last]) : std::string()));
    }
    i = last + 1;
  }
  std::string named;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (i > 0) named += (i + 1 == runs.size() && runCount == runs.size()) ? " and " : ", ";
    named += runs[i];
  }
  if (runCount > runs.size()) named += " and " + std::to_string(runCount - runs.size()) + " more";
  const bool one = entries.size() == 1;
  return std::string("A value with a line break cannot be read: ") +
         (one ? "entry " : "entries ") + named + " of the mailing list " +
         (one ? "is part of such a value" : "are parts of such values") +
         " (a quoted value that goes on to the next line), so " + (one ? "it is" : "they are") +
         " not sent. Save the list without line breaks in cells.";
}

std::string LetterHeaderNotice(const std::string& path) {
  return "The letter " + path +
         " does not start with To:, From: and Subject: lines; its first lines are read as headers.";
}

}  // namespace postrider
