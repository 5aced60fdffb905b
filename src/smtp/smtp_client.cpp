#include "smtp/smtp_client.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/base64.h"
#include "platform/blocking_call.h"
#include "platform/secret.h"
#include "platform/server_address.h"
#include "platform/socket_errors.h"
#include "platform/tcp_socket.h"
#include "smtp/envelope_address.h"
#include "smtp/hello_name.h"
#include "smtp/plain_transport.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

bool IsRefusal(int code) { return code >= 400 && code <= 599; }

// The longest HELO, or a MAIL, RCPT and DATA group with the longest
// addresses and parameters behind an end of data.
// The text goes out in blocks of about this much; the last one shares the
// end of data's write.
constexpr std::size_t kTextBlock = 64 * 1024;

constexpr std::size_t kCommandCapacity = kMaxHelloNameLength + 2 * kMaxEnvelopeAddressLength + 128;

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Steps of a mail transaction, which a refusal leaves to be reset.
bool IsTransactionStep(SmtpStep step) {
  return step == SmtpStep::Helo || step == SmtpStep::Mail || step == SmtpStep::Rcpt ||
         step == SmtpStep::Data || step == SmtpStep::EndOfData;
}

// Whether bytes are the start of a TLS record (a handshake or an alert).
bool LooksLikeTls(std::string_view bytes) {
  return bytes.size() >= 2 && (bytes[0] == '\x16' || bytes[0] == '\x15') && bytes[1] == '\x03';
}

}  // namespace

std::string_view SmtpStepName(SmtpStep step) {
  switch (step) {
    case SmtpStep::None: return "nothing";
    case SmtpStep::Connect: return "the connection";
    case SmtpStep::TlsHandshake: return "the TLS handshake";
    case SmtpStep::Greeting: return "the greeting";
    case SmtpStep::Ehlo: return "EHLO";
    case SmtpStep::StartTls: return "STARTTLS";
    case SmtpStep::Auth: return "AUTH";
    case SmtpStep::Helo: return "HELO";
    case SmtpStep::Rset: return "RSET";
    case SmtpStep::Mail: return "MAIL FROM";
    case SmtpStep::Rcpt: return "RCPT TO";
    case SmtpStep::Data: return "DATA";
    case SmtpStep::Text: return "the message text";
    case SmtpStep::EndOfData: return "the end of the message";
    case SmtpStep::Quit: return "QUIT";
  }
  return "nothing";
}

SmtpClient::SmtpClient(SmtpTimeouts timeouts) : timeouts_(timeouts) {
  command_.reserve(kCommandCapacity);
  wire_.reserve(kTextBlock + SmtpTextEncoder::kMaxPiece + kCommandCapacity);
}

SmtpClient::~SmtpClient() { CloseConnection(); }

void SmtpClient::Progress(SmtpStep step) {
  if (progress_) progress_(step);
}

void SmtpClient::ClearLastReply() {
  lastReply_.code = 0;
  lastReply_.text.clear();
}

void SmtpClient::CloseConnection() {
  if (transport_) transport_->Close();
  transport_.reset();
  reader_.Discard();
  ready_ = false;
}

int SmtpClient::Fail(SmtpStep step, int result, std::string text) {
  failedStep_ = step;
  failureText_ = std::move(text);
  return result;
}

std::string SmtpClient::TransportText(SmtpStep step, int error) const {
  const std::string name(SmtpStepName(step));
  switch (error) {
    case kWsaEtimedout:
      if (step == SmtpStep::Text) {
        return "The server took none of the message text for " + DurationText(currentTimeout_) +
               ".";
      }
      if (step == SmtpStep::TlsHandshake) {
        return "The TLS handshake did not finish within " + DurationText(currentTimeout_) + ".";
      }
      return "No reply to " + name + " within " + DurationText(currentTimeout_) + ".";
    case kWsaEintr:
      return "Cancelled while waiting for " +
             (step == SmtpStep::Text || step == SmtpStep::TlsHandshake ? name
                                                                       : "the reply to " + name) +
             ".";
    case kSmtpProtocolError:
      return "The server's reply to " + name + " broke the SMTP protocol:\n" +
             PrintableText(lastReply_.text);
    default:
      return DescribeSocketError(error) + " (during " + name + ").";
  }
}

