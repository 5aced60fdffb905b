#include "send/mime_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace postrider {
namespace {

std::string Subject(const std::string& value) {
  return ReadMimeMessage("Subject: " + value + "\r\n\r\nx").Header("Subject");
}

TEST(MimeReader, EncodedWordsOfEitherKindAndCharsetAreDecodedAndJoined) {
  // Blanks between two encoded words vanish; those beside plain text stay.
  EXPECT_EQ(Subject("=?UTF-8?B?R3LDvMOfZQ==?= =?UTF-8?Q?_aus_M=C3=BCnchen?= und mehr"),
            "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen und mehr");
  EXPECT_EQ(Subject("=?iso-8859-1?q?Stra=DFe?= 5"), "Stra\xC3\x9F" "e 5");
  // A word glued to plain text is read too, as mail programs do.
  EXPECT_EQ(Subject("Caf=?ISO-8859-1?Q?=E9?="), "Caf\xC3\xA9");
  // What is not a well-formed word stays as it came.
  EXPECT_EQ(Subject("=?UTF-8?X?abc?= =?broken"), "=?UTF-8?X?abc?= =?broken");
  EXPECT_EQ(Subject("50% off =? really"), "50% off =? really");
  // Bytes that are not UTF-8 in a header are shown, never broken.
  EXPECT_EQ(Subject("M\xFCller"), "M\xC3\xBCller");
}

TEST(MimeReader, QuotedPrintableBodyInItsCharsetWithSoftBreaks) {
  const std::string message =
      "To: a@example.com\r\n"
      "Subject: =?UTF-8?B?w4RyZ2Vy?=\r\n"
      " =?UTF-8?B?IG1pdCBkZXIgUG9zdA==?=\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Gr=FC=DFe, a line that is long enough to be bro=\r\n"
      "ken in two.\r\n"
      "Tail=20\r\n"
      "=3D done\r\n";
  const MimeMessage read = ReadMimeMessage(message);
  EXPECT_EQ(read.Header("subject"), "\xC3\x84rger mit der Post");
  EXPECT_EQ(read.Header("To"), "a@example.com");
  EXPECT_EQ(read.Header("Cc"), "");
  EXPECT_EQ(read.body,
            "Gr\xC3\xBC\xC3\x9F" "e, a line that is long enough to be broken in two.\nTail \n= done\n");
  EXPECT_TRUE(read.attachments.empty());
}

TEST(MimeReader, PlainAndBase64BodiesAndBytesThatAreNotUtf8) {
  EXPECT_EQ(ReadMimeMessage("Subject: x\n\nline one\nline two").body, "line one\nline two");
  EXPECT_EQ(ReadMimeMessage("Content-Transfer-Encoding: base64\r\n"
                            "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                            "w6Rw\r\nZmVs\r\n")
                .body,
            "\xC3\xA4pfel");
  // No charset named and not UTF-8: read as Windows-1252, never shown broken.
  EXPECT_EQ(ReadMimeMessage("Subject: x\r\n\r\nM\xFCller \x80\r\n").body, "M\xC3\xBCller \xE2\x82\xAC\n");
  // No empty line: all headers, no body.
  const MimeMessage headersOnly = ReadMimeMessage("From: me@example.com\r\n");
  EXPECT_EQ(headersOnly.Header("From"), "me@example.com");
  EXPECT_EQ(headersOnly.body, "");
}

TEST(MimeReader, FilesOfAMultipartMessageWithTheirNamesTypesAndBytes) {
  const std::string message =
      "Subject: files\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "--b\r\n\r\nThe letter.\r\n"
      "--b\r\nContent-Type: application/pdf; name=\"=?UTF-8?B?w5xiZXJzaWNodC5wZGY=?=\"\r\n"
      "Content-Disposition: attachment; filename*=UTF-8''%C3%9Cbersicht.pdf\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQ=\r\n"
      "--b\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
      "Content-Disposition: attachment; filename=\"notes.txt\"\r\n\r\nkeep\r\n"
      "--b--\r\n";
  const MimeMessage read = ReadMimeMessage(message);
  EXPECT_EQ(read.body, "The letter.");
  ASSERT_EQ(read.attachments.size(), 2u);
  EXPECT_EQ(read.attachments[0].name, "\xC3\x9C" "bersicht.pdf");
  EXPECT_EQ(read.attachments[0].contentType, "application/pdf");
  EXPECT_EQ(read.attachments[0].content, "%PDF-1.4");
  EXPECT_EQ(read.attachments[1].name, "notes.txt");
  EXPECT_EQ(read.attachments[1].content, "keep");
}

}  // namespace
}  // namespace postrider
