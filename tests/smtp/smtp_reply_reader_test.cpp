#include <deque>
#include <string>

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_reply_reader.h"

namespace postrider {
namespace {

// Hands out the chunks it was given, one per Receive, then fails as a
// closed connection does.
class ChunkTransport : public ISmtpTransport {
 public:
  explicit ChunkTransport(std::deque<std::string> chunks) : chunks_(std::move(chunks)) {}

  int SendAll(std::string_view, SocketDeadline, bool) override { return 0; }
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              SocketDeadline) override {
    received = 0;
    if (chunks_.empty()) return kWsaEdiscon;
    std::string& chunk = chunks_.front();
    received = std::min(capacity, chunk.size());
    chunk.copy(buffer, received);
    chunk.erase(0, received);
    if (chunk.empty()) chunks_.pop_front();
    return 0;
  }
  void Close() override {}

 private:
  std::deque<std::string> chunks_;
};

struct ReadOutcome {
  int result;
  SmtpReply reply;
};

ReadOutcome ReadOne(SmtpReplyReader& reader, ChunkTransport& transport) {
  ReadOutcome outcome;
  outcome.result = reader.Read(transport, SocketDeadline::max(), outcome.reply);
  return outcome;
}

ReadOutcome ReadFrom(std::deque<std::string> chunks) {
  ChunkTransport transport(std::move(chunks));
  SmtpReplyReader reader;
  return ReadOne(reader, transport);
}

TEST(SmtpReplyReaderTest, ReadsOneLineReply) {
  const ReadOutcome outcome = ReadFrom({"250 2.1.0 Ok\r\n"});
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reply.code, 250);
  EXPECT_EQ(outcome.reply.text, "2.1.0 Ok");
}

TEST(SmtpReplyReaderTest, ReadsMultiLineReplyWholeEvenWhenItArrivesInBits) {
  const std::string reply = "220-mail.example.com ESMTP\r\n220-second\r\n220 ready\r\n";
  std::deque<std::string> bytes;
  for (char c : reply) bytes.emplace_back(1, c);
  const ReadOutcome outcome = ReadFrom(bytes);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reply.code, 220);
  EXPECT_EQ(outcome.reply.text, "mail.example.com ESMTP\nsecond\nready");
}

TEST(SmtpReplyReaderTest, KeepsWhatFollowsAReplyForTheNextRead) {
  ChunkTransport transport({"250 first\r\n354 go", " ahead\r\n221\r\n"});
  SmtpReplyReader reader;
  EXPECT_EQ(ReadOne(reader, transport).reply.code, 250);
  const ReadOutcome second = ReadOne(reader, transport);
  EXPECT_EQ(second.reply.code, 354);
  EXPECT_EQ(second.reply.text, "go ahead");
  const ReadOutcome third = ReadOne(reader, transport);
  EXPECT_EQ(third.result, 0);
  EXPECT_EQ(third.reply.code, 221);
  EXPECT_EQ(third.reply.text, "");
}

TEST(SmtpReplyReaderTest, AcceptsLinesEndedByLfAlone) {
  const ReadOutcome outcome = ReadFrom({"250-a\n250 b\n"});
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reply.text, "a\nb");
}

TEST(SmtpReplyReaderTest, MalformedLinesAreProtocolErrors) {
  for (const char* reply : {"25 OK\r\n", "2500 OK\r\n", "OK\r\n", "\r\n", "250x\r\n",
                            "25a OK\r\n", "250-a\r\n251 b\r\n", "250-a\r\nOK\r\n"}) {
    const ReadOutcome outcome = ReadFrom({reply});
    EXPECT_EQ(outcome.result, kSmtpProtocolError) << reply;
    EXPECT_EQ(outcome.reply.code, 0) << reply;
  }
}

TEST(SmtpReplyReaderTest, ProtocolErrorKeepsTheLineThatBrokeIt) {
  EXPECT_EQ(ReadFrom({"+OK POP3 ready\r\n"}).reply.text, "+OK POP3 ready");
  EXPECT_EQ(ReadFrom({"250-a\r\n251 b\r\n"}).reply.text, "251 b");
  // Only the start of one too long to show.
  const std::string endless = "250 " + std::string(5000, 'x');
  const ReadOutcome outcome = ReadFrom({endless});
  EXPECT_EQ(outcome.result, kSmtpProtocolError);
  EXPECT_EQ(outcome.reply.text, endless.substr(0, SmtpReplyReader::kMaxKeptBadLine));
}

TEST(SmtpReplyReaderTest, LineOf2000BytesIsReadAndLongerOneRefused) {
  const ReadOutcome longest = ReadFrom({"250 " + std::string(1996, 'x') + "\r\n"});
  EXPECT_EQ(longest.result, 0);
  EXPECT_EQ(longest.reply.text.size(), 1996u);

  EXPECT_EQ(ReadFrom({"250 " + std::string(1997, 'x') + "\r\n"}).result, kSmtpProtocolError);
  // Refused as soon as it is too long, without waiting for its end.
  EXPECT_EQ(ReadFrom({"250 " + std::string(5000, 'x')}).result, kSmtpProtocolError);
}

TEST(SmtpReplyReaderTest, ReplyOf100LinesIsReadAndLongerOneRefused) {
  std::string hundred;
  for (int i = 0; i < 99; ++i) hundred += "250-line\r\n";
  const ReadOutcome outcome = ReadFrom({hundred + "250 end\r\n"});
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.reply.code, 250);

  EXPECT_EQ(ReadFrom({hundred + "250-line\r\n250 end\r\n"}).result, kSmtpProtocolError);
}

TEST(SmtpReplyReaderTest, ConnectionClosedInsideAReplyIsReported) {
  const ReadOutcome outcome = ReadFrom({"250-first\r\n250 sec"});
  EXPECT_EQ(outcome.result, kWsaEdiscon);
  EXPECT_EQ(outcome.reply.code, 0);
  // What came of the cut-off line is kept for the user.
  EXPECT_EQ(outcome.reply.text, "250 sec");
  EXPECT_EQ(ReadFrom({"250-first\r\n"}).reply.text, "");
}

}  // namespace
}  // namespace postrider
