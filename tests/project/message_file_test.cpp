#include "project/message_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace postrider {
namespace {

using namespace std::string_literals;
using testing::TempDir;

TEST(MessageFile, WhatIsWrittenReadsBackTheSameByteForByte) {
  TempDir dir;
  const MessageContents message{"list@x.org", "Spring \xE9vents",
                                "Dear [[Name]],\r\n\r\nTabs\tNUL\0 and Latin-1 \xE9.\r\nno end"s};
  ASSERT_TRUE(WriteMessageFile(dir.File("m.txt"), message));
  Result<MessageContents> read = ReadMessageFile(dir.File("m.txt"));
  ASSERT_TRUE(read.ok()) << read.status().message();
  EXPECT_EQ(*read, message);
}

TEST(MessageFile, ANewMessageIsThreeHeaderLinesAndReadsBackEmpty) {
  const std::string bytes = FormatMessageFile({});
  EXPECT_EQ(bytes, "To: \nFrom:  \nSubject: \n");
  EXPECT_EQ(ParseMessageFile(bytes), MessageContents{});
}

TEST(MessageFile, WithoutACaseExactToLineTheWholeFileIsBody) {
  EXPECT_EQ(ParseMessageFile("to: x\nFrom: \nSubject: s\nbody"),
            (MessageContents{"", "", "to: x\nFrom: \nSubject: s\nbody"}));
  EXPECT_EQ(ParseMessageFile("Dear all"), (MessageContents{"", "", "Dear all"}));
}

TEST(MessageFile, HeaderValuesStartAfterTheLabelWithoutComparingIt) {
  EXPECT_EQ(ParseMessageFile("To:abc\nFrom:\nSubject: s\n").to, "bc");
  EXPECT_EQ(ParseMessageFile("To: a\nFrom: b\nTopic is lunch\nbody\n"),
            (MessageContents{"a", "lunch", "body\n"}));
}

TEST(MessageFile, CrLfAndLfHeaderLinesReadTheSame) {
  const MessageContents expected{"a", "Hello", "Body\r\n"};
  EXPECT_EQ(ParseMessageFile("To: a\r\nFrom: b\r\nSubject: Hello\r\nBody\r\n"), expected);
  EXPECT_EQ(ParseMessageFile("To: a\nFrom: b\nSubject: Hello\nBody\r\n"), expected);
}

TEST(MessageFile, AFileThatEndsWithinTheHeaderHasNoSubjectAndNoBody) {
  EXPECT_EQ(ParseMessageFile("To: only"), (MessageContents{"only", "", ""}));
  EXPECT_EQ(ParseMessageFile("To: a\nFrom: b"), (MessageContents{"a", "", ""}));
  EXPECT_EQ(ParseMessageFile("To: a\nFrom: b\nSubject: s"), (MessageContents{"a", "s", ""}));
}

TEST(MessageFile, LineBreaksInHeaderValuesAreWrittenAsBlanks) {
  const std::string bytes = FormatMessageFile({"a\r\nb", "one\ntwo", "Subject: kept\r\n"});
  EXPECT_EQ(bytes, "To: a  b\nFrom:  \nSubject: one two\nSubject: kept\r\n");
  EXPECT_EQ(ParseMessageFile(bytes), (MessageContents{"a  b", "one two", "Subject: kept\r\n"}));
}

TEST(MessageFile, AByteOrderMarkDoesNotHideTheHeaderLines) {
  const MessageContents message =
      ParseMessageFile("\xEF\xBB\xBFTo: a\nFrom:  \nSubject: Hello\nBody\n");
  EXPECT_EQ(message.to, "a");
  EXPECT_EQ(message.subject, "Hello");
  EXPECT_EQ(message.body, "Body\n");
}

TEST(MessageFile, ALetterSavedAsUtf16ReadsAsItsText) {
  TempDir dir;
  std::string wide = "\xFF\xFE";
  for (const char c : "To: a\r\nFrom:  \r\nSubject: Caf\xE9\r\nHello\r\n"s) {
    if (c != '\0') wide += std::string{c, '\0'};
  }
  dir.Write("letter.txt", wide);
  Result<MessageContents> message = ReadMessageFile(dir.File("letter.txt"));
  ASSERT_TRUE(message.ok());
  EXPECT_EQ(message->to, "a");
  EXPECT_EQ(message->subject, "Caf\xC3\xA9");
  EXPECT_EQ(message->body, "Hello\r\n");
}

TEST(MessageFile, FailuresNameThePath) {
  TempDir dir;
  Result<MessageContents> missing = ReadMessageFile(dir.File("missing.txt"));
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find(dir.File("missing.txt")), std::string::npos);

  const std::string blocked = dir.File("blocked");
  std::filesystem::create_directories(blocked + "/inside");  // a folder cannot be replaced
  const Status status = WriteMessageFile(blocked, {"", "s", "b"});
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(blocked), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inside"));
}

}  // namespace
}  // namespace postrider
