// The ESMTP capability parser on whatever a server may say after EHLO: it
// never fails, letter case never changes what it finds, the mechanisms it
// keeps are clean words, and reading back the lines it kept gives the same
// capabilities.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "smtp/smtp_capabilities.h"

namespace {

using postrider::ParseEhloReply;
using postrider::SmtpCapabilities;

bool SameFindings(const SmtpCapabilities& a, const SmtpCapabilities& b) {
  return a.extended == b.extended && a.startTls == b.startTls && a.pipelining == b.pipelining &&
         a.eightBitMime == b.eightBitMime && a.smtpUtf8 == b.smtpUtf8 &&
         a.enhancedStatusCodes == b.enhancedStatusCodes && a.size == b.size &&
         a.sizeLimit == b.sizeLimit && a.authMechanisms == b.authMechanisms;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(postrider::fuzz::AsText(data, size));
  const SmtpCapabilities found = ParseEhloReply(text);

  FUZZ_CHECK(found.extended);
  FUZZ_CHECK(found.size || found.sizeLimit == 0);
  FUZZ_CHECK(found.lines.size() <= static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  for (std::size_t i = 0; i < found.authMechanisms.size(); ++i) {
    const std::string& mechanism = found.authMechanisms[i];
    FUZZ_CHECK(!mechanism.empty());
    FUZZ_CHECK(mechanism == Upper(mechanism));
    FUZZ_CHECK(mechanism.find_first_of(" \t\n") == std::string::npos);
    FUZZ_CHECK(std::count(found.authMechanisms.begin(), found.authMechanisms.end(), mechanism) == 1);
  }

  FUZZ_CHECK(SameFindings(ParseEhloReply(Upper(text)), found));

  std::string again = "server.example";
  for (const std::string& line : found.lines) again += "\n" + line;
  const SmtpCapabilities reread = ParseEhloReply(again);
  FUZZ_CHECK(SameFindings(reread, found));
  FUZZ_CHECK(reread.lines == found.lines);
  return 0;
}
