#include <cstdlib>
#include <iostream>
#include <optional>

#include "cli/cli_attachment_problems.h"
#include "cli/cli_host.h"
#include "cli/cli_password.h"
#include "cli/cli_settings.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "platform/refresh_token_store.h"
#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "send/attachment_run_check.h"
#include "send/letter_run_check.h"
#include "send/message_composer.h"
#include "send/oauth_client.h"
#include "send/oauth_tokens.h"
#include "send/send_figures.h"
#include "send/send_run.h"
#include "send/send_start.h"
#include "send/send_texts.h"
#include "send/session_settings.h"
#include "send/user_settings.h"

namespace postrider::cli {

namespace {

struct SendOptions {
  std::string projectPath;
  std::optional<bool> fromStart;
  SettingsChoice settings;
  std::optional<std::string> passwordFile;  // send only
  std::optional<std::string> index;         // compose only
  std::optional<int> perMinute;             // send only: overrides MessagesPerMinute
  std::optional<int> perConnection;         // send only: overrides MessagesPerConnection
  bool skipUnready = false;                 // send only: entries whose files cannot go are unselected
  bool fieldsAsWritten = false;             // send only: fields the list lacks go as written
};

// Fields the list lacks go as written only when the command says so: a
// mistyped name, or a column gone from the list since the last run, would
// otherwise reach every recipient as "[[Code]]".
class CliUnknownFields final : public IUnknownFieldsPrompt {
 public:
  explicit CliUnknownFields(bool asWritten) : asWritten_(asWritten) {}
  bool SendAsWritten(const std::string& question) override {
    if (asWritten_) return true;
    std::cerr << question << "\npostrider-cli: nothing was sent; give --fields-as-written to "
                             "send them as written\n";
    refused_ = true;
    return false;
  }
  bool refused() const { return refused_; }

 private:
  bool asWritten_;
  bool refused_ = false;
};

// The run's credentials: the password source's, but a refused access token
// is the sign-in's matter, not a password's to change where it came from.
class SendCredentials final : public ISmtpPasswordSource {
 public:
  SendCredentials(CliPasswordSource& passwords, OAuthTokens& tokens)
      : passwords_(passwords), tokens_(tokens) {}
  Result<Secret> Password(const UserSettings& settings) override {
    return passwords_.Password(settings);
  }
  std::string PasswordRefused(const UserSettings& settings) override {
    if (!UsesOAuth(settings)) return passwords_.PasswordRefused(settings);
    if (!settings.tokenCommand.empty()) return {};
    tokens_.DropAccessToken(settings);
    return "The next run gets a new access token; if that one is refused too, sign in again "
           "(postrider-cli sign-in).";
  }

