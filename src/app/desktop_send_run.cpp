#include "app/desktop_send_run.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTextEdit>

#include <chrono>

#include "app/command_ids.h"
#include "app/main_frame.h"
#include "platform/blocking_call.h"
#include "project/postridr_doc.h"
#include "send/send_figures.h"
#include "smtp/smtp_wording.h"
#include "views/display_text.h"

namespace postrider {

namespace {

using Clock = std::chrono::steady_clock;

// A fast server answers thousands of times a second, and the hook runs before
// every wait for an answer. Handling Qt's events that often would cost more
// than the sending itself, so they are handled at most this often: far
// sooner than a click or a key press could notice.
constexpr auto kPumpInterval = std::chrono::milliseconds(4);

// A message box does not scroll: a run that left hundreds of entries unsent
// for their files would push its OK button off the screen. The box names
// the first few; its details name each.
constexpr std::size_t kFaultLinesInBox = 5;

// While a socket call waits: everything Qt has queued is handled, and the
// gate and the event filter decide what may happen. Nothing is painted here
// but what Qt has been asked to paint, which the frame keeps to its pace.
class EventPump {
 public:
  void operator()() {
    if (Clock::now() - last_ < kPumpInterval) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    last_ = Clock::now();
  }

 private:
  Clock::time_point last_{};
};

// The hook, the filter and the paced display for as long as the run lasts,
// whatever way it ends.
class RunScope {
 public:
  RunScope(QObject* filter, CMainFrame& frame)
      : filter_(filter), frame_(frame), previous_(GetBlockingHook()) {
    SetBlockingHook(EventPump());
    qApp->installEventFilter(filter_);
    frame_.PaceRunDisplay(true);
  }
  ~RunScope() {
    frame_.PaceRunDisplay(false);
    qApp->removeEventFilter(filter_);
    SetBlockingHook(previous_);
  }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  QObject* filter_;
  CMainFrame& frame_;
  BlockingHook previous_;
};

std::string EntryLine(int entry, const std::string& what, const std::string& address,
                      const std::string& reason) {
  return "Entry " + std::to_string(entry + 1) + ", " + what + " " + PrintableText(address) +
         ": " + PrintableText(reason);
}

}  // namespace

DesktopSendRun::DesktopSendRun(CMainFrame& frame, IUserPrompts& prompts,
                               IConfigureDialog* configure, ISmtpPasswordSource* passwords,
                               SmtpTimeouts timeouts)
    : frame_(frame),
      prompts_(prompts),
      attachmentProblems_(&frame),
      controller_(SendRunHost{prompts, frame, configure, passwords, this, this, &attachmentProblems_},
                  timeouts) {}

DesktopSendRun::~DesktopSendRun() = default;

bool DesktopSendRun::Allows(int id) {
  if (!controller_.IsSending() || id == commands::kPause) return true;
  ++refused_;
  QApplication::beep();
  return false;
}

void DesktopSendRun::Send(CPostridrDoc& document, UserSettings& settings) {
  if (controller_.IsSending()) return;
  problems_.clear();
  attachmentProblems_.ClearSkipped();
  leftOut_ = document.LeftOutListPartsText();
  lastPause_.invalidate();
  const RunScope scope(this, frame_);
  lastResult_ = controller_.OnSend(document, settings);
}

void DesktopSendRun::Pause() {
  // A double click, or Esc held down, asks once: a second Pause would cut
  // short the wait for a message the server holds and leave it in doubt.
  if (lastPause_.isValid() && lastPause_.elapsed() < QApplication::doubleClickInterval()) return;
  lastPause_.start();
  controller_.OnPause();
  // The pane says at once what the Pause does.
  frame_.ShowRunDisplayNow();
}

bool DesktopSendRun::eventFilter(QObject* watched, QEvent* event) {
  if (!controller_.IsSending()) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Dialogs the run shows (the settings, a password, a message) work as usual.
  if (widget == nullptr || widget->window() != &frame_) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
      // Esc stops the run as Pause does, so a message the server already
      // holds is waited for instead of being sent again on resume.
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Pause();
        return true;
      }
      return false;
    case QEvent::ContextMenu:
      // A context menu runs a loop of its own inside the wait.
      ++refused_;
      QApplication::beep();
      return true;
    default:
      return false;
  }
}

void DesktopSendRun::EntryRefused(int entry, const std::string& address,
                                  const std::string& reason) {
  problems_.push_back(EntryLine(entry, "refused", address, reason));
}

void DesktopSendRun::CopyRefused(int entry, const std::string& address,
                                 const std::string& reason) {
  problems_.push_back(EntryLine(entry, "copy refused", address, reason));
}

void DesktopSendRun::EntryBadAddress(int entry, const std::string& address,
                                     const std::string& reason) {
  problems_.push_back(EntryLine(entry, "bad address", address, reason));
}

void DesktopSendRun::EntryNotSent(int entry, const std::string& address,
                                  const std::string& reason) {
  problems_.push_back(EntryLine(entry, "not sent", address, reason));
}

void DesktopSendRun::Progress(int takenUp, int total) { frame_.ShowSendProgress(takenUp, total); }

std::string DesktopSendRun::DetailsText(const SendRunResult& result,
                                        const std::vector<std::string>& problems,
                                        const std::string& unselected) {
  std::string details = SendFiguresText(result);
  if (result.paused) {
    details += "\n\nPaused at entry " + std::to_string(result.stopPosition + 1) +
               ". The next Send asks whether to start from the beginning: answer No to go "
               "on from there.";
  }
  if (!problems.empty()) {
    details += "\n";
    for (const std::string& problem : problems) details += "\n" + problem;
  }
  if (!unselected.empty()) details += "\n\n" + unselected;
  return details;
}

void DesktopSendRun::Show(const std::string& fullText, const SendRunResult& result) {
  lastResult_ = result;
  std::string text = result.attachmentFaults.size() > kFaultLinesInBox
                         ? SendClosingText(result, leftOut_, kFaultLinesInBox)
                         : fullText;
  // Those the user unselected at the file check are named again, as
  // postrider-cli names them: the box the first few, its details each.
  const std::vector<AttachmentProblem>& unselected = attachmentProblems_.skipped();
  if (!unselected.empty()) {
    text += "\n\n" + UnselectedForFilesText(unselected, "", kFaultLinesInBox);
  }
  // The window shows where the run ended before the box covers it.
  frame_.ShowRunDisplayNow();
  QMessageBox box(QMessageBox::Information, QStringLiteral("Postrider"), ShownText(text),
                  QMessageBox::Ok, &frame_);
  box.setTextFormat(Qt::PlainText);
  box.setDetailedText(
      ShownText(DetailsText(result, problems_, UnselectedForFilesText(unselected, ""))));
  // Wide enough for an address and the server's words on one line.
  if (auto* details = box.findChild<QTextEdit*>()) {
    details->setAccessibleName(QStringLiteral("Details"));
    details->setMinimumSize(box.fontMetrics().averageCharWidth() * 90,
                            box.fontMetrics().lineSpacing() * 10);
  }
  box.exec();
  frame_.HideSendProgress();
}

}  // namespace postrider
