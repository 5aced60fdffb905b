#include "send/attachment_message.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/base64.h"
#include "platform/sha256.h"
#include "send/attachment_check.h"
#include "send/attachment_composition.h"
#include "send/attachment_mime.h"
#include "send/base64_lines.h"
#include "send/content_type.h"
#include "send/mime_reader.h"
#include "support/python_mail_parser.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;

const std::string kHead =
    "To: ann@example.com\r\nFrom: Library <office@example.net>\r\nSubject: Your files\r\n"
    "Date: Tue, 8 Dec 2026 15:57:21 +0000\r\nMessage-ID: <1@example.net>\r\n";

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

AttachmentPath Fixed(const std::string& path) { return FillAttachmentPath(path, {}, {}, ""); }

std::string ParsedAttachmentLine(const std::string& name, const std::string& type,
                                 const std::string& bytes) {
  return name + "\t" + type + "\t" + std::to_string(bytes.size()) + "\t" + Sha256Hex(bytes) + "\n";
}

class AttachmentMessageTest : public ::testing::Test {
 protected:
  std::string Written(const std::string& message) const {
    return folder.Write("message.eml", message);
  }

  TempDir folder;
};

TEST_F(AttachmentMessageTest, PythonReadsEveryFileBackByteForByteWithItsNameAsWritten) {
  const std::string binary = RandomBytes(200 * 1024 + 1, 1);  // every byte value, not whole lines
  const std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n";
  const std::string text = "plain notes\r\n.\r\n-- \r\n";
  const std::string longName =
      "Jahres\xC3\xBC" "bersicht der Mitgliedsbeitr\xC3\xA4ge f\xC3\xBCr das Gesch\xC3\xA4" "ftsjahr "
      "2026 \xE2\x80\x94 Harbour Library \xE2\x82\xAC.bin";
  struct File {
    std::string name;
    std::string bytes;
    std::string type;
  };
  const std::vector<File> files = {
      {"data.bin", binary, "application/octet-stream"},
      {"\xC3\x9C" "bersicht M\xC3\xA4rz.pdf", pdf, "application/pdf"},
      {"notes \"final\" \\ 2.txt", text, "text/plain"},
      {longName, RandomBytes(57 * 3, 2), "application/octet-stream"},
      {"empty", "", "application/octet-stream"},
      {"=?UTF-8?B?ZXZpbC5leGU=?=", text, "text/plain"},  // read as written, not as "evil.exe"
  };
  std::vector<AttachmentPath> paths;
  std::string expected;
  for (const File& file : files) {
    paths.push_back(Fixed(folder.Write(file.name, file.bytes)));
    expected += ParsedAttachmentLine(file.name, file.type, file.bytes);
  }
  AttachmentMessageWriter writer;
  const std::string body = "Dear Ann,\r\n\r\nyour files, with a Gr\xC3\xBC\xC3\x9F.\r\n";
  std::string message;
  ASSERT_TRUE(writer.Write(kHead, body, paths, message).ok());
  const std::string path = Written(message);

  EXPECT_EQ(testing::AttachmentsParsedByPython(path), expected);
  EXPECT_EQ(testing::ParsedByPython(path),
            "Your files\nLibrary <office@example.net>\nann@example.com\n"
            "Dear Ann,||your files, with a Gr\xC3\xBC\xC3\x9F.|");
  // GMime reads the same, as Preview does.
  const MimeMessage read = ReadMimeMessage(message);
  ASSERT_EQ(read.attachments.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(read.attachments[i].name, files[i].name);
    EXPECT_EQ(read.attachments[i].contentType, files[i].type);
    EXPECT_EQ(read.attachments[i].content, files[i].bytes) << files[i].name;
  }
  EXPECT_EQ(read.body, "Dear Ann,\n\nyour files, with a Gr\xC3\xBC\xC3\x9F.\n");
  EXPECT_EQ(read.Header("Subject"), "Your files");

  // Every line within what SMTP allows, base64 lines at 76.
  std::size_t start = 0;
  while (start < message.size()) {
    const std::size_t end = message.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - start, 78u) << message.substr(start, end - start);
    start = end + 2;
  }
}

