#include "qt_support/modal_driver.h"

#include <QAbstractButton>
#include <QApplication>

#include "platform/blocking_call.h"

namespace postrider::testing {

namespace {
constexpr int kPollMs = 10;
}

ModalDriver::ModalDriver(Action action, int timeoutMs)
    : action_(std::move(action)),
      ignored_(QApplication::activeModalWidget()),
      remainingPolls_(timeoutMs / kPollMs) {
  timer_.setInterval(kPollMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
  timer_.start();
}

void ModalDriver::Poll() {
  // Never from inside the code's blocking hook: an action that waits for
  // that code (a check's result, say) would wait for a call that cannot
  // end until the hook returns. The next poll outside it acts.
  if (IsInBlockingCall()) {
    if (--remainingPolls_ <= 0) timer_.stop();
    return;
  }
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && modal != ignored_ && modal->isVisible()) {
    timer_.stop();
    acted_ = true;
    seenTitle_ = modal->windowTitle();
    action_(modal);
    return;
  }
  if (--remainingPolls_ <= 0) timer_.stop();
}

QAbstractButton* FindButton(QWidget* dialog, const QString& text) {
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    QString shown = button->text();
    shown.remove(QLatin1Char('&'));
    if (shown == text) return button;
  }
  return nullptr;
}

}  // namespace postrider::testing
