#include "cli/cli_host.h"

#include <algorithm>
#include <iostream>

#include "cli/text_escape.h"
#include "project/entry_number.h"

namespace postrider::cli {

// The one information box, the send run's closing summary, is the command's
// result; every other box is a diagnostic.
void CliPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
  ++messagesShown_;
  if (frame_ != nullptr) frame_->ShowHeldProgress();
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

void CliReport::Line(int entry, std::string_view what, const std::string& address,
                     const std::string& reason) {
  if (frame_ != nullptr) frame_->ShowHeldProgress();
  std::cerr << ("entry " + EntryNumberText(entry) + ": " + std::string(what) + " " +
                EscapeValue(address) + ": " + Indented(reason) + "\n");
}

void CliReport::EntryRefused(int entry, const std::string& address, const std::string& reason) {
  Line(entry, "refused", address, reason);
}

void CliReport::EntryBadAddress(int entry, const std::string& address,
                                const std::string& reason) {
  Line(entry, "bad address", address, reason);
}

void CliReport::CopyRefused(int entry, const std::string& address, const std::string& reason) {
  Line(entry, "copy refused", address, reason);
}

void CliReport::EntryNotSent(int entry, const std::string& address, const std::string& reason) {
  Line(entry, "not sent", address, reason);
}

bool CliPrompts::AskYesNo(const std::string& /*question*/) { return yesNoAnswer_; }

// A command that changes a project saves it itself; nothing is asked on the way out.
SaveChoice CliPrompts::AskSaveChanges(const std::string& /*documentName*/) { return SaveChoice::No; }

std::optional<std::string> CliPrompts::ChooseSavePath(const std::string& /*suggestedName*/) {
  return std::nullopt;
}

namespace {

constexpr std::chrono::milliseconds kProgressInterval{100};

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "Sending 3 of 12", and not the error text that starts the same way.
bool IsProgressText(std::string_view text) {
  constexpr std::string_view kStart = "Sending ";
  constexpr std::string_view kOf = " of ";
  if (!text.starts_with(kStart)) return false;
  text.remove_prefix(kStart.size());
  const std::size_t of = text.find(kOf);
  return of != std::string_view::npos && AllDigits(text.substr(0, of)) &&
         AllDigits(text.substr(of + kOf.size()));
}

}  // namespace

void CliFrame::SetStatusText(const std::string& text) {
  statusText_ = text;
  if (!echoStatus_ || text.empty()) return;
  if (IsProgressText(text)) {
    // A line each message would cost a write each, and scroll by unread.
    const auto now = std::chrono::steady_clock::now();
    progressHeld_ = now < nextProgressAt_;
    if (progressHeld_) {
      heldProgress_ = text;
      return;
    }
    nextProgressAt_ = now + kProgressInterval;
  } else {
    ShowHeldProgress();
  }
  Echo(text);
}

void CliFrame::ShowHeldProgress() {
  if (!progressHeld_) return;
  progressHeld_ = false;
  Echo(heldProgress_);
}

void CliFrame::Echo(const std::string& text) {
  // One write per line: stderr is unbuffered.
  std::cerr << (text + '\n');
  echoedText_ = text;
}

CliDocument::CliDocument() {
  document.SetPrompts(&prompts);
  document.SetMainFrame(&frame);
}

bool CliDocument::Open(const std::string& path) {
  document.SetProjectAccess(ProjectAccess::ReadOnly);
  // The list's problem is told with the load problems.
  return document.OnOpenDocument(path) && !document.ListUnread();
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
