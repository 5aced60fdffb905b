#include "smtp/smtp_reply_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int ProtocolError(std::string_view badLine, SmtpReply& reply) {
  reply.code = 0;
  reply.text.assign(badLine.substr(0, SmtpReplyReader::kMaxKeptBadLine));
  return kSmtpProtocolError;
}

}  // namespace

void SmtpReplyReader::Discard() { begin_ = end_ = 0; }

void SmtpReplyReader::TakeBuffered(ISmtpTransport& transport) {
  // A deadline already passed: a record that holds no text (a session
  // ticket) ends in a time-out, which says only that nothing more is here.
  if (transport.hasBufferedBytes()) (void)Fill(transport, SocketClock::now());
}

std::string SmtpReplyReader::ShownBufferedLine() const {
  const std::string_view extra(buffer_.data() + begin_, end_ - begin_);
  const std::size_t lineEnd = extra.find_first_of("\r\n");
  return PrintableText(Hide(extra.substr(0, std::min(lineEnd, kMaxKeptBadLine)),
                            lineEnd > kMaxKeptBadLine));
}

int SmtpReplyReader::LookNow(ISmtpTransport& transport) {
  if (HasBufferedBytes()) return 0;
  const int error = Fill(transport, SocketClock::now());
  return HasBufferedBytes() ? 0 : error;
}

int SmtpReplyReader::Fill(ISmtpTransport& transport, SocketDeadline deadline) {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  std::size_t received = 0;
  const int error =
      transport.Receive(buffer_.data() + end_, buffer_.size() - end_, received, deadline);
  end_ += received;
  return error;
}

int SmtpReplyReader::Read(ISmtpTransport& transport, SocketDeadline deadline, SmtpReply& reply) {
  const int result = ReadAsSent(transport, deadline, reply);
  reply.hidden = false;
  reply.enhancedAsSent.reset();
  // Without a log-in to hide, a reply costs nothing more.
  if (hidden_ == nullptr || hidden_->empty()) return result;
  // Short of a whole reply, the text may be a line cut off: one whose end
  // never came, or kept only in part.
  const bool cutShort =
      result != 0 &&
      (result != kSmtpProtocolError || reply.text.size() == kMaxKeptBadLine);
  std::string shown = Hide(reply.text, cutShort);
  if (shown == reply.text) return result;
  reply.hidden = true;
  reply.enhancedAsSent = EnhancedStatusOf(std::string_view(reply.text));
  WipeString(asSent_);
  asSent_ = std::move(reply.text);
  reply.text = std::move(shown);
  return result;
}

std::string SmtpReplyReader::Hide(std::string_view text, bool cutShort) const {
  if (hidden_ == nullptr) return std::string(text);
  std::string shown = cutShort ? ConcealSecretInCutText(text, hidden_->reveal())
                               : ConcealSecret(text, hidden_->reveal());
  if (shown == text) return shown;
  // An AUTH PLAIN response quoted back holds the password's base64 between
  // the names' and its padding: the groups it shares with them would still
  // tell its first and last bytes, so the whole base64 word goes.
  auto base64 = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '+' || c == '/';
  };
  constexpr std::string_view kHidden = "[hidden]";
  for (std::size_t at = shown.find(kHidden); at != std::string::npos;
       at = shown.find(kHidden, at + kHidden.size())) {
    std::size_t begin = at;
    while (begin > 0 && base64(shown[begin - 1])) --begin;
    std::size_t end = at + kHidden.size();
    while (end < shown.size() && (base64(shown[end]) || shown[end] == '=')) ++end;
    shown.replace(begin, end - begin, kHidden);
    at = begin;
  }
  return shown;
}

std::string SmtpReplyReader::Shown(const std::vector<std::string>& words,
                                   std::string_view separator) const {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += separator;
    joined += word;
  }
  std::string shown = PrintableText(Hide(joined));
  WipeString(joined);
  return shown;
}

int SmtpReplyReader::ReadAsSent(ISmtpTransport& transport, SocketDeadline deadline,
                                SmtpReply& reply) {
  reply.code = 0;
  reply.text.clear();
  int code = 0;
  int lines = 0;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* newline = std::memchr(start, '\n', end_ - begin_);
    if (newline == nullptr) {
      // A line end may still be on its way after a CR; anything more is too long.
      if (end_ - begin_ > kMaxLineLength + 1) {
        return ProtocolError(std::string_view(start, end_ - begin_), reply);
      }
      if (const int error = Fill(transport, deadline)) {
        // A line cut off by a close or a time-out is still the server's last
        // word: the user sees it, not only that the connection ended.
        std::string_view unfinished(buffer_.data() + begin_, end_ - begin_);
        if (!unfinished.empty() && unfinished.back() == '\r') unfinished.remove_suffix(1);
        reply.text.assign(unfinished.substr(0, kMaxKeptBadLine));
        return error;
      }
      continue;
    }

    const auto lineLength = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
    std::string_view line(start, lineLength);
    begin_ += lineLength + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLineLength || ++lines > kMaxLines) return ProtocolError(line, reply);

    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) {
      return ProtocolError(line, reply);
    }
    const char separator = line.size() == 3 ? ' ' : line[3];
    if (separator != ' ' && separator != '-') return ProtocolError(line, reply);
    const int lineCode = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (lines > 1 && lineCode != code) return ProtocolError(line, reply);
    code = lineCode;

    if (lines > 1) reply.text.push_back('\n');
    if (line.size() > 4) reply.text.append(line.substr(4));
    if (separator == ' ') {
      reply.code = code;
      return 0;
    }
  }
}

}  // namespace postrider
