#include "smtp/smtp_client.h"

#include <algorithm>
#include <utility>

#include "platform/base64.h"
#include "platform/blocking_call.h"
#include "platform/secret.h"
#include "platform/server_address.h"
#include "platform/socket_errors.h"
#include "smtp/envelope_address.h"
#include "smtp/hello_name.h"
#include "smtp/sign_in_advice.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_wording.h"
#include "smtp/tls_transport.h"

namespace postrider {
namespace {

// The text goes out in blocks of about this much; the last one shares the
// end of data's write.
constexpr std::size_t kTextBlock = 64 * 1024;

// The longest HELO, or a MAIL, RCPT and DATA group with the longest
// addresses and parameters behind an end of data.
constexpr std::size_t kCommandCapacity = kMaxHelloNameLength + 2 * kMaxEnvelopeAddressLength + 128;

constexpr SmtpStep kGroupSteps[] = {SmtpStep::Mail, SmtpStep::Rcpt, SmtpStep::Data};

// Steps of a mail transaction, which a refusal leaves to be reset.
bool IsTransactionStep(SmtpStep step) {
  return step == SmtpStep::Helo || step == SmtpStep::Mail || step == SmtpStep::Rcpt ||
         step == SmtpStep::Data || step == SmtpStep::EndOfData;
}

// Whether bytes are the start of a TLS record (a handshake or an alert).
bool LooksLikeTls(std::string_view bytes) {
  return bytes.size() >= 2 && (bytes[0] == '\x16' || bytes[0] == '\x15') && bytes[1] == '\x03';
}

// What the server sent of a reply whose line end never came, when it sent any.
std::string UnfinishedLine(const SmtpReply& read) {
  if (read.code != 0 || read.text.empty()) return {};
  return "\nIt had sent, without a line end: " + PrintableText(read.text);
}

std::string AfterRefusal(const std::string& refusal) {
  return "after the server refused: " + refusal;
}

}  // namespace

SmtpClient::SmtpClient(SmtpTimeouts timeouts, SmtpTransportFactory openTransport)
    : timeouts_(timeouts),
      openTransport_(std::move(openTransport)),
      wire_(kTextBlock + SmtpTextEncoder::kMaxPiece + kCommandCapacity) {
  command_.reserve(kCommandCapacity);
}

SmtpClient::~SmtpClient() { CloseConnection(); }

void SmtpClient::Progress(SmtpStep step) {
  if (progress_) progress_(step);
}

void SmtpClient::CloseConnection() {
  if (transport_) transport_->Close();
  transport_.reset();
  reader_.Discard();
  ready_ = false;
}

// ---- What each reply means

bool SmtpClient::Wanted(Expect expect, int code) {
  switch (expect) {
    case Expect::Positive: return code >= 200 && code <= 299;
    case Expect::Recipient: return code == 250 || code == 251;
    case Expect::StartData: return code == 354;
    case Expect::Ready: return code == 220;
    case Expect::Continue: return code == 334;
    case Expect::Authenticated: return code == 235;
    case Expect::TokenAnswer: return code == 235 || code == 334;
  }
  return false;
}

SmtpOutcome SmtpClient::Judge(SmtpStep step, Expect expect) {
  const int code = lastReply_.code;
  if (Wanted(expect, code)) return SmtpOutcome::Accepted();
  if (!IsRefusalCode(code)) {
    // A reply that fits no step: the dialogue cannot go on safely.
    CloseConnection();
    return SmtpOutcome::ProtocolBroken(step,
                                       "The server's reply to " + std::string(SmtpStepName(step)) +
                                           " makes no sense there:\n" + ShownReply(lastReply_),
                                       lastReply_);
  }
  SmtpOutcome refusal = SmtpOutcome::Refused(step, lastReply_);
  if (code == 421) {
    CloseConnection();  // the server is closing the connection
  } else if (IsTransactionStep(step) && !(step == SmtpStep::EndOfData && group_.ahead)) {
    // (With the next message's commands behind the end of data, its
    // transaction stands; the refused one is over already.)
    return ResetAfterRefusal(std::move(refusal));
  }
  return refusal;
}

SmtpOutcome SmtpClient::ResetAfterRefusal(SmtpOutcome refusal) {
  if (!transport_) return refusal;  // the server closed the connection with 421
  currentStep_ = SmtpStep::Rset;
  currentTimeout_ = timeouts_.rset;
  const SocketDeadline deadline = DeadlineAfter(timeouts_.rset);
  int error = transport_->SendAll("RSET\r\n", deadline, false);
  // Its reply goes aside: the refusal's words are what the caller reads.
  if (error == 0) error = reader_.Read(*transport_, deadline, scratchReply_);
  if (error != 0) {
    // A cancel or a failure here must not pass for the refusal: the caller
    // may treat a refused recipient as a bad address and go on.
    SmtpOutcome failed = TransportFailure(SmtpStep::Rset, error, scratchReply_, refusal.reply());
    failed.AddLine(AfterRefusal(refusal.text()));
    return failed;
  }
  if (scratchReply_.code == 421) CloseConnection();
  return refusal;
}

std::string SmtpClient::TransportText(SmtpStep step, int error, const SmtpReply& read) const {
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
      return "No reply to " + name + " within " + DurationText(currentTimeout_) + "." +
             UnfinishedLine(read);
    case kWsaEintr:
      return "Cancelled while waiting for " +
             (step == SmtpStep::Text || step == SmtpStep::TlsHandshake ? name
                                                                       : "the reply to " + name) +
             ".";
    case kSmtpProtocolError:
      return "The server's reply to " + name + " broke the SMTP protocol:\n" +
             PrintableText(read.text);
    default:
      return DescribeSmtpError(error) + " (during " + name + ")." + UnfinishedLine(read);
  }
}

