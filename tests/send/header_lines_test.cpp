#include "send/header_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/python_mail_parser.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

std::string From(const std::string& name, const std::string& address = "sam@example.net") {
  std::string out;
  AppendFromLine(name, address, out);
  return out;
}

std::string Subject(const std::string& subject) {
  std::string out;
  AppendSubjectLine(subject, out);
  return out;
}

std::vector<std::string> Lines(const std::string& header) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = header.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(header.substr(start, end - start));
  }
  EXPECT_EQ(start, header.size()) << "header does not end in CR LF";
  return lines;
}

TEST(FromLine, KeepsAPlainNameAsTypedAndQuotesEveryOtherOne) {
  EXPECT_EQ(From("Sam Sender"), "From: Sam Sender <sam@example.net>\r\n");
  EXPECT_EQ(From("O'Brien-Smith & Co"), "From: O'Brien-Smith & Co <sam@example.net>\r\n");
  EXPECT_EQ(From(""), "From:  <sam@example.net>\r\n");
  // A period, a quote, runs of blanks: readers would show something else.
  EXPECT_EQ(From("A.B. Library"), "From: \"A.B. Library\" <sam@example.net>\r\n");
  EXPECT_EQ(From("Ann \"the Librarian\" Smith"),
            "From: \"Ann \\\"the Librarian\\\" Smith\" <sam@example.net>\r\n");
  EXPECT_EQ(From(" J. R.  Sender "), "From: \" J. R.  Sender \" <sam@example.net>\r\n");
  EXPECT_EQ(From("\"Sender, Sam\" Jr."),
            "From: \"\\\"Sender, Sam\\\" Jr.\" <sam@example.net>\r\n");
}

TEST(FromLine, QuotesNamesThatWouldOtherwiseEndEarly) {
  EXPECT_EQ(From("Sender, Sam"), "From: \"Sender, Sam\" <sam@example.net>\r\n");
  EXPECT_EQ(From("a \"b"), "From: \"a \\\"b\" <sam@example.net>\r\n");
  EXPECT_EQ(From("x@y <z>"), "From: \"x@y <z>\" <sam@example.net>\r\n");
  EXPECT_EQ(From("\"Sam\" (work)"), "From: \"\\\"Sam\\\" (work)\" <sam@example.net>\r\n");
}

TEST(FromLine, EightBitNameBecomesEncodedWordsWithShortLines) {
  EXPECT_EQ(From("J\xC3\xB6rg"), "From: =?UTF-8?B?SsO2cmc=?= <sam@example.net>\r\n");
  EXPECT_EQ(From("J\xF6rg"), "From: =?ISO-8859-1?B?SvZyZw==?= <sam@example.net>\r\n");
  const std::string long_name = std::string(50, 'n') + "\xC3\xA9";
  for (const std::string& line : Lines(From(long_name, std::string(60, 'a') + "@example.net"))) {
    EXPECT_LE(line.size(), 76u);
  }
}

// What a mail program shows: Python's parser reads the name back as typed.
TEST(FromLine, MailProgramsReadTheNameAsTyped) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"A.B. Library", "A.B. Library"},
      {"Ann \"the Librarian\" Smith", "Ann \"the Librarian\" Smith"},
      {" J. R.  Sender ", " J. R.  Sender "},
      {"Sender, Sam <sam@evil.example>", "Sender, Sam <sam@evil.example>"},
      {"back\\slash \"", "back\\slash \""},
      {"J\xC3\xB6rg \"J\xC3\xB6\" M\xC3\xBCller, Caf\xC3\xA9",
       "J\u00f6rg \"J\u00f6\" M\u00fcller, Caf\u00e9"},
      {"J\xF6rg", "J\u00f6rg"},  // not UTF-8: each byte a character
      {"=?UTF-8?B?SGk=?= Ann", "=?UTF-8?B?SGk=?= Ann"},  // not decoded as a word
      {std::string(600, 'a') + " \"" + std::string(600, 'b') + "\"",
       std::string(600, 'a') + " \"" + std::string(600, 'b') + "\""},
      {"", ""},
  };
  testing::TempDir folder;
  for (const auto& [name, shown] : names) {
    std::string message;
    AppendToLine("ann@example.com", message);
    AppendFromLine(name, "sam@example.net", message);
    AppendSubjectLine("Hello", message);
    message += "\r\nBody\r\n";
    const std::string path = folder.Write("message.eml", message);
    EXPECT_EQ(testing::SenderParsedByPython(path), shown + "\nsam@example.net") << message;
  }
}

TEST(SubjectLine, LongLinesAreFoldedAtBlanksOrEncoded) {
  EXPECT_EQ(Subject("Hello [[Name]]"), "Subject: Hello [[Name]]\r\n");
  EXPECT_EQ(Subject(std::string(989, 'x')), "Subject: " + std::string(989, 'x') + "\r\n");

  const std::string words = std::string(600, 'a') + "  " + std::string(600, 'b') + " c";
  const std::vector<std::string> folded = Lines(Subject(words));
  ASSERT_EQ(folded.size(), 2u);
  EXPECT_EQ(folded[0], "Subject: " + std::string(600, 'a'));
  EXPECT_EQ(folded[1], "  " + std::string(600, 'b') + " c");

  const std::vector<std::string> encoded = Lines(Subject(std::string(1200, 'z')));
  EXPECT_GT(encoded.size(), 10u);
  EXPECT_EQ(encoded[0].substr(0, 19), "Subject: =?UTF-8?B?");
  for (const std::string& line : encoded) EXPECT_LE(line.size(), 76u);

  // Trailing blanks alone cannot make a folded line.
  const std::vector<std::string> blanks = Lines(Subject(std::string(990, 'y') + "      "));
  EXPECT_NE(blanks[0].find("=?UTF-8?B?"), std::string::npos);
}

TEST(HeaderLines, LineBreaksInValuesBecomeBlanks) {
  EXPECT_EQ(Subject("a\rb\nc\r\nd"), "Subject: a b c  d\r\n");
  EXPECT_EQ(From("Sam\nBcc: x@y", "s@e.net\r\nX: 1"), "From: \"Sam Bcc: x@y\" <s@e.net  X: 1>\r\n");
  std::string to;
  AppendToLine("a@b.c\nBcc: d@e.f", to);
  EXPECT_EQ(to, "To: a@b.c Bcc: d@e.f\r\n");
  EXPECT_EQ(Lines(Subject("\xC3\xA9\r\nBcc: x")).size(), 1u);

  // No NUL, terminal escape or other control reaches a header; TAB is a blank already.
  EXPECT_EQ(Subject(std::string("a\0b\x1b[31m\x07\x0b\x0c\x7f\tc", 14)),
            "Subject: a b [31m    \tc\r\n");
  EXPECT_EQ(Subject(std::string("\xC3\xA9\0\x1b", 4)), Subject("\xC3\xA9  "));
  EXPECT_EQ(From(std::string("Sam\0\x1b]0;x\x07", 10)), "From: \"Sam  ]0;x \" <sam@example.net>\r\n");
}

TEST(HeaderLines, ToLineKeepsAnEightBitAddressAsItIs) {
  std::string to;
  AppendToLine("j\xC3\xB6rg@example.de", to);
  EXPECT_EQ(to, "To: j\xC3\xB6rg@example.de\r\n");
}

}  // namespace
}  // namespace postrider