TEST_F(AttachmentMessageTest, TheTextPartIsThePlainMessagesBodyAsItWouldGo) {
  const AttachmentPath file = Fixed(folder.Write("a.txt", "x"));
  AttachmentMessageWriter writer;
  std::string message;
  ASSERT_TRUE(writer.Write(kHead, "Plain seven-bit text\r\n", {file}, message).ok());
  const std::string opening = "\r\n--" + writer.boundary() + "\r\n";
  // No headers of its own: text/plain in US-ASCII, as a plain message's body.
  EXPECT_NE(message.find(opening + "\r\nPlain seven-bit text\r\n\r\n--"), std::string::npos);
  EXPECT_EQ(message.rfind(kHead + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n boundary=\"" +
                              writer.boundary() + "\"\r\n\r\n",
                          0),
            0u);

  ASSERT_TRUE(writer.Write(kHead, "Caf\xC3\xA9\r\n", {file}, message).ok());
  EXPECT_NE(message.find(opening +
                         "Content-Type: text/plain; charset=UTF-8\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n\r\nCaf=C3=A9\r\n"),
            std::string::npos);
  EXPECT_TRUE(message.ends_with("\r\n--" + writer.boundary() + "--\r\n"));
}

TEST_F(AttachmentMessageTest, ABoundaryInTheLettersOwnTextIsNeverUsed) {
  const AttachmentPath file = Fixed(folder.Write("a.bin", RandomBytes(100, 3)));
  AttachmentMessageWriter writer;
  std::string message;
  ASSERT_TRUE(writer.Write(kHead, "first\r\n", {file}, message).ok());
  const std::string taken = writer.boundary();
  const std::string body = "A quoted message:\r\n--" + taken + "\r\nContent-Type: text/html\r\n\r\n--" +
                           taken + "--\r\n";
  ASSERT_TRUE(writer.Write(kHead, body, {file}, message).ok());
  EXPECT_NE(writer.boundary(), taken);
  EXPECT_EQ(ReadMimeMessage(message).body,
            "A quoted message:\n--" + taken + "\nContent-Type: text/html\n\n--" + taken + "--\n");
  EXPECT_EQ(ReadMimeMessage(message).attachments.size(), 1u);
}

TEST_F(AttachmentMessageTest, AFormattedLetterGoesFirstAsItIsUnderABoundaryItNeverHolds) {
  const AttachmentPath file = Fixed(folder.Write("a.pdf", "%PDF-1.4\n" + RandomBytes(300, 5)));
  AttachmentMessageWriter writer;
  std::string message;
  ASSERT_TRUE(writer.Write(kHead, "first\r\n", {file}, message).ok());
  const std::string taken = writer.boundary();
  // As the composer makes it: the HTML, with a non-ASCII byte, quotes the
  // run's boundary, and the picture is no file of the message.
  const std::string formatted =
      kHead + "Reply-To: office@example.net\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/related; type=\"multipart/alternative\";\r\n"
      " boundary=\"=_r\"\r\n\r\n"
      "--=_r\r\nContent-Type: multipart/alternative; boundary=\"=_a\"\r\n\r\n"
      "--=_a\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nHello\r\n"
      "--=_a\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
      "<p>Caf\xC3\xA9 --" + taken + "</p>\r\n--=_a--\r\n"
      "--=_r\r\nContent-Type: image/gif\r\nContent-ID: <p@x>\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nR0lGODlh\r\n--=_r--\r\n";
  const std::string part = LetterPartOf(formatted);
  EXPECT_EQ(part.rfind("Content-Type: multipart/related; type=\"multipart/alternative\";\r\n"
                       " boundary=\"=_r\"\r\n\r\n--=_r\r\n",
                       0),
            0u);
  EXPECT_EQ(HeadLinesOf(formatted), kHead + "Reply-To: office@example.net\r\n");
  ASSERT_TRUE(writer.WriteAround(HeadLinesOf(formatted), part, {file}, message).ok());
  EXPECT_NE(writer.boundary(), taken);
  EXPECT_NE(message.find("\r\n--" + writer.boundary() + "\r\n" + part + "\r\n--" +
                         writer.boundary() + "\r\n"),
            std::string::npos);
  // Preview lists only the file, never the HTML or the picture.
  const MimeMessage read = ReadMimeMessage(message);
  EXPECT_EQ(read.body, "Hello");
  ASSERT_EQ(read.attachments.size(), 1u);
  EXPECT_EQ(read.attachments[0].name, "a.pdf");
  EXPECT_EQ(testing::MimeOutlineByPython(Written(message)).find("defects"), std::string::npos);
}

