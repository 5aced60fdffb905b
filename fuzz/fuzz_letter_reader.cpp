// The letter reader on any file: what it reads, written and read back, is the
// same letter, and the program's own letters always have their header lines.

#include <algorithm>
#include <cstdint>

#include "fuzz_support.h"
#include "project/message_file.h"

namespace {

// A line break inside a header value is written as a blank, since it would
// end the header line.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = postrider::fuzz::AsText(data, size);
  const postrider::MessageContents first = postrider::ParseMessageFile(bytes);
  FUZZ_CHECK(first.body.size() <= bytes.size());

  const std::string written = postrider::FormatMessageFile(first);
  const postrider::MessageContents again = postrider::ParseMessageFile(written);
  postrider::MessageContents expected = first;
  expected.to = OneLine(expected.to);
  expected.subject = OneLine(expected.subject);
  FUZZ_CHECK(again == expected);
  FUZZ_CHECK(postrider::FormatMessageFile(again) == written);
  // The program's own letters always have their three header lines.
  FUZZ_CHECK(!postrider::MisreadsHeaderLines(written));
  return 0;
}
