#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/user_prompts.h"
#include "project/document_views.h"
#include "project/postridr_doc.h"
#include "send/send_report.h"

namespace postrider::cli {

class CliFrame;

// Message boxes become lines on stderr; questions take the answer the
// command line was given.
class CliPrompts : public IUserPrompts {
 public:
  // With a frame, a box that begins with the status line just printed
  // leaves that line out, so an error is printed once.
  explicit CliPrompts(CliFrame* frame = nullptr) : frame_(frame) {}

  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& question) override;
  SaveChoice AskSaveChanges(const std::string& documentName) override;
  std::optional<std::string> ChooseSavePath(const std::string& suggestedName) override;

  void SetYesNoAnswer(bool yes) { yesNoAnswer_ = yes; }
  int messagesShown() const { return messagesShown_; }

 private:
  CliFrame* frame_;
  bool yesNoAnswer_ = false;
  int messagesShown_ = 0;
};

// The main window's side, without a window: status texts go to stderr, the
// progress of a run ("Sending 3 of 12") at most about ten times a second.
// A progress line held back is printed before whatever is printed next, so
// the last one is always seen.
class CliFrame : public IMainFrame {
 public:
  ~CliFrame() override { ShowHeldProgress(); }

  void AttachDocument(CPostridrDoc*) override {}
  void SetCurrentProjectPath(const std::string&) override {}
  void ShowSelectedCount(long) override {}
  void SetStatusText(const std::string& text) override;
  void ShowHelpContents() override {}

  void SetEchoStatus(bool echo) { echoStatus_ = echo; }
  // Prints the progress line held back, if any.
  void ShowHeldProgress();
  const std::string& statusText() const { return statusText_; }
  // The last status line written to stderr; empty when none was.
  const std::string& echoedText() const { return echoedText_; }

 private:
  void Echo(const std::string& text);

  bool echoStatus_ = false;
  std::string statusText_;
  std::string echoedText_;
  bool progressHeld_ = false;  // heldProgress_ is the last progress line, not yet printed
  std::string heldProgress_;
  std::chrono::steady_clock::time_point nextProgressAt_{};
};

// Each entry the server refused, or that has a bad address, as one line on
// stderr as it happens: "entry 4: refused ann@example.com: 554 5.7.1 ...".
class CliReport : public ISendRunReport {
 public:
  // With a frame, the progress line held back goes first, so that a
  // refusal stands under the count it happened at.
  explicit CliReport(CliFrame* frame = nullptr) : frame_(frame) {}

  void EntryRefused(int entry, const std::string& address, const std::string& reason) override;
  void EntryBadAddress(int entry, const std::string& address, const std::string& reason) override;
  void CopyRefused(int entry, const std::string& address, const std::string& reason) override;
  void EntryNotSent(int entry, const std::string& address, const std::string& reason) override;

 private:
  void Line(int entry, std::string_view what, const std::string& address,
            const std::string& reason);

  CliFrame* frame_;
};

// A document wired to the command line's prompts and frame.
struct CliDocument {
  CliFrame frame;
  CliPrompts prompts{&frame};
  CPostridrDoc document;

  CliDocument();
  CliDocument(const CliDocument&) = delete;
  CliDocument& operator=(const CliDocument&) = delete;

  // Opens the project only to look at it: no lock is taken, so a project
  // another program is sending can still be looked at. False when the
  // project does not open; the reason is on stderr.
  bool Open(const std::string& path);
  // Also false when any of the project's files could not be read, since
  // going on would use what stands in for them.
  bool OpenWhole(const std::string& path);
  // For commands that save or send: as OpenWhole, holding the project's lock
  // until the command ends; false when another program has it open for
  // writing.
  bool OpenToChange(const std::string& path);
};

}  // namespace postrider::cli