TEST_F(AttachmentMessageTest, AFileForEveryoneIsEncodedOnceAndAChangedOrVanishedOneIsRefused) {
  const std::string everyone = folder.Write("programme.pdf", "%PDF-1.4 programme");
  std::filesystem::create_directory(folder.path() + "/own");
  for (int i = 0; i < 3; ++i) folder.Write("own/" + std::to_string(i) + ".txt", "file " + std::to_string(i));
  const std::vector<std::string> fields = {"Number"};
  AttachmentMessageWriter writer;
  std::string message;
  for (int i = 0; i < 3; ++i) {
    const std::vector<AttachmentPath> paths = {
        Fixed(everyone),
        FillAttachmentPath(folder.path() + "/own/[[Number]].txt", fields, {std::to_string(i)}, "")};
    ASSERT_TRUE(writer.Write(kHead, "Hello\r\n", paths, message).ok());
    const MimeMessage read = ReadMimeMessage(message);
    ASSERT_EQ(read.attachments.size(), 2u);
    EXPECT_EQ(read.attachments[0].content, "%PDF-1.4 programme");
    EXPECT_EQ(read.attachments[1].content, "file " + std::to_string(i));
  }
  EXPECT_EQ(writer.figures().filesEncoded, 4u);  // the shared file once, each own file once
  EXPECT_EQ(writer.figures().partsReused, 2u);

  // After a check: the file as checked goes, from the cache after the first
  // message; written over with as many bytes it goes no more, nor does a
  // file the check did not look at, nor one removed.
  const std::string other = folder.Write("other.pdf", "%PDF-1.4 other");
  AttachmentCheck check("[[Attachment:  " + everyone + "]]\nHello\n", {}, {});
  ASSERT_TRUE(check.problems().empty());
  AttachmentMessageWriter afterCheck(std::make_shared<const CheckedFiles>(check.TakeCheckedFiles()));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(afterCheck.Write(kHead, "x", {Fixed(everyone)}, message).ok());
  EXPECT_EQ(afterCheck.figures().partsReused, 1u);
  folder.Write("programme.pdf", "%PDF-1.4 programmf");
  const Status changed = afterCheck.Write(kHead, "x", {Fixed(everyone)}, message);
  EXPECT_EQ(changed.message(), "The attachment \"" + everyone +
                                   "\" cannot be sent: it changed after the check before the run");
  EXPECT_EQ(afterCheck.Write(kHead, "x", {Fixed(other)}, message).message(),
            "The attachment \"" + other + "\" cannot be sent: it was not checked before the run");
  std::filesystem::remove(everyone);
  EXPECT_EQ(afterCheck.Write(kHead, "x", {Fixed(everyone)}, message).message(),
            "The attachment \"" + everyone + "\" cannot be sent: the file does not exist");

  // Without a check (compose, Preview), the file as it is now: the cached
  // part is not the file any more.
  folder.Write("programme.pdf", "new programme");
  ASSERT_TRUE(writer.Write(kHead, "x", {Fixed(everyone)}, message).ok());
  EXPECT_EQ(ReadMimeMessage(message).attachments.at(0).content, "new programme");
  EXPECT_EQ(writer.figures().filesEncoded, 5u);
}

