#include <gtest/gtest.h>

#include "platform/base64.h"
#include "platform/utf8_text.h"

namespace postrider {
namespace {

TEST(Utf8TextTest, ValidUtf8StaysAndAnythingElseIsReadAsWindows1252) {
  EXPECT_EQ(AsUtf8("plain"), "plain");
  EXPECT_EQ(AsUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(AsUtf8("caf\xE9"), "caf\xC3\xA9");                     // Latin-1
  EXPECT_EQ(AsUtf8("\x80 \x93quoted\x94"), "\xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D");
  EXPECT_EQ(AsUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
  EXPECT_EQ(AsUtf8("\xFF"), "\xC3\xBF");
  // One byte that breaks UTF-8 makes the whole piece Windows-1252.
  EXPECT_EQ(AsUtf8("\xC3\xA9 and \xE9"), "\xC3\x83\xC2\xA9 and \xC3\xA9");
  EXPECT_TRUE(IsValidUtf8(AsUtf8(std::string("\x00\x7F\x80\xFF", 4))));
}

TEST(Utf8TextTest, WideTextTakesItsByteOrderFromTheMarkAndMarksWhatNamesNoCharacter) {
  using namespace std::string_literals;
  const struct {
    std::string wide;
    const char* encoding;
    std::string utf8;
  } cases[] = {
      {"\xFF\xFEH\0\xE9\0"s, "UTF-16", "H\xC3\xA9"},
      {"\xFE\xFF\0H\0\xE9"s, "UTF-16", "H\xC3\xA9"},
      {"\xFF\xFE\x3D\xD8\x00\xDE"s, "UTF-16", "\xF0\x9F\x98\x80"},  // a surrogate pair
      {"\xFF\xFE\x3D\xD8H\0"s, "UTF-16", "\xEF\xBF\xBDH"},          // a lone surrogate
      {"\xFF\xFEH\0\xE9"s, "UTF-16", "H\xEF\xBF\xBD"},               // cut inside a unit
      {"\xFF\xFE\0\0H\0\0\0"s, "UTF-32", "H"},
      {"\0\0\xFE\xFF\0\x11\0\0\0\0\0H"s, "UTF-32", "\xEF\xBF\xBDH"},  // past U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8FromWide(c.wide, c.encoding), c.utf8) << c.utf8;
  const std::string many = "\xFF\xFE"s + [] {
    std::string units;
    for (int i = 0; i < 5000; ++i) units += "\xE9\0"s;
    return units;
  }();
  EXPECT_EQ(Utf8FromWide(many, "UTF-16").size(), 10000u);  // past one conversion buffer
}

// Short list values and long letters are checked a word at a time: a byte
// beyond ASCII is seen at every position of every length around a word.
TEST(Utf8TextTest, AByteBeyondAsciiCountsWhereverItStands) {
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      std::string latin1(length, 'a');
      latin1[at] = '\xE9';
      EXPECT_FALSE(IsValidUtf8(latin1)) << length << " " << at;
      EXPECT_EQ(AsUtf8(latin1).size(), length + 1) << length << " " << at;
      if (at + 1 < length) {
        std::string utf8 = latin1;
        utf8.replace(at, 2, "\xC3\xA9");
        EXPECT_TRUE(IsValidUtf8(utf8)) << length << " " << at;
        utf8.resize(at + 1);  // cut inside the character
        EXPECT_FALSE(IsValidUtf8(utf8)) << length << " " << at;
      }
    }
    EXPECT_TRUE(IsValidUtf8(std::string(length, 'a'))) << length;
  }
}

TEST(Base64Test, EncodesAsRfc4648Says) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64(std::string("\0\xFF", 2)), "AP8=");
}

}  // namespace
}  // namespace postrider
