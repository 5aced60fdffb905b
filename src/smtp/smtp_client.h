#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_buffer.h"
#include "smtp/envelope_address.h"
#include "smtp/plain_transport.h"
#include "smtp/smtp_auth.h"
#include "smtp/smtp_capabilities.h"
#include "smtp/smtp_oauth.h"
#include "smtp/smtp_outcome.h"
#include "smtp/smtp_reply_reader.h"
#include "smtp/smtp_session_options.h"
#include "smtp/smtp_step.h"
#include "smtp/smtp_text_encoder.h"
#include "smtp/smtp_transport.h"
#include "smtp/tls_peer.h"

namespace postrider {

// How long each wait may last (RFC 5321 section 4.5.3.2); a wait that runs
// out fails with 10060.
struct SmtpTimeouts {
  std::chrono::milliseconds connect{std::chrono::minutes(5)};  // each address tried
  std::chrono::milliseconds tlsHandshake{std::chrono::minutes(2)};
  std::chrono::milliseconds greeting{std::chrono::minutes(5)};
  std::chrono::milliseconds ehlo{std::chrono::minutes(5)};
  std::chrono::milliseconds startTls{std::chrono::minutes(5)};
  std::chrono::milliseconds auth{std::chrono::minutes(5)};
  std::chrono::milliseconds helo{std::chrono::minutes(5)};
  std::chrono::milliseconds rset{std::chrono::minutes(5)};
  std::chrono::milliseconds mail{std::chrono::minutes(5)};
  std::chrono::milliseconds rcpt{std::chrono::minutes(5)};
  std::chrono::milliseconds data{std::chrono::minutes(2)};
  std::chrono::milliseconds textBlock{std::chrono::minutes(3)};
  std::chrono::milliseconds endOfData{std::chrono::minutes(10)};
  std::chrono::milliseconds quit{std::chrono::minutes(5)};
};

// The message that follows the one SendMail carries: with a server that
// offers PIPELINING (RFC 2920) its MAIL, RCPT and DATA go out behind the
// end of this one's data, in the same write.
struct SmtpNextMessage {
  std::string_view recipient;
  std::string_view returnAddress;
  std::string_view message;
};

// The client side of the SMTP dialogue over one connection, carrying one
// message per SendMail. Each call answers with an SmtpOutcome that says what
// became of it, with the server's or the TLS library's own words; the client
// shows nothing itself. The byte stream comes from `openTransport`: TCP,
// unless a test plays the server's side itself.
class SmtpClient {
 public:
  explicit SmtpClient(SmtpTimeouts timeouts = {},
                      SmtpTransportFactory openTransport = OpenTcpConnection);
  ~SmtpClient();
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  // server: "host", "host:port", "[v6-address]:port" or a bare IPv6 address;
  // with no port, the one options.security implies. Connects, takes TLS at
  // once for Security=tls, reads the greeting, says EHLO (and remembers what
  // the server offers), takes STARTTLS for Security=starttls (never going on
  // without it), and logs in when there is a user name. Accepted when all of
  // that passed. A server that refuses EHLO with 5xx gets the old dialogue:
  // HELO and RSET before every message. A connection still open is ended
  // first (QUIT), whatever state it was left in.
  SmtpOutcome Connect(const std::string& server, const SmtpSessionOptions& options = {});

  // One mail transaction: MAIL, RCPT, DATA, text, end of data (after HELO
  // and RSET for a server that refused EHLO). After a refusal the
  // transaction is reset so the connection can carry the next message; a 421
  // or a transport error ends the connection. When that reset itself fails
  // or is cancelled, the outcome is its failure (step Rset, the refusal's
  // reply kept), not the refusal. A message larger than the server's SIZE is
  // not sent.
  // With a server that offers PIPELINING, MAIL, RCPT and DATA go in one
  // write, and with next given, behind this message's end of data: one round
  // trip a message. Every reply is still read in order and judged for its
  // own message. When next went ahead (messageAhead()), the next SendMail
  // must be for next; its outcome is then what the server said to next.
  // `copies` (Cc and Bcc) get RCPT TO after the recipient, never ahead of
  // the message they go with: a message with copies goes without pipelining,
  // and goes ahead of none. A copy the server refuses does not stop the
  // message; refusedCopies() says which, with the server's words.
  SmtpOutcome SendMail(const std::string& recipient, const std::string& returnAddress,
                       std::string_view message, const SmtpNextMessage* next = nullptr,
                       std::span<const std::string> copies = {});
  struct RefusedCopy {
    std::string address;
    std::string reason;  // the server's reply, or why it could not be asked
  };
  // The copies the last SendMail could not send to.
  const std::vector<RefusedCopy>& refusedCopies() const { return refusedCopies_; }

