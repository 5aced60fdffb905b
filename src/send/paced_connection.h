#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "send/send_pace.h"
#include "smtp/smtp_client.h"

namespace postrider {

// What PacedConnection::SendMail gives when Pause cut one of its waits
// short: the entry was not sent and the run halts at it.
constexpr int kPaceWaitHalted = -20;

// Sends a run's messages over `client` at the pace `pace` sets: each in its
// turn, over a new connection once the last one carried its share, and after
// a refusal for now (a 4xx, with a limit set) once more after a wait, over a
// new connection.
// The password the session points at must stay while reconnects may come.
class PacedConnection {
 public:
  struct Hooks {
    std::function<void(const std::string&)> status;  // the status bar
    std::function<void()> connected;                 // a reconnect passed
    // Before the same message goes again; false stops the run with the refusal.
    std::function<bool()> beforeRetry;
  };

  PacedConnection(SmtpClient& client, SendPace& pace, std::string server,
                  const SmtpSessionOptions& session, const bool& haltRequested, bool& waiting,
                  Hooks hooks)
      : client_(client),
        pace_(pace),
        server_(std::move(server)),
        session_(session),
        haltRequested_(haltRequested),
        waiting_(waiting),
        hooks_(std::move(hooks)) {}

  void SetBeforeRetry(std::function<bool()> hook) { hooks_.beforeRetry = std::move(hook); }
  void SetConnected(std::function<void()> hook) { hooks_.connected = std::move(hook); }

  // The next SendMail goes over a new connection, whatever the limits.
  void Renew() { renew_ = true; }

  // Connects, waiting for a server that refuses for now (with a limit set)
  // and trying again, as for a message.
  int Connect();
  // SmtpClient::SendMail in its turn. Besides its results: a failed
  // reconnect's, or kPaceWaitHalted.
  int SendMail(const std::string& recipient, const std::string& returnAddress,
               std::string_view message, const SmtpNextMessage* next = nullptr);

  // What to tell the user beside `result`, the failure that stopped the run,
  // when it was a refusal for now: without a limit, which limit to set; with
  // one, that waiting did not help. Empty otherwise.
  std::string AdviceAfter(int result) const;

 private:
  int Wait(std::chrono::nanoseconds duration);
  int ConnectOnce();
  int Reconnect();
  void Status(const std::string& text) {
    if (hooks_.status) hooks_.status(text);
  }

  SmtpClient& client_;
  SendPace& pace_;
  std::string server_;
  const SmtpSessionOptions& session_;
  const bool& haltRequested_;
  bool& waiting_;  // true while a wait runs, so that Pause cuts it short at once
  Hooks hooks_;
  bool renew_ = false;
  int waitsInVain_ = 0;  // waits for a server that refused the same again after each
};

}  // namespace postrider