int SmtpClient::TransportFailure(SmtpStep step, int error) {
  // A failed or cancelled wait leaves the dialogue out of step: the
  // connection cannot carry anything more.
  std::string text = transport_ ? transport_->errorText() : std::string();
  Fail(step, error, text.empty() ? TransportText(step, error) : std::move(text));
  CloseConnection();
  return error;
}

int SmtpClient::Connect(const std::string& server, const SmtpSessionOptions& options) {
  // Whatever the last connection left (a refused greeting keeps its socket
  // for QUIT), the new one starts clean.
  if (transport_) Disconnect();
  failedStep_ = SmtpStep::None;
  failureText_.clear();
  ClearLastReply();
  capabilities_ = {};
  tlsPeer_.reset();
  authMechanism_.reset();
  group_.ahead = false;
  const int result = Open(server, options);
  currentStep_ = SmtpStep::None;
  return result;
}

int SmtpClient::Open(const std::string& server, const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::Connect;
  currentTimeout_ = timeouts_.connect;
  server_ = server;
  std::vector<ResolvedAddress> addresses;
  const std::optional<ServerEndpoint> endpoint =
      ParseServerName(server, DefaultPortFor(options.security));
  const int resolveError = endpoint ? ResolveServer(*endpoint, addresses) : kWsaHostNotFound;
  if (resolveError != 0) {
    return Fail(SmtpStep::Connect, resolveError,
                "Unable to contact local host " + server + "\n" +
                    DescribeSocketError(resolveError));
  }
  host_ = endpoint->host;
  port_ = endpoint->port;

  TcpSocket socket;
  bool creationFailed = false;
  if (const int error = ConnectToAny(addresses, timeouts_.connect, socket, &creationFailed)) {
    if (creationFailed) {
      return Fail(SmtpStep::Connect, error,
                  "Error creating socket\n" + DescribeSocketError(error));
    }
    const std::string why = error == kWsaEtimedout
                                ? "no answer within " + DurationText(timeouts_.connect)
                                : DescribeSocketError(error);
    return Fail(SmtpStep::Connect, error,
                "Socket connect failed\n" + host_ + " port " + std::to_string(port_) + ": " + why);
  }
  ResolvedAddress local;
  const bool haveLocal = socket.LocalAddress(local);
  helloName_ = ChooseHelloName(options.heloName, haveLocal ? &local : nullptr);
  transport_ = std::make_unique<PlainTransport>(std::move(socket));
  reader_.Discard();
  Progress(SmtpStep::Connect);

  if (options.security == SmtpSecurity::Tls) {
    if (const int error = TakeTls(options)) return error;
  }
  if (const int error = ReadGreeting(options)) return error;
  if (const int error = Hello(options, false)) return error;
  if (options.security == SmtpSecurity::StartTls) {
    if (const int error = StartTls(options)) return error;
  }
  if (!options.userName.empty()) {
    if (const int error = Authenticate(options)) return error;
  }
  ready_ = true;
  return 0;
}

int SmtpClient::ReadGreeting(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::Greeting;
  currentTimeout_ = timeouts_.greeting;
  const std::string who = "The SMTP server " + server_;
  if (const int error =
          reader_.Read(*transport_, DeadlineAfter(timeouts_.greeting), lastReply_)) {
    if (error == kSmtpProtocolError) {
      // Something that is no SMTP reply (say, a POP3 server on that port):
      // the user has to see it to find the mistake in the settings.
      std::string text = who + " sent an unexpected greeting:\n" + PrintableText(lastReply_.text);
      if (LooksLikeTls(lastReply_.text)) {
        text += "\nThat is TLS, not SMTP in plain text: set Security=tls for this server.";
      }
      TransportFailure(SmtpStep::Greeting, error);
      failureText_ = std::move(text);
      return error;
    }
    TransportFailure(SmtpStep::Greeting, error);
    if (error == kWsaEtimedout) {
      failureText_ = who + " sent no greeting within " + DurationText(timeouts_.greeting) + ".";
      if (options.security != SmtpSecurity::Tls) {
        failureText_ +=
            "\nA server that expects TLS from the first byte (as on port 465) says nothing "
            "until it gets it: try Security=tls.";
      }
    } else if (error == kWsaEdiscon && options.security != SmtpSecurity::Tls) {
      failureText_ = who + " closed the connection before its greeting.";
    }
    return error;
  }
  if (lastReply_.code != 220) {
    failedStep_ = SmtpStep::Greeting;
    if (IsRefusal(lastReply_.code)) {
      // Left open, so that Disconnect can still say QUIT as RFC 5321 asks.
      failureText_ = who + " refused the connection:\n" + ShownReply(lastReply_);
      return lastReply_.code;
    }
    // Neither a welcome nor a refusal: the dialogue cannot start.
    failureText_ = who + " sent an unexpected greeting:\n" + ShownReply(lastReply_);
    CloseConnection();
    return kSmtpProtocolError;
  }
  Progress(SmtpStep::Greeting);
  return 0;
}