// The largest message the check before the run lets through is built: the
// limit that keeps a message in memory bounded never refuses what the check
// passed, formatted letter and pictures included.
TEST_F(AttachmentMessageTest, AMessageTheCheckPassedUpToTheLimitIsWritten) {
  std::string part = "Content-Type: multipart/related; boundary=\"=_r\"\r\n\r\n--=_r\r\n";
  while (part.size() < 1000 * 1000) part += std::string(76, 'Q') + "\r\n";
  part += "--=_r--\r\n";
  const std::string big = folder.Write("1.bin", "");
  const std::string line = folder.path() + "/[[Number]].bin";
  const AttachmentPath path = FillAttachmentPath(line, {"Number"}, {"1"}, "");
  auto checkWith = [&](std::uint64_t fileSize) {
    std::filesystem::resize_file(big, fileSize);
    auto check = std::make_unique<AttachmentCheck>("[[Attachment:  " + line + "]]\n",
                                                   std::vector<std::string>{"Number"},
                                                   AttachmentCheckOptions{});
    check->CheckEntry(0, "ann@example.com", {"1"}, kHead.size() + part.size());
    return check;
  };
  // The largest file the check lets through with this letter.
  std::uint64_t fits = 0;
  std::uint64_t refused = kMaxMessageWithFiles;
  while (refused - fits > 1) {
    const std::uint64_t middle = fits + (refused - fits) / 2;
    (checkWith(middle)->problems().empty() ? fits : refused) = middle;
  }
  const std::unique_ptr<AttachmentCheck> check = checkWith(fits);
  ASSERT_TRUE(check->problems().empty());
  AttachmentMessageWriter writer(std::make_shared<const CheckedFiles>(check->TakeCheckedFiles()));
  std::string message;
  const Status written = writer.WriteAround(kHead, part, {path}, message);
  EXPECT_TRUE(written.ok()) << written.message();
  EXPECT_LE(message.size(), kMaxMessageWithFiles);
}

TEST(Base64Lines, PiecesMakeTheSameLinesAsTheWholeAndTheSizeIsKnownBeforehand) {
  for (std::size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 114u, 1000u, 57u * 2048u + 7u}) {
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    std::string whole;
    AppendBase64Lines(bytes, whole);
    EXPECT_EQ(whole.size(), Base64LineEncoder::EncodedSize(size));
    std::string unbroken = whole;
    std::erase(unbroken, '\r');
    std::erase(unbroken, '\n');
    EXPECT_EQ(unbroken, Base64(bytes));
    std::string pieces;
    Base64LineEncoder encoder;
    for (std::size_t at = 0; at < size; at += 57 * 3) {
      encoder.Append(std::string_view(bytes).substr(at, 57 * 3), pieces);
    }
    EXPECT_EQ(pieces, whole);
    if (size > 57) {
      EXPECT_EQ(whole.find("\r\n"), 76u);
    }
  }
}

TEST(ContentType, TheContentNotTheNameTellsTheType) {
  EXPECT_EQ(ContentTypeOf("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"), "application/pdf");
  static const char kPng[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0";
  EXPECT_EQ(ContentTypeOf(std::string(kPng, sizeof kPng - 1)), "image/png");
  EXPECT_EQ(ContentTypeOf("Just some words.\n"), "text/plain");
  EXPECT_EQ(ContentTypeOf(""), kUnknownContentType);
  EXPECT_EQ(ContentTypeOf(RandomBytes(4096, 5)), kUnknownContentType);
}

TEST(AttachmentParts, ThePartsSizeIsWhatItsHeadersAndLinesTake) {
  for (const std::string& name :
       std::vector<std::string>{"a.pdf", "M\xC3\xA4rz.pdf", std::string(200, 'x') + "\xC3\xA9"}) {
    std::string part;
    AppendAttachmentPartHeaders(name, "application/pdf", part);
    AppendBase64Lines(RandomBytes(1000, 9), part);
    EXPECT_EQ(part.size(), AttachmentPartSize(name, "application/pdf", 1000)) << name;
  }
}

}  // namespace
}  // namespace postrider