SmtpOutcome SmtpClient::TransportFailure(SmtpStep step, int error, const SmtpReply& read,
                                         SmtpReply before) {
  std::string text = transport_ ? transport_->errorText() : std::string();
  if (text.empty()) text = TransportText(step, error, read);
  return ConnectionLost(step, error, std::move(text), before.code != 0 ? std::move(before) : read);
}

SmtpOutcome SmtpClient::ConnectionLost(SmtpStep step, int error, std::string text,
                                       SmtpReply reply) {
  // A failed or cancelled wait leaves the dialogue out of step: the
  // connection cannot carry anything more.
  CloseConnection();
  return SmtpOutcome::TransportFailed(step, error, std::move(text), std::move(reply));
}

SmtpOutcome SmtpClient::Command(SmtpStep step, std::string_view verb, std::string_view argument,
                                std::string_view ending, std::chrono::milliseconds timeout,
                                Expect expect) {
  currentStep_ = step;
  currentTimeout_ = timeout;
  const SocketDeadline deadline = DeadlineAfter(timeout);
  command_.assign(verb).append(argument).append(ending);
  if (const int error = transport_->SendAll(command_, deadline, false)) {
    return TransportFailure(step, error);
  }
  if (const int error = reader_.Read(*transport_, deadline, lastReply_)) {
    return TransportFailure(step, error, lastReply_);
  }
  return Judge(step, expect);
}

// ---- Connecting

SmtpOutcome SmtpClient::Connect(const std::string& server, const SmtpSessionOptions& options) {
  // Whatever the last connection left (a refused greeting keeps its socket
  // for QUIT), the new one starts clean.
  if (transport_) Disconnect();
  lastReply_ = {};
  capabilities_ = {};
  tlsPeer_.reset();
  authMechanism_.reset();
  oauthMechanism_.reset();
  group_.ahead = false;
  if (options.userName.empty()) {
    reader_.HideInReplies(nullptr);
  } else {
    reader_.HideInReplies(options.signIn == SmtpSignIn::OAuth2 ? options.accessToken
                                                               : options.password);
  }
  SmtpOutcome result = Open(server, options);
  currentStep_ = SmtpStep::None;
  return result;
}

SmtpOutcome SmtpClient::Open(const std::string& server, const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::Connect;
  currentTimeout_ = timeouts_.connect;
  server_ = server;
  const std::optional<ServerEndpoint> endpoint =
      ParseServerName(server, DefaultPortFor(options.security));
  if (!endpoint) {
    return SmtpOutcome::TransportFailed(SmtpStep::Connect, kWsaHostNotFound,
                                        UnreachableServerText(server, kWsaHostNotFound));
  }
  // A name beyond ASCII is looked up, and its certificate matched, in the
  // ASCII form a resolver and a certificate hold.
  Result<std::string> asciiHost = AsciiDomainName(endpoint->host);
  if (!asciiHost) {
    return SmtpOutcome::TransportFailed(
        SmtpStep::Connect, kWsaHostNotFound,
        "The server name " + PrintableText(endpoint->host) + " " + asciiHost.status().message() +
            ".");
  }
  const ServerEndpoint lookedUp{std::move(*asciiHost), endpoint->port};
  host_ = lookedUp.host;
  port_ = lookedUp.port;
  SmtpConnection connection = openTransport_(server, lookedUp, timeouts_.connect);
  if (!connection.transport) {
    return SmtpOutcome::TransportFailed(
        SmtpStep::Connect, connection.error != 0 ? connection.error : kWsaEnotconn,
        std::move(connection.errorText));
  }
  helloName_ = ChooseHelloName(options.heloName,
                               connection.localAddress ? &*connection.localAddress : nullptr);
  transport_ = std::move(connection.transport);
  reader_.Discard();
  Progress(SmtpStep::Connect);

  if (options.security == SmtpSecurity::Tls) {
    if (SmtpOutcome tls = TakeTls(options); !tls.ok()) return tls;
  }
  if (SmtpOutcome greeting = ReadGreeting(options); !greeting.ok()) return greeting;
  if (SmtpOutcome hello = Hello(options, false); !hello.ok()) return hello;
  if (options.security == SmtpSecurity::StartTls) {
    if (SmtpOutcome tls = StartTls(options); !tls.ok()) return tls;
  }
  if (!options.userName.empty()) {
    if (SmtpOutcome auth = Authenticate(options); !auth.ok()) return auth;
  }
  ready_ = true;
  return SmtpOutcome::Accepted();
}

