#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "smtp/enhanced_status.h"
#include "smtp/smtp_reply_reader.h"
#include "smtp/smtp_step.h"

namespace postrider {

// What became of a connection or of one message, sorted by what the caller
// does about it.
enum class SmtpOutcomeKind {
  Accepted,               // every step passed; for a message: the server took it
  RefusedTemporarily,     // a 4xx reply (421 included): the same may pass later
  RefusedPermanently,     // a 5xx reply, or a 4xx whose enhanced code is not of class 4
  RecipientRefused,       // a 5xx reply to RCPT: this address fails, the next may pass
  AddressUnusable,        // the recipient cannot go into a command, or not to this server
  ReturnAddressUnusable,  // the same for the return address: no message can go
  TooLarge,               // larger than the server's SIZE, so not sent
  Transport,              // the connection failed or closed, or a wait ran out
  Cancelled,              // a wait was cancelled (Pause, Esc, Ctrl+C)
  Protocol,               // the server broke the protocol; the connection was closed
  Tls,                    // TLS failed, the certificate was not trusted, or no STARTTLS
  SignIn,                 // no way to log in, or the server refused the log-in for good
  HeldBack,               // held back before its end of data: the server did not take it
  Halted,                 // a Pause came before the message began: nothing of it went
};

// "accepted", "refused temporarily", ...: for messages in tests and benchmarks.
std::string_view SmtpOutcomeKindName(SmtpOutcomeKind kind);

// Whether a reply code is a refusal (4xx or 5xx).
bool IsRefusalCode(int code);

// A failure's number in words: "Connection refused", "The TLS connection failed".
std::string DescribeSmtpError(int number);

// One outcome, whole: its kind, the step it came at, the server's reply that
// decided it (code 0 when none did) with its enhanced status code (RFC 3463)
// when it has one, the socket error, and the text the user reads, with the
// server's or the TLS library's own words. Made only by the builders below.
class SmtpOutcome {
 public:
  SmtpOutcome() = default;  // accepted

  static SmtpOutcome Accepted() { return {}; }
  // The server refused the step with a 4xx or 5xx reply. An empty text
  // becomes the reply as the server wrote it.
  static SmtpOutcome Refused(SmtpStep step, SmtpReply reply, std::string text = {});
  // A reply that is no answer to the step, or a dialogue that cannot go on.
  static SmtpOutcome ProtocolBroken(SmtpStep step, std::string text, SmtpReply reply = {});
  // A transport or the reply reader failed with `error` (a WinSock number,
  // or one of smtp_error_numbers.h). `reply` is a refusal that came before,
  // kept so that the failure does not hide it.
  static SmtpOutcome TransportFailed(SmtpStep step, int error, std::string text,
                                     SmtpReply reply = {});
  static SmtpOutcome TlsNotOffered(SmtpStep step, std::string text);
  static SmtpOutcome SignInImpossible(SmtpStep step, std::string text);
  static SmtpOutcome TooLarge(std::string text);
  // step Rcpt: the recipient's address; step Mail: the return address.
  static SmtpOutcome UnsafeAddress(SmtpStep step, std::string text);
  static SmtpOutcome UnsendableAddress(SmtpStep step, std::string text);
  static SmtpOutcome HeldBack(std::string text);
  static SmtpOutcome Halted();

  SmtpOutcomeKind kind() const { return kind_; }
  bool ok() const { return kind_ == SmtpOutcomeKind::Accepted; }
  SmtpStep step() const { return step_; }
  const SmtpReply& reply() const { return reply_; }
  const std::optional<EnhancedStatus>& enhanced() const { return enhanced_; }
  // The WinSock number of a failed or cancelled socket call, else 0.
  int socketError() const;
  // In words, its first line naming what failed; empty when accepted.
  const std::string& text() const { return text_; }
  // The number the user is shown ("Sending 3 of 9 - Error 550") and the send
  // log's Status=: 0, the server's reply code, a WinSock number, or one of
  // smtp_error_numbers.h.
  int number() const { return number_; }

  // The server refused with its reply (a transport failure after a refusal
  // is no refusal: the connection is lost).
  bool refusal() const { return IsRefusalCode(number_); }
  // The server had the whole message, and no answer says whether it took it:
  // the recipient may have it.
  bool leftInDoubt() const;
  // The server answered the whole message with a refusal: it did not take it.
  bool refusedWholeMessage() const;

  // Appends a line to the text: what the failure came after.
  void AddLine(const std::string& line) { text_ += "\n" + line; }

 private:
  SmtpOutcome(SmtpOutcomeKind kind, SmtpStep step, int number, std::string text,
              SmtpReply reply = {});

  SmtpOutcomeKind kind_ = SmtpOutcomeKind::Accepted;
  SmtpStep step_ = SmtpStep::None;
  SmtpReply reply_;
  std::optional<EnhancedStatus> enhanced_;
  int number_ = 0;
  std::string text_;
};

}  // namespace postrider