int SmtpClient::Hello(const SmtpSessionOptions& options, bool afterTls) {
  capabilities_ = {};
  const int result =
      Command(SmtpStep::Ehlo, "EHLO ", helloName_, "\r\n", timeouts_.ehlo, Expect::Positive);
  if (result == 0) {
    capabilities_ = ParseEhloReply(lastReply_.text);
    Progress(SmtpStep::Ehlo);
    return 0;
  }
  if (result < 500 || result > 599) return result;

  // An old server: the old dialogue, with HELO and RSET before every message
  // (RFC 5321 4.1.4 lets a client fall back so).
  const std::string refused = "The server refused EHLO:\n" + ShownReply(lastReply_);
  if (options.security == SmtpSecurity::StartTls && !afterTls) {
    return Fail(SmtpStep::Ehlo, kSmtpTlsNotOffered,
                refused + "\nWithout EHLO it cannot offer STARTTLS, which Security=starttls "
                          "asks for, so nothing was sent.");
  }
  if (!options.userName.empty()) {
    return Fail(SmtpStep::Ehlo, kSmtpAuthNotPossible,
                refused + "\nWithout EHLO it cannot offer AUTH, so UserName cannot log in.");
  }
  failedStep_ = SmtpStep::None;
  failureText_.clear();
  Progress(SmtpStep::Ehlo);
  return 0;
}

int SmtpClient::TakeTls(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::TlsHandshake;
  currentTimeout_ = timeouts_.tlsHandshake;
  auto tls = std::make_unique<TlsTransport>(std::move(transport_));
  TlsTransport& handshaking = *tls;
  transport_ = std::move(tls);
  const TlsOptions tlsOptions{host_, options.trustFile, options.fingerprint,
                              options.security == SmtpSecurity::Tls};
  if (const int error =
          handshaking.Handshake(tlsOptions, DeadlineAfter(timeouts_.tlsHandshake))) {
    return TransportFailure(SmtpStep::TlsHandshake, error);
  }
  tlsPeer_ = handshaking.peer();
  Progress(SmtpStep::TlsHandshake);
  return 0;
}

int SmtpClient::StartTls(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::StartTls;
  if (!capabilities_.startTls) {
    // Never a silent downgrade: going on in plain text is not what was asked.
    return Fail(SmtpStep::StartTls, kSmtpTlsNotOffered,
                "The server does not offer STARTTLS, which Security=starttls asks for, so "
                "nothing was sent." +
                    (capabilities_.lines.empty()
                         ? std::string()
                         : "\nIt offers: " + JoinLines(capabilities_.lines, ", ") + "."));
  }
  if (const int result = Command(SmtpStep::StartTls, "STARTTLS\r\n", {}, {}, timeouts_.startTls,
                                 Expect::Ready)) {
    return result;
  }
  if (reader_.HasBufferedBytes()) {
    // Bytes sent ahead of the handshake would be read as if they came over
    // TLS: the plain-text command injection of CVE-2011-0411 and its kin.
    Fail(SmtpStep::StartTls, kSmtpProtocolError,
         "The server sent more after its reply to STARTTLS, before TLS began. Bytes slipped "
         "in ahead of TLS could come from anyone on the way, so the connection was closed.");
    CloseConnection();
    return kSmtpProtocolError;
  }
  Progress(SmtpStep::StartTls);
  if (const int error = TakeTls(options)) return error;
  // What the server said before TLS may have been forged: ask again.
  return Hello(options, true);
}

