#include "send/send_run.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <utility>

#include "platform/blocking_call.h"
#include "platform/user_paths.h"
#include "platform/utf8_text.h"
#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "send/attachment_run_check.h"
#include "send/letter_composer.h"
#include "send/letter_run_check.h"
#include "send/message_composer.h"
#include "send/message_lookahead.h"
#include "send/oauth_client.h"
#include "send/paced_connection.h"
#include "send/run_journal.h"
#include "send/send_figures.h"
#include "send/send_start.h"
#include "send/send_texts.h"
#include "send/session_settings.h"
#include "smtp/smtp_wording.h"

namespace postrider {

namespace {

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

// What a message's outcome makes of its entry.
enum class Verdict { Sent, BadAddress, Refused, TooLarge, Halted, StopsRun };

// The server took it; or this entry cannot be sent and the next may be (an
// address the client would not put into a command, a recipient the server
// refused for good, a message larger than it takes); or a Pause came first.
// Anything else stops the run there, and the entry is sent again on resume.
Verdict VerdictFor(const SmtpOutcome& outcome) {
  switch (outcome.kind()) {
    case SmtpOutcomeKind::Accepted: return Verdict::Sent;
    case SmtpOutcomeKind::AddressUnusable: return Verdict::BadAddress;
    case SmtpOutcomeKind::RecipientRefused: return Verdict::Refused;
    case SmtpOutcomeKind::TooLarge: return Verdict::TooLarge;
    case SmtpOutcomeKind::Halted: return Verdict::Halted;
    default: return Verdict::StopsRun;
  }
}

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

// Where a run begins: the list position, and whether it resumes (passing
// over the entries marked sent).
struct SendController::RunStart {
  int position = 0;
  bool resume = false;
};

// Everything one run works with, from the connection to the end.
struct SendController::ActiveRun {
  ActiveRun(SendController& controller, CPostridrDoc& runDocument,
            const UserSettings& runSettings, RunStart runStart,
            std::unique_ptr<SendJournal> opened, const SmtpSessionOptions& session)
      : document(runDocument),
        settings(runSettings),
        start(runStart),
        entries(runDocument.GetEntryCount()),
        returnAddress(AsUtf8(runSettings.returnAddress)),
        journal(std::move(opened)),
        client(controller.timeouts_),
        paced(client,
              SendPace({runSettings.messagesPerMinute, runSettings.messagesPerConnection},
                       controller.paceBackOff_),
              runSettings.smtpServer, session, PaceHooks(controller)),
        // Composing takes the message pane's contents first, so the
        // envelope recipient comes from the same email field as the To: line.
        messages([this](int entry, ComposedMessage& out) {
          composer.Compose(document, entry, settings, out);
          CarryFiles(out);
        }),
        stop(runStart.position) {}

  PacedConnection::Hooks PaceHooks(SendController& controller) {
    PacedConnection::Hooks hooks;
    // While the run waits for its turn or reconnects, the status bar says so.
    hooks.status = [&controller](const std::string& text) {
      controller.host_.frame.SetStatusText(text);
    };
    hooks.connected = [this, &controller] {
      controller.host_.frame.SetStatusText(texts::Sending(result.processed, total));
    };
    // A message the server refused at its end is settled before it goes again.
    hooks.beforeRetry = [this](const SmtpOutcome& refusal) {
      return !refusal.refusedWholeMessage() ||
             journal.Outcome(current, StatusNone, messages.current().recipient, Row(current));
    };
    hooks.haltRequested = [&controller] { return controller.haltRequested_; };
    hooks.beforeConnect = [this, &controller] {
      // The first connection uses what the run was given just now: a token
      // command is not run twice for it.
      if (std::exchange(credentialFresh, false)) return SmtpOutcome::Accepted();
      return credential != nullptr ? controller.RenewToken(settings, *credential)
                                   : SmtpOutcome::Accepted();
    };
    return hooks;
  }

