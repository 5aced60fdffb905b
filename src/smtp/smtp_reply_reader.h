#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/secret.h"
#include "smtp/enhanced_status.h"
#include "smtp/smtp_transport.h"

namespace postrider {

// One whole server reply. A multi-line reply ("250-a", "250 b") gives one code
// and its lines' texts joined with '\n'.
struct SmtpReply {
  int code = 0;
  std::string text;
  // Whether text had the log-in hidden in it, and then the enhanced code as
  // it came: a log-in spelt as the code ("5.7.1") is hidden there too.
  bool hidden = false;
  std::optional<EnhancedStatus> enhancedAsSent;
};

// The enhanced code the server gave, whatever was hidden in the text.
inline std::optional<EnhancedStatus> EnhancedStatusOf(const SmtpReply& reply) {
  return reply.hidden ? reply.enhancedAsSent : EnhancedStatusOf(reply.text);
}

// Reads replies from the transport, keeping whatever arrives beyond the end
// of one reply for the next.
class SmtpReplyReader {
 public:
  static constexpr std::size_t kMaxLineLength = 2000;  // bytes, without the line end
  static constexpr int kMaxLines = 100;
  // How much of a line that broke the protocol is kept for showing.
  static constexpr std::size_t kMaxKeptBadLine = 200;

  // Reads the next whole reply into reply. Returns 0, a transport error, or
  // kSmtpProtocolError for a malformed reply (every line must be three digits
  // followed by a blank, a hyphen or the line end, all with the same code),
  // a line too long, or too many lines. reply.code is 0 unless a whole
  // reply arrived; after a protocol error reply.text holds the line that
  // broke it (its start, when too long), so the user can see what came.
  // Every reply text comes with the log-in given to HideInReplies shown as
  // "[hidden]" (see ConcealSecret).
  int Read(ISmtpTransport& transport, SocketDeadline deadline, SmtpReply& reply);

  // A server may quote the log-in back, at any step and at a later
  // connection's too: from now on it is hidden in every reply as it is read,
  // so that only the server's words are touched, never the program's own.
  // nullptr, or a secret emptied meanwhile, hides nothing. The secret must
  // outlive the reading.
  void HideInReplies(const Secret* secret) { hidden_ = secret; }
  // text with the log-in hidden as in a reply: for other server words shown.
  // cutShort: text is the start of something longer, which may have cut a
  // copy of the log-in off.
  std::string Hide(std::string_view text, bool cutShort = false) const;
  // Server words joined for showing: hidden as they came, then made
  // printable (the other way round, a log-in with a control byte in it would
  // no longer be found).
  std::string Shown(const std::vector<std::string>& words, std::string_view separator) const;
  // The text of reply, the last one read, as it came: for reading what the
  // server offers (EHLO keywords, an OAuth challenge), never for showing.
  std::string_view TextAsSent(const SmtpReply& reply) const {
    return reply.hidden ? std::string_view(asSent_) : std::string_view(reply.text);
  }

  // Forgets buffered bytes, for a new connection.
  void Discard();
  // Takes in what the transport holds already (a TLS layer keeps back every
  // record after the first), without waiting for the network.
  void TakeBuffered(ISmtpTransport& transport);
  // Takes in what has come already, from the network too, without waiting:
  // 0 when something is here, a time-out when nothing is, or the error that
  // ended the look (a close, a cancel).
  int LookNow(ISmtpTransport& transport);
  // Whether bytes beyond the last reply have arrived already.
  bool HasBufferedBytes() const { return end_ > begin_; }
  // The first line of those bytes, for showing: hidden, then made printable.
  std::string ShownBufferedLine() const;

 private:
  int ReadAsSent(ISmtpTransport& transport, SocketDeadline deadline, SmtpReply& reply);
  int Fill(ISmtpTransport& transport, SocketDeadline deadline);

  std::array<char, 4096> buffer_{};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  const Secret* hidden_ = nullptr;
  std::string asSent_;
};

}  // namespace postrider
