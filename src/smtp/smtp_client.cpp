#include "smtp/smtp_client.h"

#include <utility>
#include <vector>

#include "platform/server_address.h"
#include "platform/socket_errors.h"
#include "platform/tcp_socket.h"
#include "smtp/envelope_address.h"
#include "smtp/hello_name.h"
#include "smtp/plain_transport.h"

namespace postrider {
namespace {

// Every reply, its lines as the server sent them, for showing to the user.
std::string FormatReply(const SmtpReply& reply) {
  std::string shown;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = reply.text.find('\n', start);
    shown += std::to_string(reply.code);
    const std::string_view line =
        std::string_view(reply.text).substr(start, end == std::string::npos ? std::string::npos
                                                                            : end - start);
    if (!line.empty()) {
      shown += ' ';
      shown += line;
    }
    if (end == std::string::npos) break;
    shown += '\n';
    start = end + 1;
  }
  return shown;
}

// A line that is not an SMTP reply may hold anything: keep control
// characters out of the message box.
std::string Printable(std::string_view line) {
  std::string shown(line);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7f) c = '?';
  }
  return shown;
}

bool IsRefusal(int code) { return code >= 400 && code <= 599; }

}  // namespace

SmtpClient::SmtpClient(IUserPrompts* prompts, SmtpTimeouts timeouts)
    : prompts_(prompts), timeouts_(timeouts) {
  // "MAIL FROM:<" + the longest address + ">\r\n" and the longest HELO fit.
  command_.reserve(kMaxHelloNameLength + kMaxEnvelopeAddressLength + 16);
}

SmtpClient::~SmtpClient() { CloseConnection(); }

