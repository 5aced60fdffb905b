#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "platform/blocking_call.h"
#include "platform/user_paths.h"
#include "project/postridr_doc.h"
#include "send/message_composer.h"
#include "send/send_run.h"
#include "send/send_texts.h"
#include "send/user_settings.h"

namespace postrider::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

// Ctrl+C works as Pause: the handler only notes it, the blocking hook acts on
// it while a socket call waits.
class InterruptAsPause {
 public:
  explicit InterruptAsPause(SendController& controller) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // A write to stderr or the log that the signal interrupts goes on instead
    // of failing, which would lose the rest of the output.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
    SetBlockingHook([&controller] {
      if (interrupted != 0) {
        interrupted = 0;
        controller.OnPause();
      }
    });
  }
  ~InterruptAsPause() {
    SetBlockingHook({});
    sigaction(SIGINT, &previous_, nullptr);
  }
  InterruptAsPause(const InterruptAsPause&) = delete;
  InterruptAsPause& operator=(const InterruptAsPause&) = delete;

 private:
  struct sigaction previous_ {};
};

struct SendOptions {
  std::string projectPath;
  std::optional<bool> fromStart;
  std::string settingsPath = SettingsFilePath();
  std::optional<std::string> index;  // compose only
};

// Parses PROJECT, the command's positional INDEX when it takes one, and the flags.
std::optional<SendOptions> ParseOptions(const Arguments& args, bool takesIndex, bool takesResume,
                                        std::string& problem) {
  SendOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--settings" && i + 1 < args.size()) {
      options.settingsPath = args[++i];
    } else if (takesResume && (arg == "--from-start" || arg == "--resume")) {
      if (options.fromStart) {
        problem = "give --from-start or --resume once";
        return std::nullopt;
      }
      options.fromStart = arg == "--from-start";
    } else if (arg.starts_with("--")) {
      problem = "unexpected argument: " + arg;
      return std::nullopt;
    } else if (options.projectPath.empty()) {
      options.projectPath = arg;
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

}  // namespace

int RunCompose(const Arguments& args) {
  std::string problem;
  const std::optional<SendOptions> options = ParseOptions(args, true, false, problem);
  if (!options) return UsageError(problem);
  const std::optional<int> index = ParseIndex(*options->index);
  if (!index) return UsageError("INDEX must be an entry number");

  CliDocument cli;
  if (!cli.OpenWhole(options->projectPath)) return kExitFailed;
  CPostridrDoc& document = cli.document;
  if (*index >= document.GetEntryCount()) {
    std::cerr << "postrider-cli: the mailing list has no entry " << *index << " (it has "
              << document.GetEntryCount() << ")\n";
    return kExitFailed;
  }
  const UserSettings settings = LoadSettings(options->settingsPath);
  ComposedMessage composed;
  ComposeMessage(document, *index, settings, composed);
  std::cout.write(composed.text.data(), static_cast<std::streamsize>(composed.text.size()));
  std::cout.flush();
  return std::cout ? kExitOk : kExitFailed;
}

int RunSend(const Arguments& args) {
  std::string problem;
  const std::optional<SendOptions> options = ParseOptions(args, false, true, problem);
  if (!options) return UsageError(problem);

  UserSettings settings = LoadSettings(options->settingsPath);
  // Without a display there is no Configure dialog to ask in.
  if (settings.returnAddress.size() <= 4 || settings.smtpServer.size() <= 4) {
    std::cerr << texts::kSettingsNotConfigured << '\n';
    return kExitUsage;
  }

  CliDocument cli;
  if (!cli.OpenWhole(options->projectPath)) return kExitFailed;
  CPostridrDoc& document = cli.document;
  if (document.GetLastIndexSent() > 0 && !options->fromStart) {
    std::cerr << texts::kResumeQuestion << '\n'
              << "postrider-cli: answer with --from-start (Yes) or --resume (No)\n";
    return kExitUsage;
  }
  cli.prompts.SetYesNoAnswer(options->fromStart.value_or(false));
  cli.frame.SetEchoStatus(true);

  SendController controller(SendRunHost{cli.prompts, cli.frame, nullptr});
  SendRunResult result;
  {
    InterruptAsPause pause(controller);
    result = controller.OnSend(document, settings);
  }
  // Whatever became of the run, the marks and the resume point are kept.
  if (!document.OnSaveDocument(document.GetPathName())) return kExitFailed;
  return result.reachedEnd ? kExitOk : kExitFailed;
}

}  // namespace postrider::cli
