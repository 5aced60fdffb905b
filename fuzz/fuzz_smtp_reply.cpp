// The SMTP reply reader on whatever a server may send: every reply it
// accepts is well formed and bounded, and the replies read from a stream do
// not depend on how the stream was cut into pieces by the network.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_reply_reader.h"

namespace {

using postrider::SmtpReply;
using postrider::SmtpReplyReader;

// Hands out the stream in pieces whose sizes come from a small generator,
// then fails as a closed connection does.
class PieceTransport : public postrider::ISmtpTransport {
 public:
  PieceTransport(std::string_view stream, std::uint32_t seed) : stream_(stream), state_(seed) {}

  int SendAll(std::string_view, postrider::SocketDeadline, bool) override { return 0; }
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              postrider::SocketDeadline) override {
    received = 0;
    FUZZ_CHECK(capacity > 0);
    if (stream_.empty()) return postrider::kWsaEdiscon;
    std::size_t piece = stream_.size();
    if (state_ != 0) {
      state_ = state_ * 1103515245u + 12345u;
      piece = 1 + (state_ >> 16) % 700;
    }
    received = std::min({piece, capacity, stream_.size()});
    stream_.copy(buffer, received);
    stream_.remove_prefix(received);
    return 0;
  }
  void Close() override {}

  std::size_t left() const { return stream_.size(); }

 private:
  std::string_view stream_;
  std::uint32_t state_;  // 0: everything at once
};

struct Outcome {
  int result;
  int code;
  std::string text;
  bool operator==(const Outcome&) const = default;
};

std::vector<Outcome> ReadAll(std::string_view stream, std::uint32_t seed) {
  PieceTransport transport(stream, seed);
  SmtpReplyReader reader;
  std::vector<Outcome> outcomes;
  // Every accepted reply takes at least four bytes, so this bounds the loop.
  for (std::size_t round = 0; round <= stream.size(); ++round) {
    SmtpReply reply;
    const int result = reader.Read(transport, postrider::SocketDeadline::max(), reply);
    outcomes.push_back({result, reply.code, reply.text});
    if (result != 0) return outcomes;
    FUZZ_CHECK(reply.code >= 0 && reply.code <= 999);
    const auto lines = std::count(reply.text.begin(), reply.text.end(), '\n') + 1;
    FUZZ_CHECK(lines <= SmtpReplyReader::kMaxLines);
    FUZZ_CHECK(reply.text.size() <=
               static_cast<std::size_t>(lines) * SmtpReplyReader::kMaxLineLength);
  }
  FUZZ_CHECK(false && "a reply was read from nothing");
  return outcomes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t seed = data[0] | 1u;
  const std::string_view stream = postrider::fuzz::AsText(data + 1, size - 1);

  const std::vector<Outcome> whole = ReadAll(stream, 0);
  const Outcome& last = whole.back();
  if (last.result == postrider::kSmtpProtocolError) {
    FUZZ_CHECK(last.code == 0);
    FUZZ_CHECK(last.text.size() <= SmtpReplyReader::kMaxKeptBadLine);
  } else {
    FUZZ_CHECK(last.result == postrider::kWsaEdiscon);
  }
  FUZZ_CHECK(ReadAll(stream, seed) == whole);
  return 0;
}