  // Whether the last SendMail sent its next message's commands ahead.
  bool messageAhead() const { return group_.ahead; }
  // Whether SendMail can put a next message behind the end of data.
  bool offersPipelining() const { return ready_ && capabilities_.pipelining; }

  // Says QUIT when connected and closes; a message whose data the server is
  // waiting for is left unfinished, so it is never delivered. Always 0.
  int Disconnect();

  // Called just before the write that ends a message's data (its text's
  // last block and the end of data): from then on the server may take the
  // message, whatever becomes of its answer. Answering false holds the
  // message back: the connection is closed, and SendMail says HeldBack.
  void SetHandOverListener(std::function<bool()> listener) { handOver_ = std::move(listener); }

  // Called once a message's end of data is out and before its answer is
  // awaited: work done here overlaps the server's, not the round trip.
  void SetAwaitListener(std::function<void()> listener) { await_ = std::move(listener); }

  // Called after each step of Connect that passed, and after QUIT.
  void SetProgressListener(std::function<void(SmtpStep)> listener) {
    progress_ = std::move(listener);
  }

  bool isConnected() const { return ready_; }
  // The step now waiting, for a blocking hook that wants to know.
  SmtpStep currentStep() const { return currentStep_; }
  // Whether the server holds a whole message and its answer is awaited: only
  // that answer tells whether the recipient got it.
  bool awaitingAnswerToMessage() const { return currentStep_ == SmtpStep::EndOfData; }
  // The last reply read: for a progress listener, the one to the step that passed.
  const SmtpReply& lastReply() const { return lastReply_; }
  // Where Connect went: the server's host and port.
  const std::string& host() const { return host_; }
  std::uint16_t port() const { return port_; }
  // The name this client gives in EHLO and HELO.
  const std::string& helloName() const { return helloName_; }
  // What the server offered in its last reply to EHLO; extended is false
  // when it refused EHLO.
  const SmtpCapabilities& capabilities() const { return capabilities_; }
  // Their lines for showing, the log-in hidden in them as in every reply.
  std::string ShownCapabilities() const { return reader_.Shown(capabilities_.lines, ", "); }
  // The TLS connection's details, when there is one.
  const TlsPeer* tlsPeer() const { return tlsPeer_ ? &*tlsPeer_ : nullptr; }
  std::optional<SmtpAuthMechanism> authMechanism() const { return authMechanism_; }
  std::optional<SmtpOAuthMechanism> oauthMechanism() const { return oauthMechanism_; }
  // "PLAIN", "LOGIN", "OAUTHBEARER" or "XOAUTH2": how the last log-in went; empty without one.
  std::string_view authMechanismName() const;
  const SmtpReply& quitReply() const { return quitReply_; }

 private:
  // What a step's reply must be for the dialogue to go on.
  // TokenAnswer: 235, or the 334 that carries a refused token's error document.
  enum class Expect { Positive, Recipient, StartData, Ready, Continue, Authenticated, TokenAnswer };
  static bool Wanted(Expect expect, int code);

  SmtpOutcome Open(const std::string& server, const SmtpSessionOptions& options);
  SmtpOutcome ReadGreeting(const SmtpSessionOptions& options);
  SmtpOutcome Hello(const SmtpSessionOptions& options, bool afterTls);
  SmtpOutcome StartTls(const SmtpSessionOptions& options);
  SmtpOutcome TakeTls(const SmtpSessionOptions& options);
  SmtpOutcome Authenticate(const SmtpSessionOptions& options);
  SmtpOutcome LogIn(SmtpAuthMechanism mechanism, const SmtpSessionOptions& options);
  // AUTH with the OAuth 2.0 access token: OAUTHBEARER, else XOAUTH2, over TLS only.
  SmtpOutcome AuthenticateWithToken(const SmtpSessionOptions& options);

