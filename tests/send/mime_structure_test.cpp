#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/formatted_parts.h"
#include "send/letter_pictures.h"
#include "send/mime_structure.h"
#include "support/python_mail_parser.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::MimeOutlineByPython;
using testing::TempDir;

const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02" "D\x01\x00;",
    43);

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 0x0F];
  }
  return hex;
}

class MimeStructureTest : public ::testing::Test {
 protected:
  // The message as a mail program reads it: headers of ours, then the parts.
  std::string Outline(const MessageParts& parts) {
    std::string message = "From: a@x.org\r\nTo: b@x.org\r\nSubject: s\r\n";
    AppendMessageParts(parts, message);
    last = message;
    return MimeOutlineByPython(dir.Write("message.eml", message));
  }

  InlinePicture Picture() {
    Result<InlinePicture> picture = ReadLetterPicture("logo.gif", dir.path());
    EXPECT_TRUE(picture.ok()) << picture.status().message();
    return *picture;
  }

  void SetUp() override { dir.Write("logo.gif", kGif); }

  TempDir dir;
  std::string last;
};

TEST_F(MimeStructureTest, TextThenHtmlInsideRelatedInsideMixed) {
  const InlinePicture picture = Picture();
  const std::string attachment =
      "Content-Type: application/pdf; name=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"a.pdf\"\r\n\r\nJVBERi0=\r\n";
  const std::string_view attachments[] = {attachment};
  MessageParts parts;
  parts.text = "Dear Ann,\r\nsee below.\r\n";
  parts.html = "<p>Dear Ann,</p>\n";
  parts.pictures = {&picture, 1};

  const std::string cid = "cid=<" + picture.contentId + ">";
  EXPECT_EQ(Outline(parts),
            "multipart/related type=multipart/alternative\n"
            "  multipart/alternative\n"
            "    text/plain charset=utf-8 cte=7bit\n"
            "      Dear Ann,\\nsee below.\\n\n"
            "    text/html charset=utf-8 cte=7bit\n"
            "      <p>Dear Ann,</p>\\n\n"
            "  image/gif cte=base64 " + cid + " disposition=inline\n"
            "    " + Hex(kGif) + "\n");

  parts.attachments = attachments;
  EXPECT_EQ(Outline(parts),
            "multipart/mixed\n"
            "  multipart/related type=multipart/alternative\n"
            "    multipart/alternative\n"
            "      text/plain charset=utf-8 cte=7bit\n"
            "        Dear Ann,\\nsee below.\\n\n"
            "      text/html charset=utf-8 cte=7bit\n"
            "        <p>Dear Ann,</p>\\n\n"
            "    image/gif cte=base64 " + cid + " disposition=inline\n"
            "      " + Hex(kGif) + "\n"
            "  application/pdf cte=base64 disposition=attachment\n"
            "    255044462d\n");

  parts.pictures = {};
  EXPECT_EQ(Outline(parts),
            "multipart/mixed\n"
            "  multipart/alternative\n"
            "    text/plain charset=utf-8 cte=7bit\n"
            "      Dear Ann,\\nsee below.\\n\n"
            "    text/html charset=utf-8 cte=7bit\n"
            "      <p>Dear Ann,</p>\\n\n"
            "  application/pdf cte=base64 disposition=attachment\n"
            "    255044462d\n");
  EXPECT_EQ(last.find("MIME-Version: 1.0\r\nContent-Type: multipart/mixed; "), last.find("MIME"));
}

TEST_F(MimeStructureTest, PartsTheBodyWouldEncodeAreQuotedPrintableAndComeBackWhole) {
  MessageParts parts;
  const std::string longLine(1200, 'x');
  const struct {
    std::string text;
    std::string charset;
  } cases[] = {
      {"Grüße aus Köln\r\n", "utf-8"},
      {"Gr\xFC\xDF" "e\r\n", "iso-8859-1"},
      {"a line of " + longLine + "\r\n", "utf-8"},
      {"= signs =3D and trailing blanks   \r\n", "utf-8"},
  };
  const std::string html = "<p>Grüße " + longLine + "</p>";
  for (const auto& c : cases) {
    parts.text = c.text;
    parts.html = html;
    const std::string outline = Outline(parts);
    SCOPED_TRACE(outline);
    const bool plain = c.text.find("signs") != std::string::npos;
    EXPECT_NE(outline.find("text/plain charset=" + c.charset + " cte=" +
                           (plain ? "7bit" : "quoted-printable")),
              std::string::npos);
    EXPECT_NE(outline.find("text/html charset=utf-8 cte=quoted-printable\n    <p>Grüße " +
                           longLine + "</p>\n"),
              std::string::npos);
  }
}

TEST_F(MimeStructureTest, ABoundaryNeverOccursInWhatItEncloses) {
  MessageParts parts;
  // A list value can hold anything, the boundaries it could guess included.
  const std::string hostile =
      "--=_Postrider_alternative_0\r\nContent-Type: text/html\r\n\r\n<p>forged</p>\r\n"
      "--=_Postrider_alternative_0--\r\n=_Postrider_alternative_1 =_Postrider_related_0\r\n";
  const std::string html = "<p>" + hostile + "</p>";
  parts.text = hostile;
  parts.html = html;
  const InlinePicture picture = Picture();
  parts.pictures = {&picture, 1};
  const std::string outline = Outline(parts);
  EXPECT_EQ(outline.find("defects"), std::string::npos) << outline;
  EXPECT_NE(outline.find("  multipart/alternative\n    text/plain charset=utf-8 cte=7bit\n      "
                         "--=_Postrider_alternative_0\\nContent-Type"),
            std::string::npos)
      << outline;
  EXPECT_NE(last.find("boundary=\"=_Postrider_alternative_2\""), std::string::npos);
  EXPECT_NE(last.find("boundary=\"=_Postrider_related_1\""), std::string::npos);
}

TEST_F(MimeStructureTest, PreviewReadsBackTheHtmlTheTextAndThePictures) {
  const InlinePicture picture = Picture();
  const std::string html = "<p>Grüße, " + std::string(1200, 'x') + "</p>\n";
  const std::string attachment =
      "Content-Type: image/png; name=\"a.png\"\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"a.png\"\r\n\r\nJVBERi0=\r\n";
  const std::string_view attachments[] = {attachment};
  MessageParts parts;
  parts.text = "Gr\xFC\xDF" "e\r\n";
  parts.html = html;
  parts.pictures = {&picture, 1};
  parts.attachments = attachments;
  std::string message = "From: a@x.org\r\nTo: b@x.org\r\nSubject: s\r\n";
  AppendMessageParts(parts, message);
  const FormattedParts read = ReadFormattedParts(message);
  EXPECT_EQ(read.html, html);
  EXPECT_EQ(read.text, "Grüße\n");
  ASSERT_EQ(read.pictures.size(), 1u);  // the attached file is no picture of the letter
  EXPECT_EQ(read.pictures.at(picture.contentId), kGif);

  EXPECT_TRUE(ReadFormattedParts("Subject: plain\r\n\r\nHello\r\n").html.empty());
}

TEST_F(MimeStructureTest, WithoutHtmlTheTextPartStandsAlone) {
  MessageParts parts;
  parts.text = "Hello\r\n";
  std::string message;
  AppendMessageParts(parts, message);
  EXPECT_EQ(message,
            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: 7bit\r\n\r\nHello\r\n");
}

}  // namespace
}  // namespace postrider
