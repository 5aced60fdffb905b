#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/user_prompts.h"
#include "smtp/smtp_reply_reader.h"
#include "smtp/smtp_text_encoder.h"
#include "smtp/smtp_transport.h"

namespace postrider {

// How long each wait may last (RFC 5321 section 4.5.3.2); a wait that runs
// out fails with 10060.
struct SmtpTimeouts {
  std::chrono::milliseconds connect{std::chrono::minutes(5)};  // each address tried
  std::chrono::milliseconds greeting{std::chrono::minutes(5)};
  std::chrono::milliseconds helo{std::chrono::minutes(5)};
  std::chrono::milliseconds rset{std::chrono::minutes(5)};
  std::chrono::milliseconds mail{std::chrono::minutes(5)};
  std::chrono::milliseconds rcpt{std::chrono::minutes(5)};
  std::chrono::milliseconds data{std::chrono::minutes(2)};
  std::chrono::milliseconds textBlock{std::chrono::minutes(3)};
  std::chrono::milliseconds endOfData{std::chrono::minutes(10)};
  std::chrono::milliseconds quit{std::chrono::minutes(5)};
};

enum class SmtpStep {
  None, Connect, Greeting, Helo, Rset, Mail, Rcpt, Data, Text, EndOfData, Quit
};

// SendMail result: an address that could smuggle SMTP commands; nothing was sent.
constexpr int kSmtpUnsafeAddress = -2;

// The client side of the SMTP dialogue over one connection, carrying one
// message per SendMail. Results: 0 for success, 400 to 599 for the server's
// refusal (its reply code), 10000 and above for a transport error (WinSock
// numbers, see platform/socket_errors.h).
class SmtpClient {
 public:
  // prompts may be null: then nothing is shown.
  explicit SmtpClient(IUserPrompts* prompts, SmtpTimeouts timeouts = {});
  ~SmtpClient();
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  // server: "host", "host:port", "[v6-address]:port" or a bare IPv6 address.
  // 0 when the server greeted with 220; else its refusal (4xx, 5xx), an
  // error number, or kSmtpProtocolError for a greeting that is no SMTP
  // welcome. Failures to find or reach the server, and any greeting other
  // than 220, are shown to the user.
  int Connect(const std::string& server);

  // One mail transaction (HELO, RSET, MAIL, RCPT, DATA, text, end of data).
  // After a refusal the transaction is reset so the connection can carry the
  // next message; a 421 or a transport error ends the connection. When that
  // reset itself fails or is cancelled, the result is its error (failedStep
  // Rset), not the refusal.
  int SendMail(const std::string& recipient, const std::string& returnAddress,
               std::string_view message);

  // Says QUIT when connected and closes. Always 0.
  int Disconnect();

  bool isConnected() const { return ready_; }
  // The step of the last failure; Rcpt tells a refused recipient.
  SmtpStep failedStep() const { return failedStep_; }
  // The step now waiting, for a blocking hook that wants to know.
  SmtpStep currentStep() const { return currentStep_; }
  // The reply that ended the last step (code 0 when none arrived). When the
  // reset after a refusal failed, still the refusal.
  int lastReplyCode() const { return lastReply_.code; }
  const std::string& lastReplyText() const { return lastReply_.text; }
  // The name this client gives in HELO.
  const std::string& helloName() const { return helloName_; }

 private:
  enum class Expect { Positive, Recipient, StartData };

  int RunTransaction(std::string_view recipient, std::string_view returnAddress,
                     std::string_view message);
  int Command(SmtpStep step, std::string_view verb, std::string_view argument,
              std::string_view ending, std::chrono::milliseconds timeout, Expect expect);
  int SendText(std::string_view message, std::string_view& endOfData);
  int Judge(SmtpStep step, Expect expect);
  int TransportFailure(SmtpStep step, int error);
  int ResetAfterRefusal();
  void ClearLastReply();
  void CloseConnection();
  void Tell(const std::string& text);

  IUserPrompts* prompts_;
  SmtpTimeouts timeouts_;
  std::unique_ptr<ISmtpTransport> transport_;
  SmtpReplyReader reader_;
  bool ready_ = false;  // greeted with 220
  std::string helloName_;
  std::string command_;
  SmtpReply lastReply_;
  SmtpReply scratchReply_;  // replies the caller need not see (the RSET after a refusal)
  std::array<char, SmtpTextEncoder::kMaxPiece> piece_{};
  SmtpStep failedStep_ = SmtpStep::None;
  SmtpStep currentStep_ = SmtpStep::None;
};

}  // namespace postrider