SmtpOutcome SmtpClient::ReadGreeting(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::Greeting;
  currentTimeout_ = timeouts_.greeting;
  const std::string who = "The SMTP server " + server_;
  if (const int error =
          reader_.Read(*transport_, DeadlineAfter(timeouts_.greeting), lastReply_)) {
    if (error == kSmtpProtocolError) {
      // Something that is no SMTP reply (say, a POP3 server on that port):
      // the user has to see it to find the mistake in the settings.
      std::string text = who + " sent an unexpected greeting:\n" + PrintableText(lastReply_.text);
      if (LooksLikeTls(reader_.TextAsSent(lastReply_))) {
        text += "\nThat is TLS, not SMTP in plain text: set Security=tls for this server.";
      }
      return ConnectionLost(SmtpStep::Greeting, error, std::move(text), lastReply_);
    }
    if (error == kWsaEtimedout) {
      std::string text =
          who + " sent no greeting within " + DurationText(timeouts_.greeting) + ".";
      if (!lastReply_.text.empty()) {
        text += UnfinishedLine(lastReply_);
      } else if (options.security != SmtpSecurity::Tls) {
        text +=
            "\nA server that expects TLS from the first byte (as on port 465) says nothing "
            "until it gets it: try Security=tls.";
      }
      return ConnectionLost(SmtpStep::Greeting, error, std::move(text), {});
    }
    if (error == kWsaEdiscon && options.security != SmtpSecurity::Tls) {
      return ConnectionLost(SmtpStep::Greeting, error,
                            who + " closed the connection before its greeting." +
                                UnfinishedLine(lastReply_),
                            lastReply_);
    }
    return TransportFailure(SmtpStep::Greeting, error, lastReply_);
  }
  if (!Wanted(Expect::Ready, lastReply_.code)) {
    if (IsRefusalCode(lastReply_.code)) {
      // Left open, so that Disconnect can still say QUIT as RFC 5321 asks.
      return SmtpOutcome::Refused(SmtpStep::Greeting, lastReply_,
                                  who + " refused the connection:\n" + ShownReply(lastReply_));
    }
    // Neither a welcome nor a refusal: the dialogue cannot start.
    CloseConnection();
    return SmtpOutcome::ProtocolBroken(
        SmtpStep::Greeting, who + " sent an unexpected greeting:\n" + ShownReply(lastReply_),
        lastReply_);
  }
  Progress(SmtpStep::Greeting);
  return SmtpOutcome::Accepted();
}

SmtpOutcome SmtpClient::Hello(const SmtpSessionOptions& options, bool afterTls) {
  capabilities_ = {};
  SmtpOutcome result =
      Command(SmtpStep::Ehlo, "EHLO ", helloName_, "\r\n", timeouts_.ehlo, Expect::Positive);
  if (result.ok()) {
    capabilities_ = ParseEhloReply(reader_.TextAsSent(lastReply_));
    Progress(SmtpStep::Ehlo);
    return result;
  }
  if (!result.refusal() || result.reply().code < 500) return result;

  // An old server: the old dialogue, with HELO and RSET before every message
  // (RFC 5321 4.1.4 lets a client fall back so).
  const std::string refused = "The server refused EHLO:\n" + ShownReply(result.reply());
  if (options.security == SmtpSecurity::StartTls && !afterTls) {
    return SmtpOutcome::TlsNotOffered(
        SmtpStep::Ehlo, refused + "\nWithout EHLO it cannot offer STARTTLS, which "
                                  "Security=starttls asks for, so nothing was sent.");
  }
  if (!options.userName.empty()) {
    return SmtpOutcome::SignInImpossible(
        SmtpStep::Ehlo,
        refused + "\nWithout EHLO it cannot offer AUTH, so UserName cannot log in.");
  }
  Progress(SmtpStep::Ehlo);
  return SmtpOutcome::Accepted();
}

SmtpOutcome SmtpClient::TakeTls(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::TlsHandshake;
  currentTimeout_ = timeouts_.tlsHandshake;
  auto tls = std::make_unique<TlsTransport>(std::move(transport_));
  TlsTransport& handshaking = *tls;
  transport_ = std::move(tls);
  const TlsOptions tlsOptions{
      host_, options.trustFile, options.fingerprint, options.security == SmtpSecurity::Tls,
      [this](std::string_view text, bool cutShort) { return reader_.Hide(text, cutShort); }};
  if (const int error =
          handshaking.Handshake(tlsOptions, DeadlineAfter(timeouts_.tlsHandshake))) {
    return TransportFailure(SmtpStep::TlsHandshake, error);
  }
  tlsPeer_ = handshaking.peer();
  Progress(SmtpStep::TlsHandshake);
  return SmtpOutcome::Accepted();
}

