#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/secret.h"
#include "platform/user_prompts.h"
#include "project/document_views.h"
#include "project/send_journal.h"
#include "send/attachment_problems_prompt.h"
#include "send/configure_dialog.h"
#include "send/letter_run_check.h"
#include "send/message_composer.h"
#include "send/send_log.h"
#include "send/send_pace.h"
#include "send/send_report.h"
#include "send/user_settings.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_outcome.h"

namespace postrider {

class CPostridrDoc;

// How a run ended.
struct SendRunResult {
  bool started = false;     // false when a run was already in progress
  bool connected = false;   // the server took the connection (and the log-in): entries were taken up
  bool reachedEnd = false;  // the run went through to the end of the list
  bool paused = false;      // Pause stopped it, at stopPosition
  bool declined = false;    // the user answered No to the question before it: nothing happened
  // It ended before anything was sent or any entry touched, having told why
  // (nothing to resume, a project open read-only, no password given,
  // settings that make no session, a journal that could not be started):
  // no final box is shown.
  bool notBegun = false;
  int processed = 0;        // selected entries taken up, as the final box counts them
  int stopPosition = 0;     // where the next run resumes (the list length when it reached the end)
  SmtpOutcome failure;      // what stopped the run: a message's or the connection's; accepted when none
  bool journalFailed = false;  // the journal could not be written, so the run stopped
  // What became of the selected entries from the start position on.
  int accepted = 0;    // the server took the message
  int refused = 0;     // the server refused the recipient or the message
  int tooLarge = 0;    // larger than the server's SIZE, so withheld
  int badAddress = 0;  // failed the address check, or cannot be put into a mail command
  int notReached = 0;  // the run stopped before them (the one it stopped at included)
  int alreadySent = 0;  // marked sent before: a resumed run passed them over
  // A file it carries went or changed after the check before the run: not
  // sent, left for a resume. One line each: the entry, its address, why.
  int attachmentFailed = 0;
  std::vector<std::string> attachmentFaults;
};

// Whether the server refused the log-in's password for good: a 5xx reply to
// AUTH, or a reply whose enhanced code says the credentials are invalid, but
// not one saying the command, the mechanism or the lack of TLS is at fault.
bool RefusedThePassword(const SmtpOutcome& outcome);

// The box that ends every run, for a front end that shows the figures with
// the text.
class ISendRunEndBox {
 public:
  virtual ~ISendRunEndBox() = default;
  virtual void Show(const std::string& text, const SendRunResult& result) = 0;
};

// What the run needs around it: the user, the status bar, the Configure dialog.
struct SendRunHost {
  IUserPrompts& prompts;
  IMainFrame& frame;
  IConfigureDialog* configure = nullptr;  // absent: missing settings are not asked for
  ISmtpPasswordSource* passwords = nullptr;  // absent: a UserName cannot log in
  ISendRunReport* report = nullptr;          // absent: refusals show only in the marks
  ISendRunEndBox* endBox = nullptr;          // absent: the prompts' information box
  // Asked when the check before the run finds files that cannot go; absent:
  // the problems are told and nothing is sent.
  IAttachmentProblemsPrompt* attachmentProblems = nullptr;
  // Asked when the letter names fields the list lacks; absent: prompts'
  // Yes/No question asks it.
  IUnknownFieldsPrompt* unknownFields = nullptr;
};

// The Send and Pause commands. One run at a time walks the list from where the
// last one stopped, sending every selected entry over one connection and
// marking each entry with what became of it.
class SendController {
 public:
  explicit SendController(SendRunHost host, SmtpTimeouts timeouts = {});

  // The log path is where the run appends its records when logging is on.
  void SetLogPath(std::string path) { logPath_ = std::move(path); }
  // Every run keeps the document's send journal; only a measurement of what
  // the journal costs turns it off.
  void SetJournalling(bool on) { journalling_ = on; }
  // How long a busy server is waited for, when a limit is set.
  void SetPaceBackOff(PaceBackOff backOff) { paceBackOff_ = backOff; }

  SendRunResult OnSend(CPostridrDoc& document, UserSettings& settings);
  // Stops the run in progress: the call now waiting is cancelled and the run
  // halts before the next entry. The wait for the server's answer to a
  // message it already has is the exception, since only that answer tells
  // whether the recipient got it: the run halts once it comes, unless Pause
  // is given a second time. Does nothing outside a run.
  void OnPause();
  bool IsSending() const { return sending_; }

 private:
  struct RunStart;
  struct ActiveRun;
  enum class EntryStep { Next, StopHere, StopAfter };

  // The run, step by step.
  SendRunResult Run(CPostridrDoc& document, UserSettings& settings);
  void AskForMissingSettings(UserSettings& settings);
  // The letter options checked for every entry the run would take up,
  // before anything is sent; false (the run does not begin) when one cannot go.
  bool CheckLetterOptions(CPostridrDoc& document, const RunStart& start, SendRunResult& result);
  // Merge fields the list lacks would reach every recipient as written: the
  // user says whether they are meant so, once a run; false when not.
  bool CheckLetterFields(CPostridrDoc& document, const RunStart& start, SendRunResult& result);
  // Where the run begins (the resume question), once the user said Yes to
  // sending; nothing when there is nothing to do or the user declined.
  std::optional<RunStart> ChooseStart(CPostridrDoc& document, const UserSettings& settings,
                                      SendRunResult& result);
  // The session the settings ask for; false, with the user told why, when
  // they cannot make one.
  bool PrepareSession(const UserSettings& settings, Secret& password,
                      SmtpSessionOptions& options);
  // Before each connection of an AuthMethod=oauth2 run: the access token
  // again, renewed by the source when it is about to expire.
  SmtpOutcome RenewToken(const UserSettings& settings, Secret& token);
  // The journal is ready before anything can be sent; false, told, when it cannot be.
  bool OpenJournal(CPostridrDoc& document, std::unique_ptr<SendJournal>& journal);
  void StartLog(ActiveRun& run);
  bool Connect(ActiveRun& run, Secret& password);
  void ReportConnectFailure(ActiveRun& run, const SmtpOutcome& outcome);
  // Tells the password source when the server refused its password or
  // access token; the line it gives for the error, or nothing.
  std::string NotePasswordRefusal(const UserSettings& settings, const SmtpOutcome& outcome);
  // The files of every entry the run takes up, before the first message;
  // false when the run must not go on (the user cancelled).
  bool CheckAttachments(ActiveRun& run);
  EntryStep NotSent(ActiveRun& run, int entry, const ComposedMessage& message);
  void SendEntries(ActiveRun& run);
  EntryStep SendEntry(ActiveRun& run, int entry);
  const ComposedMessage& TakeMessage(ActiveRun& run, int entry);
  const SmtpNextMessage* ComposeNext(ActiveRun& run, int entry, SmtpNextMessage& following);
  EntryStep Settle(ActiveRun& run, int entry, const SmtpOutcome& outcome);
  EntryStep Halt(ActiveRun& run, int entry);
  EntryStep StopOnFailure(ActiveRun& run, int entry, const SmtpOutcome& outcome);
  void Finish(ActiveRun& run, Secret& password);
  void ReportLogFailure(SendLog& log);

  SendRunHost host_;
  SmtpTimeouts timeouts_;
  std::string logPath_;
  bool journalling_ = true;
  PaceBackOff paceBackOff_;
  SmtpClient* activeClient_ = nullptr;  // during a run
  bool sending_ = false;
  bool haltRequested_ = false;
};

}  // namespace postrider