int SmtpClient::Authenticate(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::Auth;
  const bool encrypted = transport_->isEncrypted();
  if (!encrypted && !options.allowPlainAuth) {
    return Fail(SmtpStep::Auth, kSmtpAuthNotPossible,
                "The password is not sent over a connection without TLS. Set Security=starttls "
                "or Security=tls (or AllowPlainAuth=1 for a server on a network you trust).");
  }
  if (capabilities_.authMechanisms.empty()) {
    std::string text = "The server offers no AUTH, so UserName " + PrintableText(options.userName) +
                       " cannot log in.";
    if (!encrypted && capabilities_.startTls) {
      text += " It offers STARTTLS: many servers offer AUTH only after it (Security=starttls).";
    }
    return Fail(SmtpStep::Auth, kSmtpAuthNotPossible, text);
  }
  const std::optional<SmtpAuthMechanism> mechanism = ChooseAuthMechanism(capabilities_);
  if (!mechanism) {
    return Fail(SmtpStep::Auth, kSmtpAuthNotPossible,
                "The server offers AUTH " + JoinLines(capabilities_.authMechanisms, " ") +
                    ", but neither PLAIN nor LOGIN, the ones this program speaks.");
  }

  const std::string_view password =
      options.password != nullptr ? options.password->reveal() : std::string_view();
  int result = 0;
  std::string response;
  if (*mechanism == SmtpAuthMechanism::Plain) {
    response = PlainAuthResponse(options.userName, password);
    result = Command(SmtpStep::Auth, "AUTH PLAIN ", response, "\r\n", timeouts_.auth,
                     Expect::Authenticated);
  } else {
    result = Command(SmtpStep::Auth, "AUTH LOGIN\r\n", {}, {}, timeouts_.auth, Expect::Continue);
    if (result == 0) {
      response = Base64(options.userName);
      result = Command(SmtpStep::Auth, response, {}, "\r\n", timeouts_.auth, Expect::Continue);
    }
    if (result == 0) {
      WipeString(response);
      response = Base64(password);
      result = Command(SmtpStep::Auth, response, {}, "\r\n", timeouts_.auth,
                       Expect::Authenticated);
    }
  }
  // Nothing made from the password stays in memory.
  WipeString(response);
  WipeString(command_);
  command_.reserve(kCommandCapacity);
  if (result != 0) {
    if (IsRefusal(result)) {
      failureText_ = "The server refused the log-in of " + PrintableText(options.userName) +
                     " (authentication failed):\n" + ShownReply(lastReply_);
    }
    return result;
  }
  authMechanism_ = mechanism;
  Progress(SmtpStep::Auth);
  return 0;
}

int SmtpClient::SendMail(const std::string& recipient, const std::string& returnAddress,
                         std::string_view message, const SmtpNextMessage* next) {
  failedStep_ = SmtpStep::None;
  failureText_.clear();
  const int result = RunTransaction(recipient, returnAddress, message, next);
  currentStep_ = SmtpStep::None;
  return result;
}