 private:
  CliPasswordSource& passwords_;
  OAuthTokens& tokens_;
};

// A limit's count: a positive whole number, as the flag's value.
std::optional<int> ParseLimit(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const int value = std::atoi(text.c_str());
  if (value <= 0) return std::nullopt;
  return value;
}

// Parses PROJECT, the command's positional INDEX when it takes one, and the flags.
std::optional<SendOptions> ParseOptions(const Arguments& args, bool takesIndex, bool isSend,
                                        std::string& problem) {
  SendOptions options;
  bool projectGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    const bool takesFile = arg == "--settings" || (isSend && arg == "--password-file");
    if (takesFile && !hasValue) {
      problem = arg + " needs a FILE";
      return std::nullopt;
    }
    // A second value would silently win over the first.
    if (takesFile && (arg == "--settings" ? options.settings.chosen() : bool(options.passwordFile))) {
      problem = arg + " is given twice";
      return std::nullopt;
    }
    if (arg == "--settings") {
      options.settings.Choose(args[++i]);
    } else if (isSend && arg == "--password-file") {
      options.passwordFile = args[++i];
    } else if (isSend && (arg == "--from-start" || arg == "--resume")) {
      if (options.fromStart) {
        problem = "give --from-start or --resume once";
        return std::nullopt;
      }
      options.fromStart = arg == "--from-start";
    } else if (isSend && arg == "--skip-unready") {
      options.skipUnready = true;
    } else if (isSend && arg == "--fields-as-written") {
      options.fieldsAsWritten = true;
    } else if (isSend && (arg == "--per-minute" || arg == "--per-connection")) {
      std::optional<int>& limit = arg == "--per-minute" ? options.perMinute : options.perConnection;
      const std::optional<int> value = hasValue ? ParseLimit(args[++i]) : std::nullopt;
      if (!value || limit) {
        problem = arg + (limit ? " is given twice" : " needs a whole number of messages from 1 up");
        return std::nullopt;
      }
      limit = value;
    } else if (arg.starts_with("--")) {
      problem = "unexpected argument: " + arg;
      return std::nullopt;
    } else if (!projectGiven) {
      // An empty PROJECT must not let the next argument take its place.
      if (arg.empty()) {
        problem = "PROJECT is an empty path";
        return std::nullopt;
      }
      options.projectPath = arg;
      projectGiven = true;
    } else if (takesIndex && !options.index) {
      options.index = arg;
    } else {
      problem = "unexpected argument: " + arg;
      return std::nullopt;
    }
  }
  if (options.projectPath.empty() || (takesIndex && !options.index)) {
    problem = takesIndex ? "compose needs PROJECT and INDEX" : "send needs PROJECT";
    return std::nullopt;
  }
  return options;
}

std::optional<int> ParseIndex(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return std::atoi(text.c_str());
}

// The run's figures, after the final box.
void PrintFigures(const SendRunResult& result) {
  std::cerr << (SendFiguresText(result) + "\n");
  if (result.paused) {
    std::cerr << ("Paused at entry " + EntryNumberText(result.stopPosition) +
                  (result.stopPosition > 0 ? "; send again with --resume to go on from there.\n"
                                           : ".\n"));
  }
}

int SendExitCode(const SendRunResult& result) {
  if (!result.connected) return kExitUsage;  // nothing was sent, no entry touched
  // Entries whose files went or changed after the check wait for a resume:
  // never "done".
  if (!result.reachedEnd || result.attachmentFailed > 0) return kExitFailed;
  return result.refused + result.tooLarge > 0 ? kExitRefused : kExitOk;
}

}  // namespace

int RunCompose(const Arguments& args) {
  std::string problem;
  const std::optional<SendOptions> options = ParseOptions(args, true, false, problem);
  if (!options) return UsageError(problem);
  const std::optional<int> index = ParseIndex(*options->index);
  if (!index) return UsageError("INDEX must be an entry number");
  const std::optional<UserSettings> settings = LoadCommandSettings(options->settings);
  if (!settings) return kExitUsage;

  CliDocument cli;
  if (!cli.OpenWhole(options->projectPath)) return kExitFailed;
  CPostridrDoc& document = cli.document;
  if (*index >= document.GetEntryCount()) {
    std::cerr << "postrider-cli: the mailing list has no entry " << *index << " (it has "
              << document.GetEntryCount() << ")\n";
    return kExitFailed;
  }
  ComposedMessage composed;
  ComposeMessage(document, *index, *settings, composed);
  // A message the letter options cannot make is not printed as if it could go.
  if (!composed.problem.empty()) {
    std::cerr << "postrider-cli: " << composed.problem << "\n";
    return kExitFailed;
  }
  // The message as it goes after DATA: with its files, when the letter has some.
  MessageAttachments files = AttachmentsOfDocument(document);
  if (const Status carried = files.Carry(composed); !carried) {
    std::cerr << "postrider-cli: " << carried.message() << '\n';
    return kExitFailed;
  }
  std::cout.write(composed.text.data(), static_cast<std::streamsize>(composed.text.size()));
  std::cout.flush();
  return std::cout ? kExitOk : kExitFailed;
}

