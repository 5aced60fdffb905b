#include "smtp/smtp_outcome.h"

#include <utility>

#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

using Kind = SmtpOutcomeKind;

// What a refusal means for what comes next. A 421 closes the connection
// whatever it adds; a 4xx is for now unless its enhanced code says
// otherwise ("450 5.7.1" contradicts itself, and the permanent half is taken
// at its word); a 5xx at RCPT is this recipient's alone.
Kind RefusalKind(SmtpStep step, int code, const std::optional<EnhancedStatus>& enhanced) {
  if (code == 421) return Kind::RefusedTemporarily;
  if (code >= 400 && code <= 499) {
    return !enhanced || enhanced->statusClass == 4 ? Kind::RefusedTemporarily
                                                   : Kind::RefusedPermanently;
  }
  if (step == SmtpStep::Rcpt) return Kind::RecipientRefused;
  if (step == SmtpStep::Auth) return Kind::SignIn;
  return Kind::RefusedPermanently;
}

Kind TransportKind(int error) {
  switch (error) {
    case kWsaEintr: return Kind::Cancelled;
    case kSmtpProtocolError: return Kind::Protocol;
    case kSmtpTlsFailed:
    case kSmtpCertificateRejected: return Kind::Tls;
    default: return Kind::Transport;
  }
}

}  // namespace

std::string DescribeSmtpError(int number) {
  switch (number) {
    case kSmtpProtocolError: return "The server's reply broke the SMTP protocol";
    case kSmtpTlsFailed: return "The TLS connection failed";
    case kSmtpCertificateRejected: return "The server's certificate is not trusted";
    default: return DescribeSocketError(number);
  }
}

std::string_view SmtpOutcomeKindName(SmtpOutcomeKind kind) {
  switch (kind) {
    case Kind::Accepted: return "accepted";
    case Kind::RefusedTemporarily: return "refused temporarily";
    case Kind::RefusedPermanently: return "refused permanently";
    case Kind::RecipientRefused: return "recipient refused";
    case Kind::AddressUnusable: return "address unusable";
    case Kind::ReturnAddressUnusable: return "return address unusable";
    case Kind::TooLarge: return "too large";
    case Kind::Transport: return "transport";
    case Kind::Cancelled: return "cancelled";
    case Kind::Protocol: return "protocol";
    case Kind::Tls: return "TLS";
    case Kind::SignIn: return "sign-in";
    case Kind::HeldBack: return "held back";
    case Kind::Halted: return "halted";
  }
  return "unknown";
}

bool IsRefusalCode(int code) { return code >= 400 && code <= 599; }

SmtpOutcome::SmtpOutcome(SmtpOutcomeKind kind, SmtpStep step, int number, std::string text,
                         SmtpReply reply)
    : kind_(kind), step_(step), reply_(std::move(reply)), number_(number), text_(std::move(text)) {
  if (reply_.code != 0) enhanced_ = EnhancedStatusOf(reply_);
}

SmtpOutcome SmtpOutcome::Refused(SmtpStep step, SmtpReply reply, std::string text) {
  if (text.empty()) text = ShownReply(reply);
  const Kind kind = RefusalKind(step, reply.code, EnhancedStatusOf(reply));
  const int code = reply.code;
  return {kind, step, code, std::move(text), std::move(reply)};
}

SmtpOutcome SmtpOutcome::ProtocolBroken(SmtpStep step, std::string text, SmtpReply reply) {
  return {Kind::Protocol, step, kSmtpProtocolError, std::move(text), std::move(reply)};
}

SmtpOutcome SmtpOutcome::TransportFailed(SmtpStep step, int error, std::string text,
                                         SmtpReply reply) {
  if (text.empty()) text = DescribeSmtpError(error);
  return {TransportKind(error), step, error, std::move(text), std::move(reply)};
}

SmtpOutcome SmtpOutcome::TlsNotOffered(SmtpStep step, std::string text) {
  return {Kind::Tls, step, kSmtpTlsNotOffered, std::move(text)};
}

SmtpOutcome SmtpOutcome::SignInImpossible(SmtpStep step, std::string text) {
  return {Kind::SignIn, step, kSmtpAuthNotPossible, std::move(text)};
}

SmtpOutcome SmtpOutcome::TooLarge(std::string text) {
  return {Kind::TooLarge, SmtpStep::Mail, kSmtpMessageTooLarge, std::move(text)};
}

SmtpOutcome SmtpOutcome::UnsafeAddress(SmtpStep step, std::string text) {
  return {step == SmtpStep::Rcpt ? Kind::AddressUnusable : Kind::ReturnAddressUnusable, step,
          kSmtpUnsafeAddress, std::move(text)};
}

SmtpOutcome SmtpOutcome::UnsendableAddress(SmtpStep step, std::string text) {
  return {step == SmtpStep::Rcpt ? Kind::AddressUnusable : Kind::ReturnAddressUnusable, step,
          kSmtpUnsendableAddress, std::move(text)};
}

SmtpOutcome SmtpOutcome::HeldBack(std::string text) {
  return {Kind::HeldBack, SmtpStep::EndOfData, kSmtpHandOverStopped, std::move(text)};
}

SmtpOutcome SmtpOutcome::Halted() {
  return {Kind::Halted, SmtpStep::None, kSmtpHalted,
          "Paused before the message began: nothing of it was sent."};
}

int SmtpOutcome::socketError() const {
  return kind_ == Kind::Transport || kind_ == Kind::Cancelled ? number_ : 0;
}

bool SmtpOutcome::leftInDoubt() const {
  if (step_ != SmtpStep::EndOfData) return false;
  switch (kind_) {
    case Kind::Transport:
    case Kind::Cancelled:
    case Kind::Protocol:
    case Kind::Tls: return true;
    default: return false;
  }
}

bool SmtpOutcome::refusedWholeMessage() const {
  return step_ == SmtpStep::EndOfData &&
         (kind_ == Kind::RefusedTemporarily || kind_ == Kind::RefusedPermanently);
}

}  // namespace postrider