void SmtpClient::Tell(const std::string& text) {
  if (prompts_ != nullptr) prompts_->ShowMessage(text);
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

int SmtpClient::TransportFailure(SmtpStep step, int error) {
  // A failed or cancelled wait leaves the dialogue out of step: the
  // connection cannot carry anything more.
  failedStep_ = step;
  CloseConnection();
  return error;
}

int SmtpClient::Connect(const std::string& server) {
  failedStep_ = SmtpStep::None;
  ClearLastReply();
  currentStep_ = SmtpStep::Connect;
  const int result = [&]() -> int {
    if (transport_) {
      failedStep_ = SmtpStep::Connect;
      return kWsaEisconn;
    }
    std::vector<ResolvedAddress> addresses;
    const std::optional<ServerEndpoint> endpoint = ParseServerName(server, DefaultSmtpPort());
    const int resolveError = endpoint ? ResolveServer(*endpoint, addresses) : kWsaHostNotFound;
    if (resolveError != 0) {
      Tell("Unable to contact local host " + server);
      failedStep_ = SmtpStep::Connect;
      return resolveError;
    }

    TcpSocket socket;
    bool creationFailed = false;
    if (const int error = ConnectToAny(addresses, timeouts_.connect, socket, &creationFailed)) {
      Tell(creationFailed ? "Error creating socket" : "Socket connect failed");
      failedStep_ = SmtpStep::Connect;
      return error;
    }
    transport_ = std::make_unique<PlainTransport>(std::move(socket));
    reader_.Discard();

    currentStep_ = SmtpStep::Greeting;
    if (const int error =
            reader_.Read(*transport_, DeadlineAfter(timeouts_.greeting), lastReply_)) {
      // Something that is no SMTP reply (say, a POP3 server on that port):
      // the user has to see it to find the mistake in the settings.
      if (error == kSmtpProtocolError) {
        Tell("The SMTP server " + server + " sent an unexpected greeting:\n" +
             Printable(lastReply_.text));
      }
      return TransportFailure(SmtpStep::Greeting, error);
    }
    if (lastReply_.code != 220) {
      failedStep_ = SmtpStep::Greeting;
      if (IsRefusal(lastReply_.code)) {
        // Left open, so that Disconnect can still say QUIT as RFC 5321 asks.
        Tell("The SMTP server " + server + " refused the connection:\n" +
             FormatReply(lastReply_));
        return lastReply_.code;
      }
      // Neither a welcome nor a refusal: the dialogue cannot start.
      Tell("The SMTP server " + server + " sent an unexpected greeting:\n" +
           Printable(FormatReply(lastReply_)));
      CloseConnection();
      return kSmtpProtocolError;
    }
    helloName_ = LocalHelloName();
    ready_ = true;
    return 0;
  }();
  currentStep_ = SmtpStep::None;
  return result;
}

int SmtpClient::SendMail(const std::string& recipient, const std::string& returnAddress,
                         std::string_view message) {
  failedStep_ = SmtpStep::None;
  const int result = RunTransaction(recipient, returnAddress, message);
  currentStep_ = SmtpStep::None;
  return result;
}

int SmtpClient::RunTransaction(std::string_view recipient, std::string_view returnAddress,
                               std::string_view message) {
  if (!IsSafeEnvelopeAddress(returnAddress)) {
    failedStep_ = SmtpStep::Mail;
    return kSmtpUnsafeAddress;
  }
  if (!IsSafeEnvelopeAddress(recipient)) {
    failedStep_ = SmtpStep::Rcpt;
    return kSmtpUnsafeAddress;
  }
  if (!ready_) {
    ClearLastReply();
    failedStep_ = SmtpStep::Connect;
    return kWsaEnotconn;
  }

  if (const int r = Command(SmtpStep::Helo, "HELO ", helloName_, "\r\n", timeouts_.helo,
                            Expect::Positive)) {
    return r;
  }
  if (const int r = Command(SmtpStep::Rset, "RSET\r\n", {}, {}, timeouts_.rset, Expect::Positive)) {
    return r;
  }
  if (const int r = Command(SmtpStep::Mail, "MAIL FROM:<", returnAddress, ">\r\n", timeouts_.mail,
                            Expect::Positive)) {
    return r;
  }
  if (const int r = Command(SmtpStep::Rcpt, "RCPT TO:<", recipient, ">\r\n", timeouts_.rcpt,
                            Expect::Recipient)) {
    return r;
  }
  if (const int r =
          Command(SmtpStep::Data, "DATA\r\n", {}, {}, timeouts_.data, Expect::StartData)) {
    return r;
  }

  std::string_view endOfData;
  if (const int error = SendText(message, endOfData)) {
    ClearLastReply();
    return TransportFailure(SmtpStep::Text, error);
  }

  currentStep_ = SmtpStep::EndOfData;
  if (const int error =
          transport_->SendAll(endOfData, DeadlineAfter(timeouts_.textBlock), false)) {
    ClearLastReply();
    return TransportFailure(SmtpStep::EndOfData, error);
  }
  if (const int error =
          reader_.Read(*transport_, DeadlineAfter(timeouts_.endOfData), lastReply_)) {
    return TransportFailure(SmtpStep::EndOfData, error);
  }
  return Judge(SmtpStep::EndOfData, Expect::Positive);
}

int SmtpClient::SendText(std::string_view message, std::string_view& endOfData) {
  currentStep_ = SmtpStep::Text;
  SmtpTextEncoder encoder(message);
  for (;;) {
    const std::size_t length = encoder.NextPiece(piece_.data());
    if (length == 0) break;
    // The end-of-data line follows at once: let the pieces share packets.
    if (const int error = transport_->SendAll(std::string_view(piece_.data(), length),
                                              DeadlineAfter(timeouts_.textBlock), true)) {
      return error;
    }
  }
  endOfData = encoder.EndOfData();
  return 0;
}

int SmtpClient::Command(SmtpStep step, std::string_view verb, std::string_view argument,
                        std::string_view ending, std::chrono::milliseconds timeout,
                        Expect expect) {
  currentStep_ = step;
  command_.assign(verb).append(argument).append(ending);
  const SocketDeadline deadline = DeadlineAfter(timeout);
  if (const int error = transport_->SendAll(command_, deadline, false)) {
    ClearLastReply();
    return TransportFailure(step, error);
  }
  if (const int error = reader_.Read(*transport_, deadline, lastReply_)) {
    return TransportFailure(step, error);
  }
  return Judge(step, expect);
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
  }
  failedStep_ = step;
  if (!IsRefusal(code)) {
    // A reply that fits no step: the dialogue cannot go on safely.
    CloseConnection();
    return kSmtpProtocolError;
  }
  if (code == 421) {
    CloseConnection();  // the server is closing the connection
  } else if (step != SmtpStep::Rset) {
    // A cancel or a failure here must not pass for the refusal: the caller
    // may treat a refused recipient as a bad address and go on.
    if (const int error = ResetAfterRefusal()) return error;
  }
  return code;
}

int SmtpClient::ResetAfterRefusal() {
  currentStep_ = SmtpStep::Rset;
  const SocketDeadline deadline = DeadlineAfter(timeouts_.rset);
  int error = transport_->SendAll("RSET\r\n", deadline, false);
  // Its reply goes aside: lastReply_ keeps the refusal's words.
  if (error == 0) error = reader_.Read(*transport_, deadline, scratchReply_);
  if (error != 0) return TransportFailure(SmtpStep::Rset, error);
  if (scratchReply_.code == 421) CloseConnection();
  return 0;
}

int SmtpClient::Disconnect() {
  if (transport_) {
    currentStep_ = SmtpStep::Quit;
    const SocketDeadline deadline = DeadlineAfter(timeouts_.quit);
    if (transport_->SendAll("QUIT\r\n", deadline, false) == 0) {
      reader_.Read(*transport_, deadline, scratchReply_);
    }
  }
  CloseConnection();
  currentStep_ = SmtpStep::None;
  return 0;
}

}  // namespace postrider
