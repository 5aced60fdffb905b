#include "send/paced_connection.h"

#include <utility>

#include "platform/blocking_wait.h"
#include "platform/socket_errors.h"
#include "send/send_texts.h"

namespace postrider {

PacedConnection::PacedConnection(SmtpClient& client, SendPace pace, std::string server,
                                 SmtpSessionOptions session, Hooks hooks)
    : client_(client),
      pace_(std::move(pace)),
      server_(std::move(server)),
      session_(std::move(session)),
      hooks_(std::move(hooks)) {}

SmtpOutcome PacedConnection::ConnectOnce() {
  if (hooks_.beforeConnect) {
    if (SmtpOutcome renewed = hooks_.beforeConnect(); !renewed.ok()) return renewed;
  }
  SmtpOutcome result = client_.Connect(server_, session_);
  if (result.ok()) pace_.Connected();
  return result;
}

SmtpOutcome PacedConnection::Connect() {
  waitsInVain_ = 0;
  for (;;) {
    SmtpOutcome result = ConnectOnce();
    if (result.ok() || HaltRequested()) return result;
    // A server that is busy at the greeting or log-in is waited for too.
    const auto wait = pace_.BackOffAfter(result);
    if (!wait) {
      waitsInVain_ = pace_.backOffsInARow();
      return result;
    }
    // A refused greeting leaves its connection open for QUIT: say it now,
    // rather than hold the server's slot through the wait.
    client_.Disconnect();
    Status(texts::kWaitingForServer);
    if (SmtpOutcome waited = Wait(*wait); !waited.ok()) return waited;
    Status(texts::kConnecting);
  }
}

SmtpOutcome PacedConnection::Wait(std::chrono::nanoseconds duration) {
  if (duration <= std::chrono::nanoseconds(0)) return SmtpOutcome::Accepted();
  const int result = BlockingWait(duration);
  if (result == 0) return SmtpOutcome::Accepted();
  if (result == kWsaEintr) return SmtpOutcome::Halted();
  return SmtpOutcome::TransportFailed(SmtpStep::None, result, {});
}

SmtpOutcome PacedConnection::Reconnect() {
  client_.Disconnect();
  if (HaltRequested()) return SmtpOutcome::Halted();
  Status(texts::kConnecting);
  SmtpOutcome result = Connect();
  if (result.ok() && hooks_.connected) hooks_.connected();
  return result;
}

SmtpOutcome PacedConnection::SendMail(const std::string& recipient,
                                      const std::string& returnAddress,
                                      std::string_view message, const SmtpNextMessage* next,
                                      std::span<const std::string> copies) {
  waitsInVain_ = 0;
  for (;;) {
    // Without a limit a closed connection ends the run, as it always did.
    if (renew_ || pace_.ConnectionFull() || (limited() && !client_.isConnected())) {
      renew_ = false;
      if (SmtpOutcome connected = Reconnect(); !connected.ok()) return connected;
    }
    if (SmtpOutcome waited = Wait(pace_.WaitForTurn()); !waited.ok()) return waited;
    if (HaltRequested()) return SmtpOutcome::Halted();
    pace_.MessageStarted();
    SmtpOutcome result = client_.SendMail(recipient, returnAddress, message, next, copies);
    const auto wait = pace_.BackOffAfter(result);
    if (!wait) {
      waitsInVain_ = pace_.backOffsInARow();
      pace_.Settled();
      return result;
    }
    if (hooks_.beforeRetry && !hooks_.beforeRetry(result)) return result;
    // A 4xx leaves the connection open; a new one starts the count afresh anyway.
    client_.Disconnect();
    Status(texts::kWaitingForServer);
    if (SmtpOutcome waited = Wait(*wait); !waited.ok()) return waited;
  }
}

std::string PacedConnection::AdviceAfter(const SmtpOutcome& stop) const {
  if (stop.kind() != SmtpOutcomeKind::RefusedTemporarily) return {};
  if (!limited()) return texts::kSetALimitAdvice;
  if (waitsInVain_ == 0) return {};
  return texts::kStillRefusedPrefix + std::to_string(waitsInVain_) + texts::kStillRefusedSuffix;
}

}  // namespace postrider
