#include "send/send_run.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"
#include "platform/user_paths.h"
#include "platform/utf8_text.h"
#include "project/address_check.h"
#include "project/postridr_doc.h"
#include "project/send_journal.h"
#include "send/message_composer.h"
#include "send/paced_connection.h"
#include "send/send_figures.h"
#include "send/send_log.h"
#include "send/send_start.h"
#include "send/send_texts.h"
#include "send/session_settings.h"
#include "smtp/smtp_wording.h"

namespace postrider {

namespace {

std::string SendingText(int count, int total) {
  return "Sending " + std::to_string(count) + " of " + std::to_string(total);
}

std::string ErrorText(int position, int entries, int error) {
  return SendingText(position, entries) + " - Error " + std::to_string(error);
}

// What the user reads about a failed message: the server's own words when it
// refused, else what the connection or the TLS library said.
std::string FailureDetail(const SmtpClient& client, int result) {
  if (!client.failureText().empty()) return client.failureText();
  return DescribeSocketError(result);
}

// An address the client would not put into a command (unsafe, or one this
// server cannot take) is a bad address, and the run goes on. An unsafe
// return address, though, spoils every message: that stops the run.
bool IsBadAddressResult(const SmtpClient& client, int result) {
  return client.failedStep() == SmtpStep::Rcpt &&
         (result == kSmtpUnsafeAddress || result == kSmtpUnsendableAddress);
}

// The server refused this recipient for good (5xx at RCPT), or the message is
// larger than it takes: this entry cannot be sent, the next one may be.
bool IsRecipientRefusal(const SmtpClient& client, int result) {
  if (result == kSmtpMessageTooLarge) return true;
  return client.failedStep() == SmtpStep::Rcpt && result >= 500 && result < 600;
}

// The server has the whole message, and no answer says whether it took it:
// the recipient may have it although the entry is not marked sent.
bool HandedOverWithoutAnswer(const SmtpClient& client, int result) {
  return client.failedStep() == SmtpStep::EndOfData && result != kSmtpHandOverStopped &&
         !(result >= 400 && result < 600);
}

// A failure's words, then what to do about it when there is advice.
std::string WithAdvice(std::string text, const std::string& advice) {
  if (!advice.empty()) text += "\n" + advice;
  return text;
}

std::string InDoubtText(int entry, const std::string& address) {
  return "The message to " + PrintableText(address) + " (entry " + std::to_string(entry) +
         ") had been handed to the server, but its answer never came: it may have been "
         "delivered, and a resumed run sends it again.";
}

// The run's journal, when it keeps one. The first write that fails is kept
// and stops the run: no message goes out whose outcome could be lost.
class RunJournal {
 public:
  explicit RunJournal(std::unique_ptr<SendJournal> journal) : journal_(std::move(journal)) {}

  bool Started(const JournalIdentity& identity, int start, bool resume) {
    return Keep(journal_ ? journal_->RunStarted(identity, start, resume) : Status::Ok());
  }
  bool HandedOver(int entry, const std::string& address) {
    return Keep(journal_ ? journal_->HandedOver(entry, address) : Status::Ok());
  }
  bool Outcome(int entry, int status, const std::string& address) {
    return Keep(journal_ ? journal_->Outcome(entry, status, address) : Status::Ok());
  }
  bool Ended(int lastIndexSent) {
    return Keep(journal_ ? journal_->RunEnded(lastIndexSent) : Status::Ok());
  }
  bool failed() const { return !failure_.ok(); }
  std::string FailureText() const {
    return failure_.message() +
           "\nThe run was stopped, so that no message goes out whose outcome could not be kept.";
  }

 private:
  bool Keep(Status status) {
    if (!status && failure_.ok()) failure_ = std::move(status);
    return failure_.ok();
  }

  std::unique_ptr<SendJournal> journal_;
  Status failure_ = Status::Ok();
};

// Points the controller at the run's client while the run lasts.
class ActiveClient {
 public:
  ActiveClient(SmtpClient*& slot, SmtpClient& client) : slot_(slot) { slot_ = &client; }
  ~ActiveClient() { slot_ = nullptr; }
  ActiveClient(const ActiveClient&) = delete;
  ActiveClient& operator=(const ActiveClient&) = delete;

