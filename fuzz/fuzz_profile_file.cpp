// The INI layer on any text: writing one key and reading the file back
// leaves every other key as it was and gives the written value exactly, and
// a file read and written without a change stays the same from then on.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile_file.h"

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Every name the text might hold as a section or a key; more is harmless.
void CollectNames(std::string_view text, std::vector<std::string>& sections,
                  std::vector<std::string>& keys) {
  while (!text.empty() && sections.size() < 40 && keys.size() < 40) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = Trim(line);
    if (line.starts_with('[')) {
      sections.emplace_back(line.substr(1, line.find(']') - 1));
    } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      keys.emplace_back(line.substr(0, equals));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(24);
  const std::string key = input.ConsumeRandomLengthString(24);
  const std::string value = input.ConsumeRandomLengthString(64);
  const std::string text = input.ConsumeRemainingBytesAsString();

  const postrider::ProfileFile before = postrider::ProfileFile::FromText(text);
  const std::string once = before.Text();
  FUZZ_CHECK(postrider::ProfileFile::FromText(once).Text() == once);

  postrider::ProfileFile changed = before;
  const postrider::Status status = changed.SetString(section, key, value);
  const postrider::ProfileFile reread = postrider::ProfileFile::FromText(changed.Text());
  if (!status) {
    FUZZ_CHECK(changed.Text() == once);
  } else {
    FUZZ_CHECK(reread.Find(section, key) == value);
  }

  std::vector<std::string> sections = {section, "Settings"};
  std::vector<std::string> keys = {key};
  CollectNames(text, sections, keys);
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      if (SameName(s, section) && SameName(k, key)) continue;
      FUZZ_CHECK(reread.Find(s, k) == before.Find(s, k));
    }
  }
  return 0;
}