  // The envelope forms of a message's addresses and its MAIL parameters.
  struct Envelope {
    std::string returnAddress;
    // returnAddress is an ASCII address that passed as it was given: the
    // same return address next time needs no new look.
    bool returnAddressAsGiven = false;
    std::string recipient;
    std::string mailParameters;  // " SIZE=n SMTPUTF8" and the line end
  };
  // The replies to MAIL, RCPT and DATA sent in one group, read in order.
  struct Group {
    bool ahead = false;  // sent behind the end of the last message's data
    std::string recipient;      // their message's addresses as the caller gave them
    std::string returnAddress;
    std::array<SmtpReply, 3> replies;
    int read = 0;  // replies read
    // The transport error that stopped the reading, and its words.
    int error = 0;
    std::string errorText;
  };

  SmtpOutcome TakeGroupSentAhead(std::string_view recipient, std::string_view returnAddress);
  SmtpOutcome SendEnvelope(std::string_view recipient, std::string_view returnAddress,
                           std::string_view message, std::span<const std::string> copies);
  SmtpOutcome NotTheMessageSentAhead();
  SmtpOutcome SendCopies(std::span<const std::string> copies);
  SmtpOutcome SendMessageText(std::string_view message, const SmtpNextMessage* next);
  SmtpOutcome PrepareEnvelope(std::string_view recipient, std::string_view returnAddress,
                              std::string_view message, Envelope& out);
  SmtpOutcome PrepareAddresses(std::string_view recipient, const EnvelopeAddressScan& recipientScan,
                               std::string_view returnAddress,
                               const EnvelopeAddressScan& returnScan, bool knownReturnAddress,
                               Envelope& out);
  template <typename Out>
  static void AppendEnvelope(const Envelope& envelope, Out& out);
  void ReadGroup();
  SmtpOutcome JudgeGroup();
  SmtpOutcome EndAbandonedData();

  // Every command goes out through Command, and every reply is judged by Judge.
  SmtpOutcome Command(SmtpStep step, std::string_view verb, std::string_view argument,
                      std::string_view ending, std::chrono::milliseconds timeout, Expect expect);
  // `wentAhead` tells whether some of the text was written before its end.
  int SendText(std::string_view message, std::string_view& endOfData, bool& wentAhead);
  SmtpOutcome Judge(SmtpStep step, Expect expect);
  SmtpOutcome ResetAfterRefusal(SmtpOutcome refusal);
  // A failed or cancelled wait: the connection is closed. `read` is the
  // reply being read (after a protocol error, the line that broke it),
  // `before` a refusal the failure came after.
  SmtpOutcome TransportFailure(SmtpStep step, int error, const SmtpReply& read = {},
                               SmtpReply before = {});
  SmtpOutcome ConnectionLost(SmtpStep step, int error, std::string text, SmtpReply reply);
  std::string TransportText(SmtpStep step, int error, const SmtpReply& read) const;
  void CloseConnection();
  void Progress(SmtpStep step);

  SmtpTimeouts timeouts_;
  SmtpTransportFactory openTransport_;
  std::unique_ptr<ISmtpTransport> transport_;
  SmtpReplyReader reader_;
  bool ready_ = false;  // greeted, and every step of Connect passed
  std::string server_;  // as the user gave it
  std::string host_;
  std::uint16_t port_ = 0;
  std::string helloName_;
  SmtpCapabilities capabilities_;
  std::optional<TlsPeer> tlsPeer_;
  std::optional<SmtpAuthMechanism> authMechanism_;
  std::optional<SmtpOAuthMechanism> oauthMechanism_;
  std::string command_;
  Envelope envelope_;      // this message's
  Envelope nextEnvelope_;  // the one whose commands go behind its end of data
  Group group_;            // the last MAIL, RCPT and DATA sent together
  std::vector<RefusedCopy> refusedCopies_;
  SmtpReply lastReply_;
  SmtpReply scratchReply_;  // replies the caller need not see (the RSET after a refusal)
  SmtpReply quitReply_;
  ByteBuffer wire_;  // text not yet sent, then the end of data and what follows it
  SmtpStep currentStep_ = SmtpStep::None;
  std::chrono::milliseconds currentTimeout_{0};
  std::function<void(SmtpStep)> progress_;
  std::function<bool()> handOver_;
  std::function<void()> await_;
};

}  // namespace postrider
