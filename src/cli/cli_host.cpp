#include "cli/cli_host.h"

#include <iostream>

#include "cli/text_escape.h"

namespace postrider::cli {

// The one information box, the send run's closing summary, is the command's
// result; every other box is a diagnostic.
void CliPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
  ++messagesShown_;
  std::string_view shown = text;
  if (frame_ != nullptr && !frame_->echoedText().empty() &&
      shown.starts_with(frame_->echoedText() + "\n")) {
    shown.remove_prefix(frame_->echoedText().size() + 1);
  }
  (icon == MessageIcon::Information ? std::cout : std::cerr) << shown << std::endl;
}

namespace {

// A reason of several lines, the later ones indented under the first.
std::string Indented(const std::string& text) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '\n') out += "    ";
  }
  return out;
}

}  // namespace

void CliReport::EntryRefused(int entry, const std::string& address, const std::string& reason) {
  std::cerr << ("entry " + std::to_string(entry) + ": refused " + EscapeValue(address) + ": " +
                Indented(reason) + "\n");
}

void CliReport::EntryBadAddress(int entry, const std::string& address,
                                const std::string& reason) {
  std::cerr << ("entry " + std::to_string(entry) + ": bad address " + EscapeValue(address) +
                ": " + Indented(reason) + "\n");
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
  if (echoStatus_ && !text.empty()) {
    std::cerr << (text + '\n');
    echoedText_ = text;
  }
}

CliDocument::CliDocument() {
  document.SetPrompts(&prompts);
  document.SetMainFrame(&frame);
}

bool CliDocument::Open(const std::string& path) {
  document.SetProjectAccess(ProjectAccess::ReadOnly);
  return document.OnOpenDocument(path);
}

bool CliDocument::OpenWhole(const std::string& path) {
  if (!Open(path)) return false;
  if (document.GetLoadProblems().empty()) return true;
  std::cerr << "postrider-cli: nothing was changed or sent\n";
  return false;
}

bool CliDocument::OpenToChange(const std::string& path) {
  document.SetProjectAccess(ProjectAccess::Exclusive);
  if (!document.OnOpenDocument(path)) return false;
  if (document.GetLoadProblems().empty()) return true;
  std::cerr << "postrider-cli: nothing was changed or sent\n";
  return false;
}

}  // namespace postrider::cli
