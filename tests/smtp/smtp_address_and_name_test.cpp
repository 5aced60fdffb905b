#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "smtp/envelope_address.h"
#include "smtp/hello_name.h"

namespace postrider {
namespace {

std::string PrintableBytes(std::string_view text) {
  std::string shown;
  for (const char c : text) shown += std::to_string(static_cast<unsigned char>(c)) + " ";
  return shown;
}

TEST(EnvelopeAddressTest, OrdinaryAddressesAndTheNullSenderAreSafe) {
  EXPECT_TRUE(IsSafeEnvelopeAddress("someone@example.com"));
  EXPECT_TRUE(IsSafeEnvelopeAddress("\"quoted name\"@example.com"));
  EXPECT_TRUE(IsSafeEnvelopeAddress(""));
  EXPECT_TRUE(IsSafeEnvelopeAddress(std::string(254, 'a')));
}

TEST(EnvelopeAddressTest, AddressesThatCouldInjectCommandsAreUnsafe) {
  EXPECT_FALSE(IsSafeEnvelopeAddress("a@example.com>\r\nRCPT TO:<b@example.com"));
  EXPECT_FALSE(IsSafeEnvelopeAddress("a@example.com\n"));
  EXPECT_FALSE(IsSafeEnvelopeAddress("a@exa\tmple.com"));
  EXPECT_FALSE(IsSafeEnvelopeAddress(std::string("a@example.com\0", 14)));
  EXPECT_FALSE(IsSafeEnvelopeAddress("a\x7f@example.com"));
  EXPECT_FALSE(IsSafeEnvelopeAddress("<a@example.com>"));
  EXPECT_FALSE(IsSafeEnvelopeAddress(std::string(255, 'a')));
}

TEST(EnvelopeAddressTest, ABlankOutsideQuotesIsUnsafe) {
  // MAIL FROM:<s p@example.com> would hand the server "p@example.com>" as a parameter.
  EXPECT_FALSE(IsSafeEnvelopeAddress("s p@example.com"));
  EXPECT_FALSE(IsSafeEnvelopeAddress("sp@example.com "));
  EXPECT_FALSE(IsSafeEnvelopeAddress("\"a b\" c@example.com"));
  EXPECT_FALSE(IsSafeEnvelopeAddress("\"a\\\" b@example.com"));
  EXPECT_TRUE(IsSafeEnvelopeAddress("\"a \\\" b\"@example.com"));
}

// The check as it was written before the table of byte classes: refused
// exactly when it refused.
bool ByteByByteSafe(std::string_view address) {
  if (address.size() > kMaxEnvelopeAddressLength) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '<' || c == '>') return false;
  }
  bool inQuotes = false;
  bool blankInQuotes = false;
  for (std::size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (inQuotes && c == '\\') {
      ++i;
    } else if (c == '"') {
      inQuotes = !inQuotes;
      blankInQuotes = false;
    } else if (c == ' ') {
      if (!inQuotes) return false;
      blankInQuotes = true;
    }
  }
  return !(inQuotes && blankInQuotes);
}

TEST(EnvelopeAddressTest, RefusesExactlyWhatTheByteByByteCheckRefused) {
  // Every string of up to five bytes over the bytes that matter, and each
  // byte value alone and inside an ordinary address.
  const std::string alphabet("a\" \\<>@\x1f\x7f\x80\xff\0\t", 13);
  std::vector<std::string> layer{""};
  for (int length = 0; length <= 5; ++length) {
    std::vector<std::string> next;
    for (const std::string& text : layer) {
      ASSERT_EQ(IsSafeEnvelopeAddress(text), ByteByByteSafe(text)) << PrintableBytes(text);
      const EnvelopeAddressScan scan = ScanEnvelopeAddress(text);
      ASSERT_EQ(scan.safe, ByteByByteSafe(text)) << PrintableBytes(text);
      if (scan.safe) {
        ASSERT_EQ(scan.ascii, std::all_of(text.begin(), text.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x80;
                  })) << PrintableBytes(text);
      }
      if (length < 5) {
        for (const char c : alphabet) next.push_back(text + c);
      }
    }
    layer = std::move(next);
  }
  for (int byte = 0; byte < 256; ++byte) {
    const std::string alone(1, static_cast<char>(byte));
    const std::string inside = "some" + alone + "one@example.com";
    EXPECT_EQ(IsSafeEnvelopeAddress(alone), ByteByByteSafe(alone)) << byte;
    EXPECT_EQ(IsSafeEnvelopeAddress(inside), ByteByByteSafe(inside)) << byte;
  }
  for (const std::size_t length : {253u, 254u, 255u}) {
    const std::string text(length, 'a');
    EXPECT_EQ(IsSafeEnvelopeAddress(text), ByteByByteSafe(text)) << length;
  }
}

TEST(HelloNameTest, KeepsOnlyWhatFitsAValidHeloLine) {
  EXPECT_EQ(MakeHelloName("host.example.com"), "host.example.com");
  EXPECT_EQ(MakeHelloName("bad host\r\nname"), "badhostname");
  EXPECT_EQ(MakeHelloName(std::string(300, 'h')), std::string(255, 'h'));
  EXPECT_EQ(MakeHelloName(""), "localhost");
  EXPECT_EQ(MakeHelloName(" \t"), "localhost");
}

}  // namespace
}  // namespace postrider