int SmtpClient::PrepareAddresses(std::string_view recipient, std::string_view returnAddress,
                                 Envelope& out) {
  bool smtpUtf8 = false;
  const auto prepare = [&](std::string_view address, SmtpStep step, std::string_view role,
                           std::string& envelopeForm) -> int {
    if (IsAscii(address)) {
      envelopeForm.assign(address);
      return 0;
    }
    Result<EnvelopeAddress> prepared = PrepareEnvelopeAddress(address);
    if (!prepared) {
      return Fail(step, kSmtpUnsendableAddress,
                  std::string(role) + " " + PrintableText(address) + " cannot be sent: " +
                      prepared.status().message() + ".");
    }
    if (prepared->needsSmtpUtf8 && !capabilities_.smtpUtf8) {
      return Fail(step, kSmtpUnsendableAddress,
                  std::string(role) + " " + PrintableText(address) +
                      " has letters beyond ASCII before its @, and the server does not offer "
                      "SMTPUTF8 to carry them.");
    }
    if (!IsSafeEnvelopeAddress(prepared->text)) {
      return Fail(step, kSmtpUnsafeAddress,
                  std::string(role) + " " + PrintableText(address) + " is too long.");
    }
    smtpUtf8 = smtpUtf8 || prepared->needsSmtpUtf8;
    envelopeForm = std::move(prepared->text);
    return 0;
  };
  if (const int r =
          prepare(returnAddress, SmtpStep::Mail, "The return address", out.returnAddress)) {
    return r;
  }
  if (const int r = prepare(recipient, SmtpStep::Rcpt, "The address", out.recipient)) return r;
  if (smtpUtf8) out.mailParameters += " SMTPUTF8";
  return 0;
}

int SmtpClient::PrepareEnvelope(std::string_view recipient, std::string_view returnAddress,
                                std::string_view message, Envelope& out) {
  if (!IsSafeEnvelopeAddress(returnAddress)) {
    return Fail(SmtpStep::Mail, kSmtpUnsafeAddress,
                "The return address holds characters a mail command cannot carry.");
  }
  if (!IsSafeEnvelopeAddress(recipient)) {
    return Fail(SmtpStep::Rcpt, kSmtpUnsafeAddress,
                "The address holds characters a mail command cannot carry, or is too long.");
  }
  if (!ready_) {
    ClearLastReply();
    return Fail(SmtpStep::Connect, kWsaEnotconn, "Not connected to the server.");
  }

  // The MAIL line's end: its parameters, then CR LF.
  out.mailParameters.assign(">");
  if (capabilities_.extended && capabilities_.size) {
    const std::size_t size = SmtpTextEncoder::MessageSize(message);
    if (capabilities_.sizeLimit > 0 && size > capabilities_.sizeLimit) {
      ClearLastReply();
      return Fail(SmtpStep::Mail, kSmtpMessageTooLarge,
                  "The message is " + std::to_string(size) + " bytes, more than the " +
                      std::to_string(capabilities_.sizeLimit) +
                      " bytes the server takes (SIZE), so it was not sent.");
    }
    out.mailParameters += " SIZE=";
    out.mailParameters += std::to_string(size);
  }
  if (const int r = PrepareAddresses(recipient, returnAddress, out)) {
    ClearLastReply();
    return r;
  }
  out.mailParameters += "\r\n";
  return 0;
}

bool SmtpClient::PrepareAhead(const SmtpNextMessage& next) {
  // A next message that cannot go (too large, an address the server cannot
  // take) is not sent ahead; its own SendMail says why.
  const bool ready =
      PrepareEnvelope(next.recipient, next.returnAddress, next.message, nextEnvelope_) == 0;
  failedStep_ = SmtpStep::None;
  failureText_.clear();
  return ready;
}

void SmtpClient::AppendEnvelope(const Envelope& envelope, std::string& out) const {
  out.append("MAIL FROM:<").append(envelope.returnAddress).append(envelope.mailParameters);
  out.append("RCPT TO:<").append(envelope.recipient).append(">\r\n");
  out.append("DATA\r\n");
}

namespace {

constexpr SmtpStep kGroupSteps[] = {SmtpStep::Mail, SmtpStep::Rcpt, SmtpStep::Data};

}  // namespace

void SmtpClient::ReadGroup() {
  const std::chrono::milliseconds timeouts[] = {timeouts_.mail, timeouts_.rcpt, timeouts_.data};
  group_.read = 0;
  group_.error = 0;
  group_.errorText.clear();
  for (int i = 0; i < 3; ++i) {
    currentStep_ = kGroupSteps[i];
    currentTimeout_ = timeouts[i];
    SmtpReply& reply = group_.replies[i];
    if (const int error = reader_.Read(*transport_, DeadlineAfter(timeouts[i]), reply)) {
      // Judged when the group's message is sent: the connection is out of step.
      group_.error = error;
      group_.errorText = transport_->errorText();
      if (group_.errorText.empty()) {
        std::swap(lastReply_, reply);
        group_.errorText = TransportText(kGroupSteps[i], error);
        std::swap(lastReply_, reply);
      }
      CloseConnection();
      return;
    }
    ++group_.read;
    if (reply.code == 421) {
      CloseConnection();  // the server is closing the connection
      return;
    }
  }
}

