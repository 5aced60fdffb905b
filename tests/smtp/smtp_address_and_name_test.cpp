#include <string>

#include <gtest/gtest.h>

#include "smtp/envelope_address.h"
#include "smtp/hello_name.h"

namespace postrider {
namespace {

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

TEST(HelloNameTest, KeepsOnlyWhatFitsAValidHeloLine) {
  EXPECT_EQ(MakeHelloName("host.example.com"), "host.example.com");
  EXPECT_EQ(MakeHelloName("bad host\r\nname"), "badhostname");
  EXPECT_EQ(MakeHelloName(std::string(300, 'h')), std::string(255, 'h'));
  EXPECT_EQ(MakeHelloName(""), "localhost");
  EXPECT_EQ(MakeHelloName(" \t"), "localhost");
}

}  // namespace
}  // namespace postrider
