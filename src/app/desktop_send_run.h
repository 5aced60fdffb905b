#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/attachment_problems_dlg.h"
#include "send/send_run.h"

namespace postrider {

class CMainFrame;
class CPostridrDoc;

// Send and Pause in the desktop program. The run goes on the user-interface
// thread, as a send always has: while a socket call waits, the blocking hook
// lets Qt paint and take clicks in the list and typing in the letter, while
// every command but Pause is refused with a beep, so nothing can close or
// replace the project, its list or the connection under the run.
class DesktopSendRun : public QObject, public ISendRunReport, public ISendRunEndBox {
  Q_OBJECT

 public:
  DesktopSendRun(CMainFrame& frame, IUserPrompts& prompts, IConfigureDialog* configure,
                 ISmtpPasswordSource* passwords, SmtpTimeouts timeouts = {});
  ~DesktopSendRun() override;

  // A Send during a run does nothing.
  void Send(CPostridrDoc& document, UserSettings& settings);
  void Pause();
  bool IsSending() const { return controller_.IsSending(); }
  // Whether the command may run now; refused ones beep.
  bool Allows(int id);

  // How many commands were refused during runs, for those who check.
  int refusedCommands() const { return refused_; }
  const SendRunResult& lastResult() const { return lastResult_; }
  // The final box's details: the figures, then each entry not delivered,
  // then `unselected`, what was unselected before the run.
  static std::string DetailsText(const SendRunResult& result,
                                 const std::vector<std::string>& problems,
                                 const std::string& unselected = {});

  // ISendRunReport
  void EntryRefused(int entry, const std::string& address, const std::string& reason) override;
  void CopyRefused(int entry, const std::string& address, const std::string& reason) override;
  void EntryBadAddress(int entry, const std::string& address, const std::string& reason) override;
  void EntryNotSent(int entry, const std::string& address, const std::string& reason) override;
  void Progress(int takenUp, int total) override;
  // ISendRunEndBox
  void Show(const std::string& fullText, const SendRunResult& result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CMainFrame& frame_;
  IUserPrompts& prompts_;
  QtAttachmentProblemsPrompt attachmentProblems_;
  SendController controller_;
  std::vector<std::string> problems_;
  // What the list left out, for the final box when it is shortened.
  std::string leftOut_;
  SendRunResult lastResult_;
  // When this run's last Pause was acted on.
  QElapsedTimer lastPause_;
  int refused_ = 0;
};

}  // namespace postrider