int SmtpClient::JudgeGroup() {
  constexpr Expect kExpects[] = {Expect::Positive, Expect::Recipient, Expect::StartData};
  const auto wanted = [](int code, Expect expect) {
    switch (expect) {
      case Expect::Recipient: return code == 250 || code == 251;
      case Expect::StartData: return code == 354;
      default: return code >= 200 && code <= 299;
    }
  };
  // The first reply its command did not want decides; a 421 ends the group.
  int decisive = -1;
  for (int i = 0; i < group_.read && decisive < 0; ++i) {
    if (!wanted(group_.replies[i].code, kExpects[i])) decisive = i;
  }
  if (group_.read > 0 && group_.replies[group_.read - 1].code == 421) decisive = group_.read - 1;

  if (group_.error != 0) {
    lastReply_ = group_.replies[group_.read];
    std::string text = std::move(group_.errorText);
    if (decisive >= 0) {
      // As when the reset after a refusal fails: the refusal does not stand
      // alone, so nobody takes the connection's loss for a bad address.
      text += "\nafter the server refused: " + ShownReply(group_.replies[decisive]);
      lastReply_ = group_.replies[decisive];
    }
    return Fail(kGroupSteps[group_.read], group_.error, std::move(text));
  }
  if (decisive < 0) return 0;  // the server waits for the text

  lastReply_ = group_.replies[decisive];
  if (decisive < 2 && group_.read == 3 && group_.replies[2].code == 354) {
    // DATA was taken although MAIL or RCPT was not (RFC 2920 3.1).
    if (const int error = EndAbandonedData()) return error;
  }
  return Judge(kGroupSteps[decisive], kExpects[decisive]);
}

int SmtpClient::EndAbandonedData() {
  // The end of data alone, no text: a transaction without its recipient
  // carries nothing to anyone.
  currentStep_ = SmtpStep::Data;
  currentTimeout_ = timeouts_.endOfData;
  const SocketDeadline deadline = DeadlineAfter(timeouts_.endOfData);
  int error = transport_->SendAll(".\r\n", deadline, false);
  if (error == 0) error = reader_.Read(*transport_, deadline, scratchReply_);
  if (error != 0) {
    const std::string refusal = ShownReply(lastReply_);
    const SmtpReply kept = lastReply_;
    TransportFailure(SmtpStep::Data, error);
    failureText_ += "\nafter the server refused: " + refusal;
    lastReply_ = kept;
    return error;
  }
  if (scratchReply_.code == 421) CloseConnection();
  return 0;
}