SmtpOutcome SmtpClient::StartTls(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::StartTls;
  if (!capabilities_.startTls) {
    // Never a silent downgrade: going on in plain text is not what was asked.
    return SmtpOutcome::TlsNotOffered(
        SmtpStep::StartTls,
        "The server does not offer STARTTLS, which Security=starttls asks for, so nothing was "
        "sent." + (capabilities_.lines.empty()
                       ? std::string()
                       : "\nIt offers: " + reader_.Shown(capabilities_.lines, ", ") +
                             "."));
  }
  if (SmtpOutcome ready = Command(SmtpStep::StartTls, "STARTTLS\r\n", {}, {}, timeouts_.startTls,
                                  Expect::Ready);
      !ready.ok()) {
    return ready;
  }
  if (reader_.HasBufferedBytes()) {
    // Bytes sent ahead of the handshake would be read as if they came over
    // TLS: the plain-text command injection of CVE-2011-0411 and its kin.
    CloseConnection();
    return SmtpOutcome::ProtocolBroken(
        SmtpStep::StartTls,
        "The server sent more after its reply to STARTTLS, before TLS began. Bytes slipped in "
        "ahead of TLS could come from anyone on the way, so the connection was closed.");
  }
  Progress(SmtpStep::StartTls);
  if (SmtpOutcome tls = TakeTls(options); !tls.ok()) return tls;
  // What the server said before TLS may have been forged: ask again.
  return Hello(options, true);
}

SmtpOutcome SmtpClient::Authenticate(const SmtpSessionOptions& options) {
  currentStep_ = SmtpStep::Auth;
  if (options.signIn == SmtpSignIn::OAuth2) return AuthenticateWithToken(options);
  const bool encrypted = transport_->isEncrypted();
  if (!encrypted && !options.allowPlainAuth) {
    return SmtpOutcome::SignInImpossible(
        SmtpStep::Auth,
        "The password is not sent over a connection without TLS. Set Security=starttls or "
        "Security=tls (or AllowPlainAuth=1 for a server on a network you trust).");
  }
  if (capabilities_.authMechanisms.empty()) {
    std::string text = "The server offers no AUTH, so UserName " + PrintableText(options.userName) +
                       " cannot log in.";
    if (!encrypted && capabilities_.startTls) {
      text += " It offers STARTTLS: many servers offer AUTH only after it (Security=starttls).";
    }
    return SmtpOutcome::SignInImpossible(SmtpStep::Auth, std::move(text));
  }
  const bool plainUsable = PlainCanCarry(
      options.userName, options.password != nullptr ? options.password->reveal() : "");
  const std::optional<SmtpAuthMechanism> mechanism =
      ChooseAuthMechanism(capabilities_, plainUsable);
  if (!mechanism && !plainUsable && capabilities_.OffersAuth("PLAIN")) {
    return SmtpOutcome::SignInImpossible(
        SmtpStep::Auth,
        PlainCanCarry(options.userName, {})
            ? "The password holds a NUL byte, which AUTH PLAIN cannot carry, and the server "
              "offers no AUTH LOGIN. (A password file saved as UTF-16 holds such bytes.)"
            : "The user name holds a NUL byte, which AUTH PLAIN cannot carry, and the server "
              "offers no AUTH LOGIN.");
  }
  if (!mechanism) {
    return SmtpOutcome::SignInImpossible(
        SmtpStep::Auth, "The server offers AUTH " +
                            reader_.Shown(capabilities_.authOffered, " ") +
                            ", but neither PLAIN nor LOGIN, the ones this program speaks.");
  }
  SmtpOutcome result = LogIn(*mechanism, options);
  if (result.refusal()) {
    // A provider that wants another sign-in says so in its words; the advice follows them.
    return SmtpOutcome::Refused(
        SmtpStep::Auth, result.reply(),
        WithPasswordRefusalAdvice("The server refused the log-in of " +
                                      PrintableText(options.userName) +
                                      " (authentication failed):\n" + ShownReply(result.reply()),
                                  result.reply()));
  }
  if (!result.ok()) return result;
  authMechanism_ = mechanism;
  Progress(SmtpStep::Auth);
  return result;
}

