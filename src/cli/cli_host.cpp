#include "cli/cli_host.h"

#include <iostream>

namespace postrider::cli {

// The one information box, the send run's closing summary, is the command's
// result; every other box is a diagnostic.
void CliPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
  ++messagesShown_;
  (icon == MessageIcon::Information ? std::cout : std::cerr) << text << std::endl;
}

bool CliPrompts::AskYesNo(const std::string& /*question*/) { return yesNoAnswer_; }

// A command that changes a project saves it itself; nothing is asked on the way out.
SaveChoice CliPrompts::AskSaveChanges(const std::string& /*documentName*/) { return SaveChoice::No; }

std::optional<std::string> CliPrompts::ChooseSavePath(const std::string& /*suggestedName*/) {
  return std::nullopt;
}

void CliFrame::SetStatusText(const std::string& text) {
  statusText_ = text;
  // One write per line: stderr is unbuffered, and a run prints a line per entry.
  if (echoStatus_ && !text.empty()) std::cerr << (text + '\n');
}

CliDocument::CliDocument() {
  document.SetPrompts(&prompts);
  document.SetMainFrame(&frame);
}

bool CliDocument::Open(const std::string& path) { return document.OnOpenDocument(path); }

bool CliDocument::OpenWhole(const std::string& path) {
  if (!Open(path)) return false;
  if (document.GetLoadProblems().empty()) return true;
  std::cerr << "postrider-cli: nothing was changed or sent\n";
  return false;
}

}  // namespace postrider::cli