int SmtpClient::RunTransaction(std::string_view recipient, std::string_view returnAddress,
                               std::string_view message, const SmtpNextMessage* next) {
  if (group_.ahead) {
    // This message's MAIL, RCPT and DATA went behind the last one's end of data.
    group_.ahead = false;
    if (recipient != group_.recipient || returnAddress != group_.returnAddress) {
      // Not the message they were sent for: nothing may go under that envelope.
      ClearLastReply();
      CloseConnection();
      return Fail(SmtpStep::Mail, kSmtpProtocolError,
                  "The message is not the one whose commands were sent ahead, so the "
                  "connection was closed.");
    }
    if (const int r = JudgeGroup()) return r;
    // Nothing of this message has waited on the user yet: a Pause given
    // since its commands went ahead stops it here, before its text, as it
    // would have at MAIL.
    currentStep_ = SmtpStep::Data;
    currentTimeout_ = timeouts_.data;
    BlockingCallScope call;
    if (const int cancelled = call.entered() ? call.RunHook() : 0) {
      ClearLastReply();
      return TransportFailure(SmtpStep::Data, cancelled);
    }
  } else {
    if (const int r = PrepareEnvelope(recipient, returnAddress, message, envelope_)) return r;
    if (!capabilities_.extended) {
      // The server refused EHLO: every message repeats HELO and RSET first.
      if (const int r = Command(SmtpStep::Helo, "HELO ", helloName_, "\r\n", timeouts_.helo,
                                Expect::Positive)) {
        return r;
      }
      if (const int r =
              Command(SmtpStep::Rset, "RSET\r\n", {}, {}, timeouts_.rset, Expect::Positive)) {
        return r;
      }
    }
    if (capabilities_.pipelining) {
      currentStep_ = SmtpStep::Mail;
      currentTimeout_ = timeouts_.mail;
      command_.clear();
      AppendEnvelope(envelope_, command_);
      if (const int error = transport_->SendAll(command_, DeadlineAfter(timeouts_.mail), false)) {
        ClearLastReply();
        return TransportFailure(SmtpStep::Mail, error);
      }
      ReadGroup();
      if (const int r = JudgeGroup()) return r;
    } else {
      if (const int r = Command(SmtpStep::Mail, "MAIL FROM:<", envelope_.returnAddress,
                                envelope_.mailParameters, timeouts_.mail, Expect::Positive)) {
        return r;
      }
      if (const int r = Command(SmtpStep::Rcpt, "RCPT TO:<", envelope_.recipient, ">\r\n",
                                timeouts_.rcpt, Expect::Recipient)) {
        return r;
      }
      if (const int r =
              Command(SmtpStep::Data, "DATA\r\n", {}, {}, timeouts_.data, Expect::StartData)) {
        return r;
      }
    }
  }

  std::string_view endOfData;
  if (const int error = SendText(message, endOfData)) {
    ClearLastReply();
    return TransportFailure(SmtpStep::Text, error);
  }

  if (handOver_ && !handOver_()) {
    ClearLastReply();
    CloseConnection();
    return Fail(SmtpStep::EndOfData, kSmtpHandOverStopped,
                "The message was held back before its end, so the server did not take it.");
  }
  // The text's last block, the end of data and the next message's commands
  // go in one write (RFC 2920 lets the text lead a group): the server
  // answers only the end of data and a handful of short lines, so its
  // replies cannot fill the socket while this write waits.
  const bool sendAhead = next != nullptr && capabilities_.pipelining && PrepareAhead(*next);
  currentStep_ = SmtpStep::EndOfData;
  currentTimeout_ = timeouts_.textBlock;
  wire_.append(endOfData);
  if (sendAhead) AppendEnvelope(nextEnvelope_, wire_);
  if (const int error = transport_->SendAll(wire_, DeadlineAfter(timeouts_.textBlock), false)) {
    ClearLastReply();
    return TransportFailure(SmtpStep::EndOfData, error);
  }
  currentTimeout_ = timeouts_.endOfData;
  if (const int error =
          reader_.Read(*transport_, DeadlineAfter(timeouts_.endOfData), lastReply_)) {
    return TransportFailure(SmtpStep::EndOfData, error);
  }
  const int code = lastReply_.code;
  if (sendAhead && code != 421 && ((code >= 200 && code <= 299) || IsRefusal(code))) {
    // Read now, so that nothing else is sent into their replies; judged
    // when their message is sent.
    ReadGroup();
    group_.ahead = true;
    group_.recipient.assign(next->recipient);
    group_.returnAddress.assign(next->returnAddress);
  }
  return Judge(SmtpStep::EndOfData, Expect::Positive);
}

int SmtpClient::SendText(std::string_view message, std::string_view& endOfData) {
  currentStep_ = SmtpStep::Text;
  currentTimeout_ = timeouts_.textBlock;
  SmtpTextEncoder encoder(message);
  wire_.clear();
  for (;;) {
    const std::size_t length = encoder.NextPiece(piece_.data());
    if (length == 0) break;
    wire_.append(piece_.data(), length);
    if (wire_.size() < kTextBlock) continue;
    // More follows at once: let the blocks share packets.
    if (const int error = transport_->SendAll(wire_, DeadlineAfter(timeouts_.textBlock), true)) {
      return error;
    }
    wire_.clear();
  }
  endOfData = encoder.EndOfData();
  return 0;
}

