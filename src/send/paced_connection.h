#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "send/send_pace.h"
#include "smtp/smtp_client.h"

namespace postrider {

// Sends a run's messages over `client` at the pace `pace` sets: each in its
// turn, over a new connection once the last one carried its share, and after
// a refusal for now (a 4xx, with a limit set) once more after a wait, over a
// new connection. A Pause cuts a wait short: the message is then Halted.
class PacedConnection {
 public:
  // What the connection asks and tells the run.
  struct Hooks {
    std::function<void(const std::string&)> status;  // the status bar
    std::function<void()> connected;                 // a reconnect passed
    // Before the same message goes again after `refusal`; false stops the
    // run with the refusal.
    std::function<bool(const SmtpOutcome& refusal)> beforeRetry;
    // Whether the user has asked the run to halt.
    std::function<bool()> haltRequested;
    // Before every connection: renews what the log-in needs (an OAuth 2.0
    // access token about to expire); a failure stops the run with it.
    std::function<SmtpOutcome()> beforeConnect;
  };

  // The password `session` points at must stay while reconnects may come.
  PacedConnection(SmtpClient& client, SendPace pace, std::string server,
                  SmtpSessionOptions session, Hooks hooks);

  // Whether a limit is in force: then every message waits for its own turn.
  bool limited() const { return pace_.limits().any(); }

  // The next SendMail goes over a new connection, whatever the limits.
  void Renew() { renew_ = true; }

  // Connects, waiting for a server that refuses for now (with a limit set)
  // and trying again, as for a message.
  SmtpOutcome Connect();
  // SmtpClient::SendMail in its turn; a reconnect's failure when one was
  // needed and failed, Halted when a Pause cut a wait short.
  SmtpOutcome SendMail(const std::string& recipient, const std::string& returnAddress,
                       std::string_view message, const SmtpNextMessage* next = nullptr,
                       std::span<const std::string> copies = {});

  // What to tell the user beside `stop`, the outcome that stopped the run,
  // when it was a refusal for now: without a limit, which limit to set; with
  // one, that waiting did not help. Empty otherwise.
  std::string AdviceAfter(const SmtpOutcome& stop) const;

 private:
  SmtpOutcome Wait(std::chrono::nanoseconds duration);
  SmtpOutcome ConnectOnce();
  SmtpOutcome Reconnect();
  bool HaltRequested() const { return hooks_.haltRequested && hooks_.haltRequested(); }
  void Status(const std::string& text) {
    if (hooks_.status) hooks_.status(text);
  }

  SmtpClient& client_;
  SendPace pace_;
  std::string server_;
  SmtpSessionOptions session_;
  Hooks hooks_;
  bool renew_ = false;
  int waitsInVain_ = 0;  // waits for a server that refused the same again after each
};

}  // namespace postrider