SmtpOutcome SmtpClient::LogIn(SmtpAuthMechanism mechanism, const SmtpSessionOptions& options) {
  const std::string_view password =
      options.password != nullptr ? options.password->reveal() : std::string_view();
  SmtpOutcome result;
  std::string response;
  if (mechanism == SmtpAuthMechanism::Plain) {
    response = PlainAuthResponse(options.userName, password);
    if (InitialResponseFits("AUTH PLAIN ", response)) {
      result = Command(SmtpStep::Auth, "AUTH PLAIN ", response, "\r\n", timeouts_.auth,
                       Expect::Authenticated);
    } else {
      result = Command(SmtpStep::Auth, "AUTH PLAIN\r\n", {}, {}, timeouts_.auth,
                       Expect::Continue);
      if (result.ok()) {
        result = Command(SmtpStep::Auth, response, {}, "\r\n", timeouts_.auth,
                         Expect::Authenticated);
      }
    }
  } else {
    result = Command(SmtpStep::Auth, "AUTH LOGIN\r\n", {}, {}, timeouts_.auth, Expect::Continue);
    if (result.ok()) {
      response = Base64(options.userName);
      result = Command(SmtpStep::Auth, response, {}, "\r\n", timeouts_.auth, Expect::Continue);
    }
    if (result.ok()) {
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
  return result;
}

SmtpOutcome SmtpClient::AuthenticateWithToken(const SmtpSessionOptions& options) {
  const OAuthMechanismChoice choice =
      ChooseOAuthMechanism(capabilities_, transport_->isEncrypted(), options.userName, &reader_);
  if (!choice.mechanism) return SmtpOutcome::SignInImpossible(SmtpStep::Auth, choice.refusal);
  const SmtpOAuthMechanism mechanism = *choice.mechanism;
  const std::string_view token =
      options.accessToken != nullptr ? options.accessToken->reveal() : std::string_view();
  std::string response = OAuthInitialResponse(mechanism, options.userName, host_, port_, token);
  const std::string verb = "AUTH " + std::string(OAuthMechanismName(mechanism)) + " ";
  SmtpOutcome result;
  if (InitialResponseFits(verb, response)) {
    result = Command(SmtpStep::Auth, verb, response, "\r\n", timeouts_.auth, Expect::TokenAnswer);
  } else {
    // A long token goes as a line of its own after the server's empty 334, as with PLAIN.
    std::string_view bare(verb);
    bare.remove_suffix(1);
    result = Command(SmtpStep::Auth, bare, {}, "\r\n", timeouts_.auth, Expect::Continue);
    if (result.ok()) {
      result = Command(SmtpStep::Auth, response, {}, "\r\n", timeouts_.auth, Expect::TokenAnswer);
    }
  }
  // Nothing made from the token stays in memory.
  WipeString(response);
  WipeString(command_);
  command_.reserve(kCommandCapacity);
  std::optional<OAuthErrorDocument> document;
  if (result.ok() && lastReply_.code == 334) {
    // A refused token: the challenge holds the server's reasons, and the
    // exchange ends only once it is answered (RFC 7628 3.2.3).
    document = ReadOAuthChallenge(reader_.TextAsSent(lastReply_));
    if (document) {
      for (std::string* said : {&document->status, &document->scope, &document->schemes}) {
        *said = reader_.Hide(*said);
      }
    }
    result = Command(SmtpStep::Auth, OAuthChallengeAnswer(mechanism), {}, "\r\n",
                     timeouts_.auth, Expect::Authenticated);
    if (result.ok()) {
      CloseConnection();
      return SmtpOutcome::ProtocolBroken(
          SmtpStep::Auth,
          "The server took the OAuth 2.0 sign-in after refusing its token:\n" +
              ShownReply(lastReply_),
          lastReply_);
    }
  }
  if (result.refusal()) {
    return SmtpOutcome::Refused(SmtpStep::Auth, result.reply(),
                                OAuthRefusalText(options.userName, result.reply(), document));
  }
  if (!result.ok()) return result;
  oauthMechanism_ = mechanism;
  Progress(SmtpStep::Auth);
  return result;
}

std::string_view SmtpClient::authMechanismName() const {
  if (oauthMechanism_) return OAuthMechanismName(*oauthMechanism_);
  if (authMechanism_) return AuthMechanismName(*authMechanism_);
  return {};
}

// ---- Sending

SmtpOutcome SmtpClient::SendMail(const std::string& recipient, const std::string& returnAddress,
                                 std::string_view message, const SmtpNextMessage* next,
                                 std::span<const std::string> copies) {
  if (!refusedCopies_.empty()) refusedCopies_.clear();
  // One return of one named outcome, so that it is never moved: this runs
  // for every message.
  SmtpOutcome envelope = !group_.ahead ? SendEnvelope(recipient, returnAddress, message, copies)
                         : copies.empty() ? TakeGroupSentAhead(recipient, returnAddress)
                                          : NotTheMessageSentAhead();
  SmtpOutcome result = envelope.ok() ? SendMessageText(message, next) : std::move(envelope);
  currentStep_ = SmtpStep::None;
  return result;
}

SmtpOutcome SmtpClient::NotTheMessageSentAhead() {
  // Commands sent ahead carry no copies: this cannot be their message.
  group_.ahead = false;
  CloseConnection();
  return SmtpOutcome::ProtocolBroken(
      SmtpStep::Mail,
      "The message is not the one whose commands were sent ahead, so the connection was "
      "closed.");
}

SmtpOutcome SmtpClient::PrepareAddresses(std::string_view recipient,
                                         const EnvelopeAddressScan& recipientScan,
                                         std::string_view returnAddress,
                                         const EnvelopeAddressScan& returnScan,
                                         bool knownReturnAddress, Envelope& out) {
  bool smtpUtf8 = false;
  const auto prepare = [&](std::string_view address, bool ascii, SmtpStep step,
                           std::string_view role, std::string& envelopeForm) -> SmtpOutcome {
    if (ascii) {
      envelopeForm.assign(address);
      return SmtpOutcome::Accepted();
    }
    Result<EnvelopeAddress> prepared = PrepareEnvelopeAddress(address);
    if (!prepared) {
      return SmtpOutcome::UnsendableAddress(
          step, std::string(role) + " " + PrintableText(address) +
                    " cannot be sent: " + prepared.status().message() + ".");
    }
    if (prepared->needsSmtpUtf8 && !capabilities_.smtpUtf8) {
      return SmtpOutcome::UnsendableAddress(
          step, std::string(role) + " " + PrintableText(address) +
                    " has letters beyond ASCII before its @, and the server does not offer "
                    "SMTPUTF8 to carry them.");
    }
    if (!IsSafeEnvelopeAddress(prepared->text)) {
      return SmtpOutcome::UnsafeAddress(
          step, std::string(role) + " " + PrintableText(address) + " is too long.");
    }
    smtpUtf8 = smtpUtf8 || prepared->needsSmtpUtf8;
    envelopeForm = std::move(prepared->text);
    return SmtpOutcome::Accepted();
  };
  if (!knownReturnAddress) {
    out.returnAddressAsGiven = false;
    if (SmtpOutcome from = prepare(returnAddress, returnScan.ascii, SmtpStep::Mail,
                                   "The return address", out.returnAddress);
        !from.ok()) {
      return from;
    }
    out.returnAddressAsGiven = returnScan.ascii;
  }
  if (SmtpOutcome to =
          prepare(recipient, recipientScan.ascii, SmtpStep::Rcpt, "The address", out.recipient);
      !to.ok()) {
    return to;
  }
  if (smtpUtf8) out.mailParameters += " SMTPUTF8";
  return SmtpOutcome::Accepted();
}

SmtpOutcome SmtpClient::PrepareEnvelope(std::string_view recipient,
                                        std::string_view returnAddress, std::string_view message,
                                        Envelope& out) {
  // A run gives every message the same return address.
  const bool knownReturnAddress = out.returnAddressAsGiven && returnAddress == out.returnAddress;
  const EnvelopeAddressScan returnScan = knownReturnAddress
                                             ? EnvelopeAddressScan{.safe = true, .ascii = true}
                                             : ScanEnvelopeAddress(returnAddress);
  if (!returnScan.safe) {
    return SmtpOutcome::UnsafeAddress(
        SmtpStep::Mail, "The return address holds characters a mail command cannot carry.");
  }
  const EnvelopeAddressScan recipientScan = ScanEnvelopeAddress(recipient);
  if (!recipientScan.safe) {
    return SmtpOutcome::UnsafeAddress(
        SmtpStep::Rcpt,
        "The address holds characters a mail command cannot carry, or is too long.");
  }
  if (!ready_) {
    return SmtpOutcome::TransportFailed(SmtpStep::Connect, kWsaEnotconn,
                                        "Not connected to the server.");
  }

  // The MAIL line's end: its parameters, then CR LF.
  out.mailParameters.assign(">");
  if (capabilities_.extended && capabilities_.size) {
    const std::size_t size = SmtpTextEncoder::MessageSize(message);
    if (capabilities_.sizeLimit > 0 && size > capabilities_.sizeLimit) {
      return SmtpOutcome::TooLarge("The message is " + std::to_string(size) +
                                   " bytes, more than the " +
                                   std::to_string(capabilities_.sizeLimit) +
                                   " bytes the server takes (SIZE), so it was not sent.");
    }
    out.mailParameters += " SIZE=";
    out.mailParameters += std::to_string(size);
  }
  if (SmtpOutcome addresses = PrepareAddresses(recipient, recipientScan, returnAddress,
                                               returnScan, knownReturnAddress, out);
      !addresses.ok()) {
    return addresses;
  }
  out.mailParameters += "\r\n";
  return SmtpOutcome::Accepted();
}

template <typename Out>
void SmtpClient::AppendEnvelope(const Envelope& envelope, Out& out) {
  out.append("MAIL FROM:<").append(envelope.returnAddress).append(envelope.mailParameters);
  out.append("RCPT TO:<").append(envelope.recipient).append(">\r\n");
  out.append("DATA\r\n");
}

SmtpOutcome SmtpClient::SendEnvelope(std::string_view recipient, std::string_view returnAddress,
                                     std::string_view message,
                                     std::span<const std::string> copies) {
  if (SmtpOutcome prepared = PrepareEnvelope(recipient, returnAddress, message, envelope_);
      !prepared.ok()) {
    return prepared;
  }
  if (!capabilities_.extended) {
    // The server refused EHLO: every message repeats HELO and RSET first.
    if (SmtpOutcome helo = Command(SmtpStep::Helo, "HELO ", helloName_, "\r\n", timeouts_.helo,
                                   Expect::Positive);
        !helo.ok()) {
      return helo;
    }
    if (SmtpOutcome rset =
            Command(SmtpStep::Rset, "RSET\r\n", {}, {}, timeouts_.rset, Expect::Positive);
        !rset.ok()) {
      return rset;
    }
  }
  if (capabilities_.pipelining && copies.empty()) {
    currentStep_ = SmtpStep::Mail;
    currentTimeout_ = timeouts_.mail;
    command_.clear();
    AppendEnvelope(envelope_, command_);
    if (const int error = transport_->SendAll(command_, DeadlineAfter(timeouts_.mail), false)) {
      return TransportFailure(SmtpStep::Mail, error);
    }
    ReadGroup();
    return JudgeGroup();
  }
  if (SmtpOutcome mail = Command(SmtpStep::Mail, "MAIL FROM:<", envelope_.returnAddress,
                                 envelope_.mailParameters, timeouts_.mail, Expect::Positive);
      !mail.ok()) {
    return mail;
  }
  if (SmtpOutcome rcpt = Command(SmtpStep::Rcpt, "RCPT TO:<", envelope_.recipient, ">\r\n",
                                 timeouts_.rcpt, Expect::Recipient);
      !rcpt.ok()) {
    return rcpt;
  }
  if (SmtpOutcome sent = SendCopies(copies); !sent.ok()) return sent;
  return Command(SmtpStep::Data, "DATA\r\n", {}, {}, timeouts_.data, Expect::StartData);
}

SmtpOutcome SmtpClient::TakeGroupSentAhead(std::string_view recipient,
                                           std::string_view returnAddress) {
  // This message's MAIL, RCPT and DATA went behind the last one's end of data.
  group_.ahead = false;
  if (recipient != group_.recipient || returnAddress != group_.returnAddress) {
    // Not the message they were sent for: nothing may go under that envelope.
    CloseConnection();
    return SmtpOutcome::ProtocolBroken(
        SmtpStep::Mail,
        "The message is not the one whose commands were sent ahead, so the connection was "
        "closed.");
  }
  if (SmtpOutcome judged = JudgeGroup(); !judged.ok()) return judged;
  // Nothing of this message has waited on the user yet: a Pause given
  // since its commands went ahead stops it here, before its text, as it
  // would have at MAIL.
  currentStep_ = SmtpStep::Data;
  currentTimeout_ = timeouts_.data;
  BlockingCallScope call;
  if (const int cancelled = call.entered() ? call.RunHook() : 0) {
    return TransportFailure(SmtpStep::Data, cancelled);
  }
  return SmtpOutcome::Accepted();
}

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
      if (group_.errorText.empty()) group_.errorText = TransportText(kGroupSteps[i], error, reply);
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

SmtpOutcome SmtpClient::JudgeGroup() {
  constexpr Expect kExpects[] = {Expect::Positive, Expect::Recipient, Expect::StartData};
  // The first reply its command did not want decides; a 421 ends the group.
  int decisive = -1;
  for (int i = 0; i < group_.read && decisive < 0; ++i) {
    if (!Wanted(kExpects[i], group_.replies[i].code)) decisive = i;
  }
  if (group_.read > 0 && group_.replies[group_.read - 1].code == 421) decisive = group_.read - 1;

  if (group_.error != 0) {
    std::string text = std::move(group_.errorText);
    SmtpReply reply = group_.replies[group_.read];
    if (decisive >= 0) {
      // As when the reset after a refusal fails: the refusal does not stand
      // alone, so nobody takes the connection's loss for a bad address.
      text += "\n" + AfterRefusal(ShownReply(group_.replies[decisive]));
      reply = group_.replies[decisive];
    }
    return SmtpOutcome::TransportFailed(kGroupSteps[group_.read], group_.error, std::move(text),
                                        std::move(reply));
  }
  if (decisive < 0) return SmtpOutcome::Accepted();  // the server waits for the text

  lastReply_ = group_.replies[decisive];
  if (decisive < 2 && group_.read == 3 && group_.replies[2].code == 354) {
    // DATA was taken although MAIL or RCPT was not (RFC 2920 3.1).
    if (SmtpOutcome ended = EndAbandonedData(); !ended.ok()) return ended;
  }
  return Judge(kGroupSteps[decisive], kExpects[decisive]);
}

SmtpOutcome SmtpClient::EndAbandonedData() {
  // The end of data alone, no text: a transaction without its recipient
  // carries nothing to anyone.
  currentStep_ = SmtpStep::Data;
  currentTimeout_ = timeouts_.endOfData;
  const SocketDeadline deadline = DeadlineAfter(timeouts_.endOfData);
  int error = transport_->SendAll(".\r\n", deadline, false);
  if (error == 0) error = reader_.Read(*transport_, deadline, scratchReply_);
  if (error != 0) {
    const SmtpReply refusal = lastReply_;
    SmtpOutcome failed = TransportFailure(SmtpStep::Data, error, scratchReply_, refusal);
    failed.AddLine(AfterRefusal(ShownReply(refusal)));
    return failed;
  }
  if (scratchReply_.code == 421) CloseConnection();
  return SmtpOutcome::Accepted();
}

SmtpOutcome SmtpClient::SendMessageText(std::string_view message, const SmtpNextMessage* next) {
  if (!reader_.HasBufferedBytes()) reader_.TakeBuffered(*transport_);
  if (reader_.HasBufferedBytes()) {
    // After 354 the server waits for the text and says nothing: whatever it
    // sent meanwhile would be read as this message's answer.
    std::string shown = reader_.ShownBufferedLine();
    CloseConnection();
    return SmtpOutcome::ProtocolBroken(
        SmtpStep::Data,
        "The server sent more after its reply to DATA, before the message text:\n" + shown +
            "\nIts answer to the message could not be told from that, so the message was not "
            "sent and the connection was closed.");
  }
  std::string_view endOfData;
  bool wentAhead = false;
  if (const int error = SendText(message, endOfData, wentAhead)) {
    return TransportFailure(SmtpStep::Text, error);
  }
  if (handOver_ && !handOver_()) {
    CloseConnection();
    return SmtpOutcome::HeldBack(
        "The message was held back before its end, so the server did not take it.");
  }
  // The server says nothing until the end of data: a reply that came while
  // the text went out would be taken for the answer to an end it never saw.
  // What the transport holds back goes first (TLS keeps the last block to
  // share a record), so that the look, which does not wait, writes nothing.
  // A text that goes out whole with its end gives no time to answer early,
  // and is spared the look's system call.
  if (wentAhead) {
    if (const int error = transport_->SendAll({}, DeadlineAfter(timeouts_.textBlock), false)) {
      return TransportFailure(SmtpStep::Text, error);
    }
    if (const int looked = reader_.LookNow(*transport_); looked == 0) {
      std::string shown = reader_.ShownBufferedLine();
      CloseConnection();
      return SmtpOutcome::ProtocolBroken(
          SmtpStep::Text,
          "The server answered before the end of the message text:\n" + shown +
              "\nThat is no answer to the whole message, so the message was not finished and "
              "the connection was closed.");
    } else if (looked != kWsaEtimedout) {
      return TransportFailure(SmtpStep::Text, looked);
    }
  }
  // The text's last block, the end of data and the next message's commands
  // go in one write (RFC 2920 lets the text lead a group): the server
  // answers only the end of data and a handful of short lines, so its
  // replies cannot fill the socket while this write waits. A next message
  // that cannot go (too large, an address the server cannot take) is not
  // sent ahead; its own SendMail says why.
  const bool sendAhead =
      next != nullptr && capabilities_.pipelining &&
      PrepareEnvelope(next->recipient, next->returnAddress, next->message, nextEnvelope_).ok();
  currentStep_ = SmtpStep::EndOfData;
  currentTimeout_ = timeouts_.textBlock;
  wire_.append(endOfData);
  if (sendAhead) AppendEnvelope(nextEnvelope_, wire_);
  if (const int error =
          transport_->SendAll(wire_.view(), DeadlineAfter(timeouts_.textBlock), false)) {
    return TransportFailure(SmtpStep::EndOfData, error);
  }
  if (await_) await_();
  currentTimeout_ = timeouts_.endOfData;
  if (const int error =
          reader_.Read(*transport_, DeadlineAfter(timeouts_.endOfData), lastReply_)) {
    return TransportFailure(SmtpStep::EndOfData, error, lastReply_);
  }
  const int code = lastReply_.code;
  if (sendAhead && code != 421 && ((code >= 200 && code <= 299) || IsRefusalCode(code))) {
    // Read now, so that nothing else is sent into their replies; judged
    // when their message is sent.
    ReadGroup();
    group_.ahead = true;
    group_.recipient.assign(next->recipient);
    group_.returnAddress.assign(next->returnAddress);
  }
  return Judge(SmtpStep::EndOfData, Expect::Positive);
}

int SmtpClient::SendText(std::string_view message, std::string_view& endOfData,
                         bool& wentAhead) {
  currentStep_ = SmtpStep::Text;
  currentTimeout_ = timeouts_.textBlock;
  SmtpTextEncoder encoder(message);
  wire_.clear();
  for (;;) {
    // Encoded straight into the write: a message below the block size in
    // one call.
    const std::size_t room = kTextBlock + SmtpTextEncoder::kMaxPiece - wire_.size();
    const std::size_t length = encoder.NextPiece(wire_.Room(room), room);
    if (length == 0) break;
    wire_.Commit(length);
    if (wire_.size() < kTextBlock) continue;
    // More follows at once: let the blocks share packets.
    if (const int error =
            transport_->SendAll(wire_.view(), DeadlineAfter(timeouts_.textBlock), true)) {
      return error;
    }
    wentAhead = true;
    wire_.clear();
  }
  endOfData = encoder.EndOfData();
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