int SmtpClient::SendCommand(SmtpStep step, std::string_view verb, std::string_view argument,
                            std::string_view ending, SocketDeadline deadline) {
  currentStep_ = step;
  command_.assign(verb).append(argument).append(ending);
  if (const int error = transport_->SendAll(command_, deadline, false)) {
    ClearLastReply();
    return TransportFailure(step, error);
  }
  return 0;
}

int SmtpClient::AwaitReply(SmtpStep step, Expect expect, SocketDeadline deadline) {
  currentStep_ = step;
  if (const int error = reader_.Read(*transport_, deadline, lastReply_)) {
    return TransportFailure(step, error);
  }
  return Judge(step, expect);
}

int SmtpClient::Command(SmtpStep step, std::string_view verb, std::string_view argument,
                        std::string_view ending, std::chrono::milliseconds timeout,
                        Expect expect) {
  currentTimeout_ = timeout;
  const SocketDeadline deadline = DeadlineAfter(timeout);
  if (const int error = SendCommand(step, verb, argument, ending, deadline)) return error;
  return AwaitReply(step, expect, deadline);
}

int SmtpClient::Judge(SmtpStep step, Expect expect) {
  const int code = lastReply_.code;
  switch (expect) {
    case Expect::Positive:
      if (code >= 200 && code <= 299) return 0;
      break;
    case Expect::Recipient:
      if (code == 250 || code == 251) return 0;
      break;
    case Expect::StartData:
      if (code == 354) return 0;
      break;
    case Expect::Ready:
      if (code == 220) return 0;
      break;
    case Expect::Continue:
      if (code == 334) return 0;
      break;
    case Expect::Authenticated:
      if (code == 235) return 0;
      break;
  }
  failedStep_ = step;
  if (!IsRefusal(code)) {
    // A reply that fits no step: the dialogue cannot go on safely.
    failureText_ = "The server's reply to " + std::string(SmtpStepName(step)) +
                   " makes no sense there:\n" + ShownReply(lastReply_);
    CloseConnection();
    return kSmtpProtocolError;
  }
  failureText_ = ShownReply(lastReply_);
  if (code == 421) {
    CloseConnection();  // the server is closing the connection
  } else if (IsTransactionStep(step) && !(step == SmtpStep::EndOfData && group_.ahead)) {
    // (With the next message's commands behind the end of data, its
    // transaction stands; the refused one is over already.)
    // A cancel or a failure here must not pass for the refusal: the caller
    // may treat a refused recipient as a bad address and go on.
    if (const int error = ResetAfterRefusal()) return error;
  }
  return code;
}

int SmtpClient::ResetAfterRefusal() {
  if (!transport_) return 0;  // the server closed the connection with 421
  currentStep_ = SmtpStep::Rset;
  currentTimeout_ = timeouts_.rset;
  const std::string refusal = failureText_;
  const SocketDeadline deadline = DeadlineAfter(timeouts_.rset);
  int error = transport_->SendAll("RSET\r\n", deadline, false);
  // Its reply goes aside: lastReply_ keeps the refusal's words.
  if (error == 0) error = reader_.Read(*transport_, deadline, scratchReply_);
  if (error != 0) {
    TransportFailure(SmtpStep::Rset, error);
    failureText_ += "\nafter the server refused: " + refusal;
    return error;
  }
  if (scratchReply_.code == 421) CloseConnection();
  return 0;
}

int SmtpClient::Disconnect() {
  quitReply_ = {};
  // QUIT into a message's data would become its text: such a message is
  // left unfinished, and the server drops it with the connection.
  const bool inData = group_.ahead && group_.read == 3 && group_.replies[2].code == 354;
  group_.ahead = false;
  if (transport_ && !inData) {
    currentStep_ = SmtpStep::Quit;
    const SocketDeadline deadline = DeadlineAfter(timeouts_.quit);
    if (transport_->SendAll("QUIT\r\n", deadline, false) == 0 &&
        reader_.Read(*transport_, deadline, quitReply_) == 0) {
      Progress(SmtpStep::Quit);
    }
  }
  CloseConnection();
  currentStep_ = SmtpStep::None;
  return 0;
}

}  // namespace postrider
