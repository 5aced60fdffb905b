#include "send/mime_encoding.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace postrider {
namespace {

std::string QuotedPrintable(const std::string& text) {
  std::string out;
  AppendQuotedPrintable(text, out);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::string Base64Decode(const std::string& text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<unsigned>(digits.find(c));
    if ((count += 6) >= 8) {
      count -= 8;
      bytes += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return bytes;
}

TEST(TransferEncodingNeed, SevenBitLinesUpTo998BytesGoAsTheyAre) {
  EXPECT_FALSE(NeedsTransferEncoding(""));
  EXPECT_FALSE(NeedsTransferEncoding(std::string(998, 'a') + "\r\n" + std::string(998, 'b')));
  EXPECT_FALSE(NeedsTransferEncoding(std::string(998, 'a') + "\r" + std::string(998, 'b')));
  EXPECT_TRUE(NeedsTransferEncoding(std::string(999, 'a')));
  EXPECT_TRUE(NeedsTransferEncoding("x\n" + std::string(999, 'a') + "\n"));
  EXPECT_TRUE(NeedsTransferEncoding("caf\xC3\xA9"));
  EXPECT_TRUE(NeedsTransferEncoding(std::string("nul\0here", 8)));
}

TEST(Utf8Check, AcceptsOnlyWellFormedUtf8) {
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));           // Latin-1
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xE2\x82z"));
  EXPECT_EQ(CharsetOf("\xC3\xA9"), "UTF-8");
  EXPECT_EQ(CharsetOf("\xE9"), "ISO-8859-1");
}

TEST(QuotedPrintable, EncodesLineBreaksAndBytesAsTheRfcSays) {
  EXPECT_EQ(QuotedPrintable("a\r\nb\nc"), "a\r\nb\r\nc");
  EXPECT_EQ(QuotedPrintable("lone\rcr\r"), "lone=0Dcr=0D");
  EXPECT_EQ(QuotedPrintable("1+1=2 \xC3\xA9~"), "1+1=3D2 =C3=A9~");
  EXPECT_EQ(QuotedPrintable("tail \r\ntab\t\nend "), "tail=20\r\ntab=09\r\nend=20");
  EXPECT_EQ(QuotedPrintable("in the middle \t ok"), "in the middle \t ok");
  EXPECT_EQ(QuotedPrintable(std::string("\0\x7F", 2)), "=00=7F");
  EXPECT_EQ(QuotedPrintable(""), "");
}

TEST(QuotedPrintable, SoftBreaksKeepLinesAt76AndNeverSplitAnEscape) {
  EXPECT_EQ(QuotedPrintable(std::string(76, 'a')), std::string(76, 'a'));
  EXPECT_EQ(QuotedPrintable(std::string(77, 'a')),
            std::string(75, 'a') + "=\r\n" + "aa");
  EXPECT_EQ(QuotedPrintable(std::string(76, 'a') + "\r\n"), std::string(76, 'a') + "\r\n");

  // Nothing but escapes: 25 to a line.
  std::string row;
  for (int i = 0; i < 25; ++i) row += "=FF";
  const std::vector<std::string> escapes = Lines(QuotedPrintable(std::string(3000, '\xFF')));
  ASSERT_EQ(escapes.size(), 120u);
  for (std::size_t i = 0; i + 1 < escapes.size(); ++i) EXPECT_EQ(escapes[i], row + "=");
  EXPECT_EQ(escapes.back(), row);

  for (std::size_t offset = 0; offset < 4; ++offset) {
    std::string text(offset, 'x');
    for (int i = 0; i < 100; ++i) text += "\xC3\xA9 ";
    const std::string encoded = QuotedPrintable(text);
    std::string joined;
    for (const std::string& line : Lines(encoded)) {
      EXPECT_LE(line.size(), 76u);
      ASSERT_FALSE(line.empty());
      if (line.back() == '=') {
        joined += line.substr(0, line.size() - 1);
      } else {
        joined += line;
      }
    }
    std::string expected(offset, 'x');
    for (int i = 0; i < 99; ++i) expected += "=C3=A9 ";
    EXPECT_EQ(joined, expected + "=C3=A9=20");
  }
}

TEST(EncodedWords, SplitsIntoShortWordsOnCharacterBoundaries) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "\xE2\x82\xAC\xC3\xA9";  // 3- and 2-byte characters
  std::string out = "Subject: ";
  AppendEncodedWords(text, "UTF-8", 9, out);
  const std::vector<std::string> lines = Lines(out);
  ASSERT_GT(lines.size(), 2u);
  std::string decoded;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string word = lines[i].substr(i == 0 ? 9 : 1);
    EXPECT_LE(lines[i].size(), 76u);
    EXPECT_LE(word.size(), 75u);
    if (i > 0) {
      EXPECT_EQ(lines[i][0], ' ');
    }
    ASSERT_EQ(word.substr(0, 10), "=?UTF-8?B?");
    ASSERT_EQ(word.substr(word.size() - 2), "?=");
    const std::string piece = Base64Decode(word.substr(10, word.size() - 12));
    EXPECT_TRUE(IsValidUtf8(piece)) << i;
    decoded += piece;
  }
  EXPECT_EQ(decoded, text);
}

TEST(EncodedWords, GivesTheLengthOfTheLastLine) {
  std::string out;
  EXPECT_EQ(AppendEncodedWords("\xE9t\xE9", "ISO-8859-1", 6, out), 6u + 21u);
  EXPECT_EQ(out, "=?ISO-8859-1?B?6XTp?=");
  out.clear();
  EXPECT_EQ(AppendEncodedWords("", "UTF-8", 6, out), 6u);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace postrider
