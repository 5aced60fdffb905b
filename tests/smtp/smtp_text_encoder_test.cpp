#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "smtp/smtp_text_encoder.h"

namespace postrider {
namespace {

struct Encoded {
  std::vector<std::string> pieces;
  std::string data;  // the pieces joined
  std::string endOfData;
};

Encoded Encode(std::string_view text) {
  Encoded result;
  SmtpTextEncoder encoder(text);
  char piece[SmtpTextEncoder::kMaxPiece];
  while (const std::size_t length = encoder.NextPiece(piece)) {
    result.pieces.emplace_back(piece, length);
    result.data.append(piece, length);
  }
  result.endOfData = std::string(encoder.EndOfData());
  return result;
}

// The pieces a sender with room for `room` bytes at a time gets, joined.
std::string EncodeWithRoom(std::string_view text, std::size_t room) {
  SmtpTextEncoder encoder(text);
  std::string data;
  std::vector<char> piece(room);
  while (const std::size_t length = encoder.NextPiece(piece.data(), room)) {
    EXPECT_LE(length, room);
    data.append(piece.data(), length);
  }
  return data + std::string(encoder.EndOfData());
}

TEST(SmtpTextEncoderTest, DotLineFollowsALineEndWithoutAddingAnEmptyLine) {
  EXPECT_EQ(Encode("Subject: hi\r\n\r\nBody\r\n").data, "Subject: hi\r\n\r\nBody\r\n");
  EXPECT_EQ(Encode("Subject: hi\r\n\r\nBody\r\n").endOfData, ".\r\n");
  EXPECT_EQ(Encode("Subject: hi\r\n\r\nBody").data, "Subject: hi\r\n\r\nBody");
  EXPECT_EQ(Encode("Subject: hi\r\n\r\nBody").endOfData, "\r\n.\r\n");
  EXPECT_EQ(Encode("last\r").endOfData, ".\r\n");
  EXPECT_EQ(Encode("last\n").endOfData, ".\r\n");
  EXPECT_TRUE(Encode("").pieces.empty());
  EXPECT_EQ(Encode("").endOfData, ".\r\n");
}

TEST(SmtpTextEncoderTest, LineEndsBecomeCrLfAndLeadingDotsAreDoubled) {
  EXPECT_EQ(Encode("a\nb\rc\r\nd\n\ne\r\r\n").data, "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n\r\n");
  EXPECT_EQ(Encode(".first\r\n.\r\nin.side\n..two\r.cr").data,
            "..first\r\n..\r\nin.side\r\n...two\r\n..cr");
}

TEST(SmtpTextEncoderTest, Text901BytesLongGoesAsPiecesOf900And1) {
  const Encoded encoded = Encode(std::string(901, 'x'));
  ASSERT_EQ(encoded.pieces.size(), 2u);
  EXPECT_EQ(encoded.pieces[0].size(), 900u);
  EXPECT_EQ(encoded.pieces[1], "x");
}

TEST(SmtpTextEncoderTest, ExpansionAtAPieceBoundaryCarriesOver) {
  const Encoded lineEnd = Encode(std::string(899, 'x') + "\ny");
  ASSERT_EQ(lineEnd.pieces.size(), 2u);
  EXPECT_EQ(lineEnd.pieces[0], std::string(899, 'x') + "\r");
  EXPECT_EQ(lineEnd.pieces[1], "\ny");

  const Encoded dot = Encode(std::string(898, 'x') + "\n.y");
  ASSERT_EQ(dot.pieces.size(), 2u);
  EXPECT_EQ(dot.pieces[0], std::string(898, 'x') + "\r\n");
  EXPECT_EQ(dot.pieces[1], "..y");
}

// The same transformation written the plain way, to compare against.
std::string Reference(std::string_view text) {
  std::string out;
  bool lineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && text[i] == '.') out += '.';
    out += text[i];
    lineStart = false;
  }
  return out;
}

// SIZE's count written the plain way: every line end as CR LF, the last
// line ended, no doubled dots.
std::size_t ReferenceSize(std::string_view text) {
  std::size_t size = 0;
  bool atLineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      size += 2;
      atLineStart = true;
    } else {
      ++size;
      atLineStart = false;
    }
  }
  return atLineStart ? size : size + 2;
}

TEST(SmtpTextEncoderTest, AnyTextIsEncodedWholeInPiecesOfAtMost900Bytes) {
  std::mt19937 random(20240611);
  // Line ends and dots close together, and long lines with few of them.
  const std::string alphabets[] = {"..\r\n\n\rab\xe9", std::string(150, 'x') + ".\r\n\xe9"};
  // And mostly CR LF lines, as a composed message has, some starting with a dot.
  const std::string_view lineEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
  for (int round = 0; round < 600; ++round) {
    std::string text;
    if (round % 3 < 2) {
      const std::string& alphabet = alphabets[round % 3];
      text.assign(random() % 5000, 'a');
      for (char& c : text) c = alphabet[random() % alphabet.size()];
    } else {
      const std::size_t size = random() % 5000;
      while (text.size() < size) {
        if (random() % 4 == 0) text += '.';
        text.append(random() % 120, 'x');
        text += lineEnds[random() % 5];
      }
    }
    const Encoded encoded = Encode(text);
    EXPECT_EQ(encoded.data, Reference(text));
    EXPECT_EQ(SmtpTextEncoder::MessageSize(text), ReferenceSize(text));
    // In one piece, and in pieces cut near every 64-byte block's edges.
    const std::size_t rooms[] = {64 * 1024, 63, 64, 65, 127, 129};
    EXPECT_EQ(EncodeWithRoom(text, rooms[round % 6]), encoded.data + encoded.endOfData);
    for (std::size_t i = 0; i < encoded.pieces.size(); ++i) {
      EXPECT_LE(encoded.pieces[i].size(), 900u);
      if (i + 1 < encoded.pieces.size()) {
        EXPECT_EQ(encoded.pieces[i].size(), 900u);
      }
    }
    const bool endsWithLineEnd =
        encoded.data.empty() || encoded.data.compare(encoded.data.size() - 1, 1, "\n") == 0;
    EXPECT_EQ(encoded.endOfData, endsWithLineEnd ? ".\r\n" : "\r\n.\r\n");
  }
}

TEST(SmtpTextEncoderTest, LinesOfEveryLengthEndWhereTheyEnd) {
  // Runs of plain bytes of every length up to three times 16, before each
  // kind of line end, at every offset, and across a piece boundary.
  for (const std::string_view end : {"\r\n", "\n", "\r", "\r\r\n", ""}) {
    for (std::size_t lead = 0; lead < 17; ++lead) {
      for (std::size_t length = 0; length <= 48; ++length) {
        const std::string text =
            std::string(lead, 'a') + "\n" + std::string(length, 'x') + std::string(end) + ".z";
        EXPECT_EQ(Encode(text).data, Reference(text)) << lead << " " << length;
      }
    }
    for (std::size_t before = 860; before <= 900; ++before) {
      const std::string text = std::string(before, 'x') + std::string(end) + std::string(40, 'y');
      const Encoded encoded = Encode(text);
      EXPECT_EQ(encoded.data, Reference(text)) << before;
      EXPECT_EQ(encoded.pieces.front().size(), std::min<std::size_t>(900, encoded.data.size()));
    }
  }
}

}  // namespace
}  // namespace postrider