int RunSend(const Arguments& args) {
  std::string problem;
  const std::optional<SendOptions> options = ParseOptions(args, false, true, problem);
  if (!options) return UsageError(problem);

  std::optional<UserSettings> loaded = LoadCommandSettings(options->settings);
  if (!loaded) return kExitUsage;
  UserSettings settings = std::move(*loaded);
  // For this run only: nothing writes the settings back.
  if (options->perMinute) settings.messagesPerMinute = *options->perMinute;
  if (options->perConnection) settings.messagesPerConnection = *options->perConnection;
  // Without a display there is no Configure dialog to ask in.
  if (settings.returnAddress.size() <= 4 || settings.smtpServer.size() <= 4) {
    std::cerr << texts::kSettingsNotConfigured << '\n';
    return kExitUsage;
  }
  // A wrong setting is told before anything is opened.
  if (Result<SmtpSessionOptions> session = SessionOptionsFrom(settings, nullptr); !session) {
    std::cerr << "postrider-cli: " << session.status().message() << '\n';
    return kExitUsage;
  }

  // Ctrl+C, SIGTERM and SIGHUP work as Pause from here to the end of the
  // save, so the run ends cleanly and its outcomes are kept; so does output
  // whose reader went away.
  SendController* running = nullptr;
  InterruptWatch pause(
      [&running] {
        if (running != nullptr) running->OnPause();
      },
      true);

  CliDocument cli;
  if (!cli.OpenToChange(options->projectPath)) return kExitFailed;
  CPostridrDoc& document = cli.document;
  // An earlier run stopped early, or reached some of the selected entries
  // already: the command says which way to go, so that a send typed twice
  // never mails the same people again unasked.
  const ResumeOffer offer = FindResumeOffer(document);
  if (offer.kind != ResumeOffer::Kind::None && !options->fromStart) {
    std::cerr << offer.question << '\n'
              << (offer.kind == ResumeOffer::Kind::AllSent
                      ? "postrider-cli: nothing was sent; give --from-start to send to every "
                        "selected entry again\n"
                      : "postrider-cli: answer with --from-start (Yes) or --resume (No)\n");
    return kExitUsage;
  }
  // The project is saved after the run: a run whose outcomes could not be
  // saved would mail the same people again next time.
  if (Status writable = document.CheckSendOutcomesWritable(); !writable) {
    std::cerr << "postrider-cli: " << writable.message() << "\npostrider-cli: nothing was sent\n";
    return kExitFailed;
  }
  cli.prompts.SetYesNoAnswer(options->fromStart.value_or(false));
  cli.frame.SetEchoStatus(true);

  // An OAuth 2.0 account's token comes from its sign-in, kept where
  // postrider-cli sign-in and the desktop program keep it.
  SecretServiceTokenStore tokenStore;
  OAuthTokens tokens(&tokenStore);
  CliPasswordSource passwords(options->passwordFile, &tokens);
  SendCredentials credentials(passwords, tokens);
  CliReport report(&cli.frame);
  CliAttachmentProblems attachmentProblems(options->skipUnready);
  CliUnknownFields unknownFields(options->fieldsAsWritten);
  SendController controller(SendRunHost{cli.prompts, cli.frame, nullptr, &credentials, &report,
                                        nullptr, &attachmentProblems, &unknownFields});
  running = &controller;
  const SendRunResult result = controller.OnSend(document, settings);
  running = nullptr;
  if (!attachmentProblems.skipped().empty()) {
    std::cout << UnselectedForFilesText(attachmentProblems.skipped()) << '\n';
  }
  // Refused before anything began: the project stays as it was on disk.
  if (unknownFields.refused()) return kExitUsage;
  if (!result.notBegun && !attachmentProblems.stoppedTheRun()) PrintFigures(result);
  // Whatever became of the run, the marks and the resume point are kept.
  if (!document.OnSaveDocument(document.GetPathName())) {
    if (result.connected) {
      std::cerr << "postrider-cli: what the run did is kept in the send journal \""
                << document.GetSendJournalPath()
                << "\"; the next command or window that opens the project applies it\n";
    }
    return kExitFailed;
  }
  return SendExitCode(result);
}

}  // namespace postrider::cli
