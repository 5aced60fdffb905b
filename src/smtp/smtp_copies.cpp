// The Cc and Bcc recipients' RCPT TO. Apart from the client's other
// commands: the per-message code there compiles as it did before copies.
#include <algorithm>

#include "platform/tcp_socket.h"
#include "smtp/envelope_address.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_wording.h"

namespace postrider {

SmtpOutcome SmtpClient::SendCopies(std::span<const std::string> copies) {
  const bool smtpUtf8 = envelope_.mailParameters.find(" SMTPUTF8") != std::string::npos;
  for (const std::string& copy : copies) {
    std::string form = copy;
    if (std::any_of(copy.begin(), copy.end(), [](char c) { return (c & 0x80) != 0; })) {
      Result<EnvelopeAddress> prepared = PrepareEnvelopeAddress(copy);
      if (!prepared) {
        refusedCopies_.push_back({copy, "It cannot be sent: " + prepared.status().message() + "."});
        continue;
      }
      if (prepared->needsSmtpUtf8 && !smtpUtf8) {
        refusedCopies_.push_back({copy, "It has letters beyond ASCII before its @, which this "
                                        "message's envelope does not carry (SMTPUTF8)."});
        continue;
      }
      form = std::move(prepared->text);
    }
    if (!IsSafeEnvelopeAddress(form)) {
      refusedCopies_.push_back({copy, "It holds characters a mail command cannot carry."});
      continue;
    }
    currentStep_ = SmtpStep::Rcpt;
    currentTimeout_ = timeouts_.rcpt;
    const SocketDeadline deadline = DeadlineAfter(timeouts_.rcpt);
    command_.assign("RCPT TO:<").append(form).append(">\r\n");
    if (const int error = transport_->SendAll(command_, deadline, false)) {
      return TransportFailure(SmtpStep::Rcpt, error);
    }
    if (const int error = reader_.Read(*transport_, deadline, lastReply_)) {
      return TransportFailure(SmtpStep::Rcpt, error, lastReply_);
    }
    if (Wanted(Expect::Recipient, lastReply_.code)) continue;
    // A server closing the connection, or a reply that fits nothing, ends the
    // message as it would for its recipient.
    if (lastReply_.code == 421 || !IsRefusalCode(lastReply_.code)) {
      return Judge(SmtpStep::Rcpt, Expect::Recipient);
    }
    refusedCopies_.push_back({copy, ShownReply(lastReply_)});
  }
  return SmtpOutcome::Accepted();
}

}  // namespace postrider
