#include "send/send_run.h"

#include <algorithm>
#include <ctime>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"
#include "platform/user_paths.h"
#include "project/address_check.h"
#include "project/postridr_doc.h"
#include "send/message_composer.h"
#include "send/send_log.h"
#include "send/send_texts.h"

namespace postrider {

namespace {

std::string SendingText(int count, int total) {
  return "Sending " + std::to_string(count) + " of " + std::to_string(total);
}

std::string ErrorText(int position, int entries, int error) {
  return SendingText(position, entries) + " - Error " + std::to_string(error);
}

// What the user reads about a failed message: the server's own words when it
// refused, else what the socket said.
std::string FailureDetail(const SmtpClient& client, int result) {
  if (result == kSmtpUnsafeAddress) {
    return "The return address holds characters a mail command cannot carry.";
  }
  if (result >= 400 && result < 600 && !client.lastReplyText().empty()) {
    return client.lastReplyText();
  }
  return DescribeSocketError(result);
}

// A server refusal at RCPT with a 5xx code says the address is bad; the run
// goes on with the next entry. So does an address the client would not send.
// An unsafe return address, though, spoils every message: that stops the run.
bool IsBadAddressResult(const SmtpClient& client, int result) {
  if (client.failedStep() != SmtpStep::Rcpt) return false;
  return result == kSmtpUnsafeAddress || (result >= 500 && result < 600);
}

// Clears the sending flag however the run ends.
class SendingFlag {
 public:
  explicit SendingFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~SendingFlag() { flag_ = false; }
  SendingFlag(const SendingFlag&) = delete;
  SendingFlag& operator=(const SendingFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

SendController::SendController(SendRunHost host, SmtpTimeouts timeouts)
    : host_(host), timeouts_(timeouts), logPath_(SendLogPath()) {}

void SendController::OnPause() {
  if (!sending_) return;
  CancelBlockingCall();
  haltRequested_ = true;
}

SendRunResult SendController::OnSend(CPostridrDoc& document, UserSettings& settings) {
  if (sending_) return {};
  SendRunResult result;
  {
    SendingFlag flag(sending_);
    haltRequested_ = false;
    result = Run(document, settings);
  }
  host_.prompts.ShowMessage(
      "Send Complete! Total Messages Sent: " + std::to_string(result.processed),
      MessageIcon::Information);
  return result;
}

SendRunResult SendController::Run(CPostridrDoc& document, UserSettings& settings) {
  SendRunResult result;
  result.started = true;
  const int entries = document.GetEntryCount();

  if (settings.returnAddress.size() <= 4 || settings.smtpServer.size() <= 4) {
    host_.prompts.ShowMessage(texts::kSettingsNotConfigured);
    if (host_.configure != nullptr) host_.configure->Run(settings);
  }

  int start = document.GetLastIndexSent();
  if (start > 0 && host_.prompts.AskYesNo(texts::kResumeQuestion)) start = 0;
  start = std::max(start, 0);

  document.ClearStatus(start);  // recounts the selection too
  const int total = document.GetSelectedCount();

  SendLog log;
  if (settings.log != 0) log.Start(logPath_, std::time(nullptr));

  host_.frame.SetStatusText(texts::kConnecting);
  SmtpClient client(&host_.prompts, timeouts_);
  int stop = start;
  const int connectResult = client.Connect(settings.smtpServer);
  if (connectResult != 0) {
    host_.frame.SetStatusText("");
    result.error = connectResult;
  } else {
    host_.frame.SetStatusText(texts::kStartingSend);
    ComposedMessage composed;
    stop = entries;
    for (int i = start; i < entries; ++i) {
      if (document.IsEntrySelected(i) == 0) continue;
      // Composing takes the message pane's contents first, so the envelope
      // recipient comes from the same email field as the To: line.
      ComposeMessage(document, i, settings, composed);
      const std::string& address = composed.recipient;
      ++result.processed;
      host_.frame.SetStatusText(SendingText(result.processed, total));

      if (!IsValidAddress(address)) {
        document.SetEntryStatus(i, StatusBadAddress);
        continue;
      }
      if (haltRequested_) {
        document.SetEntryStatus(i, StatusHalted);
        stop = i;
        break;
      }
      const int sent = client.SendMail(address, settings.returnAddress, composed.text);
      log.RecordMessage(address, i, sent);
      if (sent == 0) {
        document.SetEntryStatus(i, StatusSent);
        continue;
      }
      if (IsBadAddressResult(client, sent)) {
        document.SetEntryStatus(i, StatusBadAddress);
        continue;
      }
      // Anything else stops the run here; the entry is sent again on resume.
      const std::string errorText = ErrorText(i + 1, entries, sent);
      host_.frame.SetStatusText(errorText);
      host_.prompts.ShowMessage(errorText + "\n" + FailureDetail(client, sent), MessageIcon::Error);
      result.error = sent;
      stop = i;
      break;
    }
    if (stop == entries) host_.frame.SetStatusText(texts::kComplete);
  }

  client.Disconnect();
  log.Finish(std::time(nullptr));
  result.stopPosition = stop;
  result.reachedEnd = connectResult == 0 && stop >= entries;
  document.SetLastIndexSent(stop >= entries ? 0 : stop);
  return result;
}

}  // namespace postrider