  // A message whose files cannot go keeps the reason, and is not sent.
  void CarryFiles(ComposedMessage& out) {
    out.attachmentFault.clear();
    if (!files) return;
    if (const Status carried = files->Carry(out); !carried) out.attachmentFault = carried.message();
  }

  // Each outcome is marked and written to the journal at once: a run killed
  // while it waits for the next message's turn must not leave it in doubt.
  bool Mark(int entry, int status) {
    document.SetEntryStatus(entry, status);
    return journal.Outcome(entry, status, messages.current().recipient, Row(entry));
  }

  // The digest of the current message's entry's values, which the journal
  // names beside its address: from the values the composer read, never the
  // list again, and once a message.
  std::string_view Row(int entry) {
    if (rowEntry != entry) {
      const std::vector<std::string>& values = messages.current().record.values;
      rowLength = values.empty() ? 0 : kRowDigestSize;
      if (!values.empty()) WriteRowDigest(values, row);
      rowEntry = entry;
    }
    return {row, rowLength};
  }

  CPostridrDoc& document;
  // The run's password or access token, which the session points at: an
  // OAuth 2.0 token is renewed in it before each connection.
  Secret* credential = nullptr;
  bool credentialFresh = true;  // until the first connection
  const UserSettings& settings;
  const RunStart start;
  const int entries;
  const std::string returnAddress;
  SendRunResult result;
  RunJournal journal;
  SendLog log;
  SmtpClient client;
  PacedConnection paced;
  MessageComposer composer;  // what every message shares, worked out once
  // With attachment lines: the run's files, each checked before the run.
  std::optional<MessageAttachments> files;
  MessageLookahead messages;
  int total = 0;     // the selected entries, as "Sending 3 of 12" counts them
  int toTakeUp = 0;  // the entries this run takes up: a resume's are fewer
  int current = -1;  // the entry being sent
  int upcoming = -1;  // the entry whose commands go behind the current one's
  int stop;          // where the next run resumes
  int rowEntry = -1;  // whose digest `row` is
  char row[kRowDigestSize] = {};
  std::size_t rowLength = 0;
};

bool RefusedThePassword(const SmtpOutcome& outcome) {
  if (outcome.step() != SmtpStep::Auth || !outcome.refusal()) return false;
  const std::optional<EnhancedStatus>& enhanced = outcome.enhanced();
  // 5.7.8: "Authentication credentials invalid" (RFC 4954), whatever the code.
  if (enhanced && enhanced->statusClass == 5 && enhanced->subject == 7 && enhanced->detail == 8) {
    return true;
  }
  const int code = outcome.number();
  if (code < 500) return false;  // for now: the same password may pass later
  switch (code) {
    case 500: case 501: case 502: case 503: case 504:  // the command or mechanism
    case 530:  // TLS or another step wanted first
    case 538:  // encryption wanted for the mechanism
      return false;
    default:
      return true;
  }
}

SendController::SendController(SendRunHost host, SmtpTimeouts timeouts)
    : host_(host), timeouts_(timeouts), logPath_(SendLogPath()) {}

void SendController::OnPause() {
  if (!sending_) return;
  const bool awaitingAnswer =
      activeClient_ != nullptr && activeClient_->awaitingAnswerToMessage();
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

SendRunResult SendController::Run(CPostridrDoc& document, UserSettings& settings) {
  SendRunResult result;
  result.started = true;
  if (document.IsReadOnly()) {
    host_.prompts.ShowMessage(
        "The project is open read-only, so it cannot be sent. " + document.GetReadOnlyReason(),
        MessageIcon::Error);
    result.notBegun = true;
    return result;
  }
  if (Status list = document.CheckListUnchanged(); !list) {
    host_.prompts.ShowMessage(list.message() + "\nNothing was sent: open the project again and "
                                               "check the selection before you send.",
                              MessageIcon::Error);
    result.notBegun = true;
    return result;
  }
  // Setting such a journal aside would drop its outcomes: those it reached
  // would be mailed again.
  if (const std::string journal = document.UnappliedSendJournal(); !journal.empty()) {
    host_.prompts.ShowMessage(
        "Nothing was sent: the send journal \"" + journal + "\" holds outcomes of an earlier "
        "run that could not be applied when the project was opened, so the entries it reached "
        "are not marked sent. Put the list back as that run had it and open the project "
        "again, or check the statuses and move the journal away before you send.",
        MessageIcon::Error);
    result.notBegun = true;
    return result;
  }
  AskForMissingSettings(settings);
  const std::optional<RunStart> start = ChooseStart(document, settings, result);
  if (!start) return result;
  if (!CheckLetterOptions(document, *start, result)) return result;
  if (!CheckLetterFields(document, *start, result)) return result;

  // A reconnect needs the password again, so it is kept (in memory only)
  // while one may come.
  Secret password;
  SmtpSessionOptions session;
  std::unique_ptr<SendJournal> journal;
  if (!PrepareSession(settings, password, session) || !OpenJournal(document, journal)) {
    result.notBegun = true;
    result.notReached = SelectedFrom(document, start->position, start->resume);
    return result;
  }

  ActiveRun run(*this, document, settings, *start, std::move(journal), session);
  run.credential = &password;
  const ActiveClient active(activeClient_, run.client);
  StartLog(run);
  if (Connect(run, password)) SendEntries(run);
  Finish(run, password);
  return std::move(run.result);
}

bool SendController::CheckLetterOptions(CPostridrDoc& document, const RunStart& start,
                                        SendRunResult& result) {
  if (!UsesLetterOptions(document.GetLetterOptions())) return true;
  std::vector<int> entries;
  for (int i = std::max(start.position, 0); i < document.GetEntryCount(); ++i) {
    if (TakesUp(document, i, start.resume)) entries.push_back(i);
  }
  const std::vector<LetterRunProblem> problems = CheckLetterRun(document, entries);
  if (problems.empty()) return true;
  host_.prompts.ShowMessage(
      "Nothing was sent: the letter options cannot make these messages.\n" +
          LetterRunProblemsText(problems),
      MessageIcon::Error);
  result.notBegun = true;
  return false;
}

bool SendController::CheckLetterFields(CPostridrDoc& document, const RunStart& start,
                                       SendRunResult& result) {
  const int toSend = SelectedFrom(document, start.position, start.resume);
  if (toSend == 0) return true;
  const std::vector<UnknownLetterField> fields = FindUnknownLetterFields(document);
  if (fields.empty()) return true;
  const std::string question = UnknownLetterFieldsQuestion(fields);
  const bool asWritten = host_.unknownFields != nullptr
                             ? host_.unknownFields->SendAsWritten(question)
                             : host_.prompts.AskYesNo(question);
  if (asWritten) return true;
  result.declined = true;
  result.notReached = toSend;
  return false;
}

void SendController::AskForMissingSettings(UserSettings& settings) {
  if (settings.returnAddress.size() > 4 && settings.smtpServer.size() > 4) return;
  host_.prompts.ShowMessage(texts::kSettingsNotConfigured);
  if (host_.configure != nullptr) host_.configure->Run(settings);
}

std::optional<SendController::RunStart> SendController::ChooseStart(
    CPostridrDoc& document, const UserSettings& settings, SendRunResult& result) {
  // A resume goes on from where the last run stopped and never mails an
  // entry marked sent.
  const ResumeOffer offer = FindResumeOffer(document);
  const bool resume = !offer.question.empty() && !host_.prompts.AskYesNo(offer.question);
  const RunStart start{resume ? offer.resumeFrom : 0, resume};
  result.stopPosition = start.position;
  if (resume && CountAwaitingSending(document, start.position) == 0) {
    host_.prompts.ShowMessage(NothingToResumeText(start.position), MessageIcon::Warning);
    result.notBegun = true;
    return std::nullopt;
  }
  // The one question that says what is about to happen, so that an Enter
  // meant for something else never sends. Without a server nothing can go.
  if (const int toSend = SelectedFrom(document, start.position, resume);
      toSend > 0 && !settings.smtpServer.empty() &&
      !host_.prompts.ConfirmSend(SendQuestion(toSend, settings.smtpServer))) {
    result.declined = true;
    result.notReached = toSend;
    return std::nullopt;
  }
  return start;
}

SmtpOutcome SendController::RenewToken(const UserSettings& settings, Secret& token) {
  if (!UsesOAuth(settings) || host_.passwords == nullptr) return SmtpOutcome::Accepted();
  Result<Secret> renewed = host_.passwords->Password(settings);
  // A Pause given meanwhile stops the token's command or request: that is
  // the pause, not a failed sign-in.
  if (!renewed && haltRequested_) return SmtpOutcome::Halted();
  if (!renewed) return SmtpOutcome::SignInImpossible(SmtpStep::Auth, renewed.status().message());
  token = std::move(renewed.value());  // where the session looks for it
  return SmtpOutcome::Accepted();
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

bool SendController::OpenJournal(CPostridrDoc& document, std::unique_ptr<SendJournal>& journal) {
  if (!journalling_) return true;
  Result<std::unique_ptr<SendJournal>> opened = document.OpenSendJournal();
  if (!opened) {
    host_.prompts.ShowMessage(opened.status().message() +
                                  "\nNothing was sent, since the outcomes could not be kept.",
                              MessageIcon::Error);
    return false;
  }
  journal = std::move(*opened);
  return true;
}

void SendController::ReportLogFailure(SendLog& log) {
  // A log that cannot be written is told of once, and the run goes on.
  if (auto failure = log.TakeFailure()) host_.prompts.ShowMessage(*failure, MessageIcon::Warning);
}

void SendController::StartLog(ActiveRun& run) {
  if (run.settings.log != 0 && !run.log.Start(logPath_, std::time(nullptr))) {
    ReportLogFailure(run.log);
  }
}

bool SendController::Connect(ActiveRun& run, Secret& password) {
  host_.frame.SetStatusText(texts::kConnecting);
  const SmtpOutcome connected = run.paced.Connect();
  if (!connected.ok()) {
    ReportConnectFailure(run, connected);
    return false;
  }
  // A connection that must drop a message whose commands went ahead is made
  // anew, so with PIPELINING the password is kept too.
  if (!run.paced.limited() && !run.client.offersPipelining()) password.Clear();
  CPostridrDoc& document = run.document;
  // Ended before it began: the pane shows the selection again, not a blank.
  if (!CheckAttachments(run)) {
    host_.frame.ShowSelectedCount(document.GetSelectedCount());
    run.result.declined = true;
    run.result.notReached = SelectedFrom(document, run.start.position, run.start.resume);
    return false;
  }
  // A selection not saved is found by its people in a list edited before
  // the journal is read; the one saved needs nothing more.
  const std::optional<ChosenRows> chosen =
      run.journal.keeps() ? document.UnsavedSelection() : std::nullopt;
  if (!run.journal.Started(document.GetJournalIdentity(), run.start.position, run.start.resume,
                           document.GetEntryMarks(), chosen ? &*chosen : nullptr)) {
    host_.frame.ShowSelectedCount(document.GetSelectedCount());
    host_.prompts.ShowMessage(run.journal.FailureText(), MessageIcon::Error);
    run.result.notBegun = true;
    run.result.journalFailed = true;
    run.result.notReached = SelectedFrom(document, run.start.position, run.start.resume);
    return false;
  }
  run.result.connected = true;
  // recounts the selection too
  document.ClearStatus(run.start.position, ClearingForRun(run.start.resume));
  if (run.start.resume) {
    run.result.alreadySent = SelectedFrom(document, run.start.position) -
                             SelectedFrom(document, run.start.position, true);
  }
  run.total = document.GetSelectedCount();
  run.toTakeUp = SelectedFrom(document, run.start.position, run.start.resume);
  host_.frame.SetStatusText(texts::kStartingSend);
  return true;
}

bool SendController::CheckAttachments(ActiveRun& run) {
  std::vector<int> entries;
  for (int i = run.start.position; i < run.entries; ++i) {
    if (TakesUp(run.document, i, run.start.resume)) entries.push_back(i);
  }
  // The server's SIZE is known once it has answered EHLO.
  const SmtpCapabilities& capabilities = run.client.capabilities();
  std::optional<std::uint64_t> sizeLimit;
  if (capabilities.size && capabilities.sizeLimit > 0) sizeLimit = capabilities.sizeLimit;
  const RunAttachmentCheck check =
      CheckRunAttachments(run.document, entries, run.settings, sizeLimit);
  // Even without lines: one added during the run goes with no unchecked file.
  run.files.emplace(AttachmentsOfDocument(run.document, check.checked));
  if (!check.hasAttachments) return true;
  if (check.problems.empty()) return true;
  const bool forEveryEntry =
      std::any_of(check.problems.begin(), check.problems.end(),
                  [](const AttachmentProblem& problem) { return problem.ForEveryEntry(); });
  if (host_.attachmentProblems == nullptr) {
    host_.prompts.ShowMessage(AttachmentProblemsText(check.problems), MessageIcon::Error);
    return false;
  }
  if (!host_.attachmentProblems->UnselectAndGoOn(check.problems) || forEveryEntry) return false;
  UnselectEntriesWithProblems(run.document, check.problems);
  return true;
}

void SendController::ReportConnectFailure(ActiveRun& run, const SmtpOutcome& outcome) {
  // Nothing was sent, so no entry is touched: the marks of the last run stay.
  host_.frame.SetStatusText("");
  SendRunResult& result = run.result;
  result.paused = (outcome.kind() == SmtpOutcomeKind::Cancelled ||
                   outcome.kind() == SmtpOutcomeKind::Halted) &&
                  haltRequested_;
  const std::string refusal = NotePasswordRefusal(run.settings, outcome);
  if (!result.paused) {
    host_.prompts.ShowMessage(
        texts::WithAdvice(texts::WithAdvice(outcome.text(), run.paced.AdviceAfter(outcome)),
                          refusal),
        MessageIcon::Error);
  }
  result.failure = outcome;
  result.notReached = SelectedFrom(run.document, run.start.position, run.start.resume);
}

std::string SendController::NotePasswordRefusal(const UserSettings& settings,
                                                const SmtpOutcome& outcome) {
  // A refused OAuth 2.0 access token is told too: kept, it would be handed
  // out again at each Send until it expires.
  if (host_.passwords == nullptr || settings.userName.empty() || !RefusedThePassword(outcome)) {
    return {};
  }
  return host_.passwords->PasswordRefused(settings);
}

void SendController::SendEntries(ActiveRun& run) {
  run.client.SetHandOverListener(
      [&run] {
        return run.journal.HandedOver(run.current, run.messages.current().recipient,
                                      run.Row(run.current));
      });
  // The message after the one going ahead is composed while the server
  // works, off the round trip.
  run.client.SetAwaitListener([this, &run] {
    if (run.upcoming >= 0 && !haltRequested_) {
      run.messages.Prepare(NextSelected(run.document, run.upcoming + 1, run.start.resume));
    }
  });
  run.stop = run.entries;
  for (int i = run.start.position; i < run.entries; ++i) {
    if (!TakesUp(run.document, i, run.start.resume)) continue;
    const EntryStep step = SendEntry(run, i);
    if (step == EntryStep::Next) continue;
    run.stop = step == EntryStep::StopAfter ? i + 1 : i;
    break;
  }
  run.client.SetHandOverListener({});
  run.client.SetAwaitListener({});
  if (run.journal.failed()) {
    host_.prompts.ShowMessage(run.journal.FailureText(), MessageIcon::Error);
    run.result.journalFailed = true;
  }
  if (run.stop == run.entries) host_.frame.SetStatusText(texts::kComplete);
  run.result.notReached = SelectedFrom(run.document, run.stop, run.start.resume);
}

SendController::EntryStep SendController::SendEntry(ActiveRun& run, int entry) {
  const ComposedMessage& message = TakeMessage(run, entry);
  SendRunResult& result = run.result;
  run.current = entry;
  ++result.processed;
  host_.frame.SetStatusText(texts::Sending(result.processed, run.total));
  if (host_.report != nullptr) host_.report->Progress(result.processed, run.toTakeUp);

  // Before the address check: values read from a rewritten list are not
  // this entry's, so they settle nothing about it.
  if (message.listChanged) {
    host_.prompts.ShowMessage(message.problem, MessageIcon::Error);
    return EntryStep::StopHere;
  }
  if (!message.recipientValid) {
    ++result.badAddress;
    if (host_.report != nullptr) {
      host_.report->EntryBadAddress(entry, message.recipient, "not a valid e-mail address");
    }
    return run.Mark(entry, StatusBadAddress) ? EntryStep::Next : EntryStep::StopAfter;
  }
  if (!message.problem.empty()) {
    // The letter or its options changed during the run into something that
    // cannot be sent: the entry stays unsent for the next run.
    host_.prompts.ShowMessage(message.problem, MessageIcon::Error);
    return EntryStep::StopHere;
  }
  if (!message.attachmentFault.empty()) return NotSent(run, entry, message);
  if (haltRequested_) return Halt(run, entry);
  SmtpNextMessage following;
  const SmtpNextMessage* next = ComposeNext(run, entry, following);
  // In its turn, and over a new connection when the limits say so.
  const SmtpOutcome outcome =
      run.paced.SendMail(message.recipient, run.returnAddress, message.text, next, message.copies);
  return Settle(run, entry, outcome);
}

SendController::EntryStep SendController::NotSent(ActiveRun& run, int entry,
                                                  const ComposedMessage& message) {
  // Its status was cleared when the run began: a resume takes it up again.
  ++run.result.attachmentFailed;
  run.result.attachmentFaults.push_back("Entry " + EntryNumberText(entry) + ", " +
                                        PrintableText(message.recipient) + ": " +
                                        PrintableText(message.attachmentFault));
  if (host_.report != nullptr) {
    host_.report->EntryNotSent(entry, message.recipient, message.attachmentFault);
  }
  return EntryStep::Next;
}

const ComposedMessage& SendController::TakeMessage(ActiveRun& run, int entry) {
  // The entry whose commands went ahead was unselected meanwhile: its data
  // is open, and only closing the connection ends it unsent.
  if (!run.messages.HasAhead(entry) && run.client.messageAhead()) run.paced.Renew();
  return run.messages.Take(entry);
}

const SmtpNextMessage* SendController::ComposeNext(ActiveRun& run, int entry,
                                                   SmtpNextMessage& following) {
  // The one place that decides whether the next message's commands may go
  // behind this one's end of data. Not under a limit: the next message
  // waits for its own turn, and may need a new connection.
  run.upcoming = -1;
  if (!run.client.offersPipelining() || haltRequested_ || run.paced.limited()) return nullptr;
  const int next = NextSelected(run.document, entry + 1, run.start.resume);
  if (next < 0) return nullptr;
  const ComposedMessage& upcoming = run.messages.ComposeAhead(next);
  // Copies go over their own round trips, never ahead.
  if (!upcoming.recipientValid || !upcoming.copies.empty() ||
      !upcoming.problem.empty() || !upcoming.attachmentFault.empty()) {
    return nullptr;
  }
  following = {upcoming.recipient, run.returnAddress, upcoming.text};
  run.upcoming = next;
  return &following;
}

SendController::EntryStep SendController::Settle(ActiveRun& run, int entry,
                                                 const SmtpOutcome& outcome) {
  const Verdict verdict = VerdictFor(outcome);
  if (verdict == Verdict::Halted) return Halt(run, entry);  // Pause during a wait
  const std::string& address = run.messages.current().recipient;
  run.log.RecordMessage(address, entry, outcome.number());
  SendRunResult& result = run.result;
  int status = StatusBadAddress;
  switch (verdict) {
    case Verdict::Sent:
      status = StatusSent;
      ++result.accepted;
      if (host_.report != nullptr) {
        for (const SmtpClient::RefusedCopy& copy : run.client.refusedCopies()) {
          host_.report->CopyRefused(entry, copy.address, copy.reason);
        }
      }
      break;
    case Verdict::BadAddress:
      ++result.badAddress;
      if (host_.report != nullptr) host_.report->EntryBadAddress(entry, address, outcome.text());
      break;
    case Verdict::Refused:
    case Verdict::TooLarge:
      ++(verdict == Verdict::TooLarge ? result.tooLarge : result.refused);
      if (host_.report != nullptr) host_.report->EntryRefused(entry, address, outcome.text());
      break;
    default:
      return StopOnFailure(run, entry, outcome);
  }
  return run.Mark(entry, status) ? EntryStep::Next : EntryStep::StopAfter;
}

SendController::EntryStep SendController::Halt(ActiveRun& run, int entry) {
  run.result.paused = true;
  run.Mark(entry, StatusHalted);
  return EntryStep::StopHere;
}

SendController::EntryStep SendController::StopOnFailure(ActiveRun& run, int entry,
                                                        const SmtpOutcome& outcome) {
  run.result.failure = outcome;
  // A reconnect's log-in may be refused too: the source hears of it whatever follows.
  const std::string refusal = NotePasswordRefusal(run.settings, outcome);
  const std::string& address = run.messages.current().recipient;
  // A refusal of the whole message settles it: not sent.
  if (outcome.refusedWholeMessage() && !run.journal.failed()) {
    run.journal.Outcome(entry, StatusNone, address, run.Row(entry));
  }
  if (run.journal.failed()) return EntryStep::StopHere;
  const bool inDoubt = outcome.leftInDoubt();
  if (outcome.kind() == SmtpOutcomeKind::Cancelled && haltRequested_) {
    // The user paused while the server was being waited for: no error.
    run.result.paused = true;
    if (inDoubt) host_.prompts.ShowMessage(texts::InDoubt(entry, address), MessageIcon::Warning);
    return EntryStep::StopHere;
  }
  const std::string errorText = texts::SendingError(entry + 1, run.entries, outcome.number());
  host_.frame.SetStatusText(errorText);
  host_.prompts.ShowMessage(
      errorText + "\n" +
          texts::WithAdvice(texts::WithAdvice(outcome.text(), run.paced.AdviceAfter(outcome)),
                            refusal) +
          (inDoubt ? "\n" + texts::InDoubt(entry, address) : std::string()),
      MessageIcon::Error);
  return EntryStep::StopHere;
}

void SendController::Finish(ActiveRun& run, Secret& password) {
  run.client.Disconnect();
  password.Clear();
  run.log.Finish(std::time(nullptr));
  ReportLogFailure(run.log);
  SendRunResult& result = run.result;
  result.stopPosition = run.stop;
  result.reachedEnd = result.connected && run.stop >= run.entries;
  run.document.SetLastIndexSent(run.stop >= run.entries ? 0 : run.stop);
  if (result.connected && !run.journal.failed() &&
      !run.journal.Ended(run.document.GetLastIndexSent())) {
    host_.prompts.ShowMessage(run.journal.FailureText(), MessageIcon::Error);
    result.journalFailed = true;
  }
}

}  // namespace postrider
