#include "send/paced_connection.h"

#include "platform/blocking_wait.h"
#include "platform/socket_errors.h"
#include "send/send_texts.h"

namespace postrider {

int PacedConnection::ConnectOnce() {
  const int result = client_.Connect(server_, session_);
  if (result == 0) pace_.Connected();
  return result;
}

int PacedConnection::Connect() {
  waitsInVain_ = 0;
  for (;;) {
    const int result = ConnectOnce();
    if (result == 0 || haltRequested_) return result;
    // A server that is busy at the greeting or log-in is waited for too.
    const auto wait = pace_.BackOffAfter(result, client_.lastReplyText());
    if (!wait) {
      waitsInVain_ = pace_.backOffsInARow();
      return result;
    }
    // A refused greeting leaves its connection open for QUIT: say it now,
    // rather than hold the server's slot through the wait.
    client_.Disconnect();
    Status(texts::kWaitingForServer);
    if (const int waited = Wait(*wait)) return waited;
    Status(texts::kConnecting);
  }
}

int PacedConnection::Wait(std::chrono::nanoseconds duration) {
  if (duration <= std::chrono::nanoseconds(0)) return 0;
  waiting_ = true;
  const int result = BlockingWait(duration);
  waiting_ = false;
  return result == kWsaEintr ? kPaceWaitHalted : result;
}

int PacedConnection::Reconnect() {
  client_.Disconnect();
  if (haltRequested_) return kPaceWaitHalted;
  Status(texts::kConnecting);
  const int result = Connect();
  if (result == 0 && hooks_.connected) hooks_.connected();
  return result;
}

int PacedConnection::SendMail(const std::string& recipient, const std::string& returnAddress,
                              std::string_view message, const SmtpNextMessage* next) {
  waitsInVain_ = 0;
  for (;;) {
    // Without a limit a closed connection ends the run, as it always did.
    if (renew_ || pace_.ConnectionFull() || (pace_.limits().any() && !client_.isConnected())) {
      renew_ = false;
      if (const int result = Reconnect()) return result;
    }
    if (const int waited = Wait(pace_.WaitForTurn())) return waited;
    if (haltRequested_) return kPaceWaitHalted;
    pace_.MessageStarted();
    const int result = client_.SendMail(recipient, returnAddress, message, next);
    const auto wait = pace_.BackOffAfter(result, client_.lastReplyText());
    if (!wait) {
      waitsInVain_ = pace_.backOffsInARow();
      pace_.Settled();
      return result;
    }
    if (hooks_.beforeRetry && !hooks_.beforeRetry()) return result;
    // A 4xx leaves the connection open; a new one starts the count afresh anyway.
    client_.Disconnect();
    Status(texts::kWaitingForServer);
    if (const int waited = Wait(*wait)) return waited;
  }
}

std::string PacedConnection::AdviceAfter(int result) const {
  if (!IsTemporaryRefusal(result, client_.lastReplyText())) return {};
  if (!pace_.limits().any()) return texts::kSetALimitAdvice;
  if (waitsInVain_ == 0) return {};
  return texts::kStillRefusedPrefix + std::to_string(waitsInVain_) + texts::kStillRefusedSuffix;
}

}  // namespace postrider