 private:
  SmtpClient*& slot_;
};

// Whether the run takes entry i up: a resumed run passes over those marked sent.
bool TakesUp(const CPostridrDoc& document, int i, bool resume) {
  return document.IsEntrySelected(i) != 0 && !(resume && document.GetEntryStatus(i) == StatusSent);
}

// The first entry from `from` on the run takes up, -1 when there is none.
int NextSelected(const CPostridrDoc& document, int from, bool resume) {
  for (int i = std::max(from, 0); i < document.GetEntryCount(); ++i) {
    if (TakesUp(document, i, resume)) return i;
  }
  return -1;
}

int SelectedFrom(const CPostridrDoc& document, int from, bool resume = false) {
  int count = 0;
  for (int i = std::max(from, 0); i < document.GetEntryCount(); ++i) {
    if (TakesUp(document, i, resume)) ++count;
  }
  return count;
}

PaceLimits PaceLimitsFrom(const UserSettings& settings) {
  return {settings.messagesPerMinute, settings.messagesPerConnection};
}

// While the run waits for its turn or reconnects, the status bar says so.
PacedConnection::Hooks PaceHooks(IMainFrame& frame) {
  PacedConnection::Hooks hooks;
  hooks.status = [&frame](const std::string& text) { frame.SetStatusText(text); };
  return hooks;
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
  const bool awaitingAnswer = !pacingWait_ && activeClient_ != nullptr &&
                              activeClient_->currentStep() == SmtpStep::EndOfData;
  if (!awaitingAnswer || haltRequested_) CancelBlockingCall();
  if (awaitingAnswer && !haltRequested_) host_.frame.SetStatusText(texts::kAwaitingConfirmation);
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
  if (result.declined || result.notBegun) return result;
  const std::string finalText = SendClosingText(result, document.LeftOutListPartsText());
  if (host_.endBox != nullptr) {
    host_.endBox->Show(finalText, result);
  } else {
    host_.prompts.ShowMessage(finalText, MessageIcon::Information);
  }
  return result;
}

bool SendController::PrepareSession(const UserSettings& settings, Secret& password,
                                    SmtpSessionOptions& options) {
  if (!settings.userName.empty()) {
    if (host_.passwords == nullptr) {
      host_.prompts.ShowMessage("No password is at hand for " + settings.userName + ".",
                                MessageIcon::Error);
      return false;
    }
    Result<Secret> found = host_.passwords->Password(settings);
    if (!found) {
      host_.prompts.ShowMessage(found.status().message(), MessageIcon::Error);
      return false;
    }
    password = std::move(found.value());
  }
  Result<SmtpSessionOptions> session = SessionOptionsFrom(settings, &password);
  if (!session) {
    host_.prompts.ShowMessage(session.status().message(), MessageIcon::Error);
    return false;
  }
  options = *session;
  return true;
}

SendRunResult SendController::Run(CPostridrDoc& document, UserSettings& settings) {
  SendRunResult result;
  result.started = true;
  const int entries = document.GetEntryCount();
  if (document.IsReadOnly()) {
    host_.prompts.ShowMessage(
        "The project is open read-only, so it cannot be sent. " + document.GetReadOnlyReason(),
        MessageIcon::Error);
    result.notBegun = true;
    return result;
  }

  if (settings.returnAddress.size() <= 4 || settings.smtpServer.size() <= 4) {
    host_.prompts.ShowMessage(texts::kSettingsNotConfigured);
    if (host_.configure != nullptr) host_.configure->Run(settings);
  }

  // A resume goes on from where the last run stopped and never mails an
  // entry marked sent.
  const ResumeOffer offer = FindResumeOffer(document);
  const bool resume = !offer.question.empty() && !host_.prompts.AskYesNo(offer.question);
  const int start = resume ? offer.resumeFrom : 0;
  result.stopPosition = start;
  if (resume && CountAwaitingSending(document, start) == 0) {
    host_.prompts.ShowMessage(NothingToResumeText(start), MessageIcon::Warning);
    result.notBegun = true;
    return result;
  }

  // The one question that says what is about to happen, so that an Enter
  // meant for something else never sends. Without a server nothing can go.
  if (const int toSend = SelectedFrom(document, start, resume);
      toSend > 0 && !settings.smtpServer.empty() &&
      !host_.prompts.ConfirmSend(SendQuestion(toSend, settings.smtpServer))) {
    result.declined = true;
    result.notReached = toSend;
    return result;
  }

  Secret password;
  SmtpSessionOptions session;
  if (!PrepareSession(settings, password, session)) {
    result.notReached = SelectedFrom(document, start, resume);
    return result;
  }
  const std::string returnAddress = AsUtf8(settings.returnAddress);

  // The journal is ready before anything can be sent.
  std::unique_ptr<SendJournal> opened;
  if (journalling_) {
    Result<std::unique_ptr<SendJournal>> journal = document.OpenSendJournal();
    if (!journal) {
      host_.prompts.ShowMessage(journal.status().message() +
                                    "\nNothing was sent, since the outcomes could not be kept.",
                                MessageIcon::Error);
      result.notReached = SelectedFrom(document, start, resume);
      return result;
    }
    opened = std::move(*journal);
  }
  RunJournal journal(std::move(opened));

  SendLog log;
  // A log that cannot be written is told of once, and the run goes on.
  const auto reportLogFailure = [this, &log] {
    if (auto failure = log.TakeFailure()) {
      host_.prompts.ShowMessage(*failure, MessageIcon::Warning);
    }
  };
  if (settings.log != 0 && !log.Start(logPath_, std::time(nullptr))) reportLogFailure();

  host_.frame.SetStatusText(texts::kConnecting);
  SmtpClient client(timeouts_);
  const ActiveClient active(activeClient_, client);
  int stop = start;
  // Pace: the run's limits; a reconnect needs the password again, so it is
  // kept (in memory only) while one may come.
  SendPace pace(PaceLimitsFrom(settings), paceBackOff_);
  PacedConnection paced(client, pace, settings.smtpServer, session, haltRequested_,
                        pacingWait_, PaceHooks(host_.frame));
  const int connectResult = paced.Connect();
  // A connection that must drop a message whose commands went ahead is made
  // anew, so with PIPELINING the password is kept too.
  if (!pace.limits().any() && !client.offersPipelining()) password.Clear();
  if (connectResult != 0) {
    // Nothing was sent, so no entry is touched: the marks of the last run stay.
    host_.frame.SetStatusText("");
    result.paused =
        (connectResult == kWsaEintr || connectResult == kPaceWaitHalted) && haltRequested_;
    if (!result.paused) {
      host_.prompts.ShowMessage(
          WithAdvice(FailureDetail(client, connectResult), paced.AdviceAfter(connectResult)),
          MessageIcon::Error);
    }
    result.error = connectResult;
    result.notReached = SelectedFrom(document, start, resume);
  } else if (!journal.Started(document.GetJournalIdentity(), start, resume)) {
    host_.prompts.ShowMessage(journal.FailureText(), MessageIcon::Error);
    result.error = kSmtpHandOverStopped;
    result.notReached = SelectedFrom(document, start, resume);
  } else {
    result.connected = true;
    document.ClearStatus(start, resume);  // recounts the selection too
    if (resume) {
      result.alreadySent = SelectedFrom(document, start) - SelectedFrom(document, start, true);
    }
    const int total = document.GetSelectedCount();
    host_.frame.SetStatusText(texts::kStartingSend);
    // Two buffers: while one message goes out, the next is composed so that
    // its commands can go behind this one's end of data.
    MessageComposer composer;  // what every message shares, worked out once
    ComposedMessage buffers[2];
    ComposedMessage* composed = &buffers[0];
    ComposedMessage* upcoming = &buffers[1];
    int upcomingEntry = -1;  // the entry composed in *upcoming, -1 for none
    int current = -1;
    client.SetHandOverListener(
        [&journal, &current, &composed] { return journal.HandedOver(current, composed->recipient); });
    // Pace: a message the server refused at its end is settled before it goes again.
    paced.SetBeforeRetry([&journal, &current, &client, &composed] {
      return client.failedStep() != SmtpStep::EndOfData ||
             journal.Outcome(current, StatusNone, composed->recipient);
    });
    paced.SetConnected([this, &result, total] {
      host_.frame.SetStatusText(SendingText(result.processed, total));
    });
    // Each outcome is marked, and kept in the journal before the run goes on.
    const auto mark = [&](int entry, int status, const std::string& address) {
      document.SetEntryStatus(entry, status);
      return journal.Outcome(entry, status, address);
    };
    stop = entries;
    for (int i = start; i < entries; ++i) {
      if (!TakesUp(document, i, resume)) continue;
      if (upcomingEntry == i) {
        std::swap(composed, upcoming);
      } else {
        // The entry whose commands went ahead was unselected meanwhile: its
        // data is open, and only closing the connection ends it unsent.
        if (client.messageAhead()) paced.Renew();
        // Composing takes the message pane's contents first, so the envelope
        // recipient comes from the same email field as the To: line.
        composer.Compose(document, i, settings, *composed);
      }
      upcomingEntry = -1;
      const std::string& address = composed->recipient;
      current = i;
      ++result.processed;
      host_.frame.SetStatusText(SendingText(result.processed, total));
      if (host_.report != nullptr) host_.report->Progress(result.processed, total);

      if (!IsValidAddress(address)) {
        ++result.badAddress;
        if (host_.report != nullptr) {
          host_.report->EntryBadAddress(i, address, "not a valid e-mail address");
        }
        if (!mark(i, StatusBadAddress, address)) {
          stop = i + 1;
          break;
        }
        continue;
      }
      if (haltRequested_) {
        result.paused = true;
        stop = i;
        mark(i, StatusHalted, address);
        break;
      }
      // The one place that decides whether the next message's commands may
      // go behind this one's end of data. Not under a limit: the next message
      // waits for its own turn, and may need a new connection.
      SmtpNextMessage following;
      const SmtpNextMessage* next = nullptr;
      if (client.offersPipelining() && !haltRequested_ && !pace.limits().any()) {
        upcomingEntry = NextSelected(document, i + 1, resume);
        if (upcomingEntry >= 0) {
          composer.Compose(document, upcomingEntry, settings, *upcoming);
          if (IsValidAddress(upcoming->recipient)) {
            following = {upcoming->recipient, returnAddress, upcoming->text};
            next = &following;
          }
        }
      }
      const int sent = paced.SendMail(address, returnAddress, composed->text, next);  // in its turn
      if (sent == kPaceWaitHalted) {  // Pause during a wait: halts as before a message
        result.paused = true;
        stop = i;
        mark(i, StatusHalted, address);
        break;
      }
      log.RecordMessage(address, i, sent);
      int outcome = StatusNone;
      if (sent == 0) {
        outcome = StatusSent;
        ++result.accepted;
      } else if (IsBadAddressResult(client, sent)) {
        outcome = StatusBadAddress;
        ++result.badAddress;
        if (host_.report != nullptr) host_.report->EntryBadAddress(i, address, client.failureText());
      } else if (IsRecipientRefusal(client, sent)) {
        outcome = StatusBadAddress;
        ++(sent == kSmtpMessageTooLarge ? result.tooLarge : result.refused);
        if (host_.report != nullptr) host_.report->EntryRefused(i, address, client.failureText());
      }
      if (outcome != StatusNone) {
        if (!mark(i, outcome, address)) {
          stop = i + 1;
          break;
        }
        continue;
      }

      // Anything else stops the run here; the entry is sent again on resume.
      result.error = sent;
      stop = i;
      const bool inDoubt = HandedOverWithoutAnswer(client, sent);
      // A refusal of the whole message settles it: not sent.
      if (client.failedStep() == SmtpStep::EndOfData && !inDoubt && !journal.failed()) {
        journal.Outcome(i, StatusNone, address);
      }
      if (journal.failed()) break;
      if (sent == kWsaEintr && haltRequested_) {
        // The user paused while the server was being waited for: no error.
        result.paused = true;
        if (inDoubt) host_.prompts.ShowMessage(InDoubtText(i, address), MessageIcon::Warning);
        break;
      }
      const std::string errorText = ErrorText(i + 1, entries, sent);
      host_.frame.SetStatusText(errorText);
      host_.prompts.ShowMessage(
          errorText + "\n" + WithAdvice(FailureDetail(client, sent), paced.AdviceAfter(sent)) +
              (inDoubt ? "\n" + InDoubtText(i, address) : std::string()),
          MessageIcon::Error);
      break;
    }
    client.SetHandOverListener({});
    if (journal.failed()) {
      host_.prompts.ShowMessage(journal.FailureText(), MessageIcon::Error);
      if (result.error == 0) result.error = kSmtpHandOverStopped;
    }
    if (stop == entries) host_.frame.SetStatusText(texts::kComplete);
    result.notReached = SelectedFrom(document, stop, resume);
  }

  client.Disconnect();
  password.Clear();
  log.Finish(std::time(nullptr));
  reportLogFailure();
  result.stopPosition = stop;
  result.reachedEnd = result.connected && stop >= entries;
  document.SetLastIndexSent(stop >= entries ? 0 : stop);
  if (result.connected && !journal.failed() && !journal.Ended(document.GetLastIndexSent())) {
    host_.prompts.ShowMessage(journal.FailureText(), MessageIcon::Error);
  }
  return result;
}

}  // namespace postrider
