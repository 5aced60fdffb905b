#include "qt_support/modal_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>


#include "platform/blocking_call.h"

namespace postrider::testing {

namespace {

constexpr int kPollMs = 10;

// Closes what a failed test left open, until the next test function starts.
class FailureSweeper : public QObject {
 public:
  explicit FailureSweeper(QObject* parent) : QObject(parent) {
    timer_.setInterval(kPollMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Sweep(); });
  }

  void Start() {
    const char* function = QTest::currentTestFunction();
    function_ = function != nullptr ? QByteArray(function) : QByteArray();
    Sweep();
    timer_.start();
  }

 private:
  void Sweep() {
    const char* function = QTest::currentTestFunction();
    if (!QTest::currentTestFailed() || function == nullptr || function_ != function) {
      timer_.stop();
      return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }

  QTimer timer_;
  QByteArray function_;
};

// A dialog nobody answers would hold its exec(), and the test, until CTest
// kills it without a word: one left up this long fails the test and is closed.
constexpr int kUnansweredMs = 90000;

class UnansweredModalWatch : public QObject {
 public:
  explicit UnansweredModalWatch(QObject* parent) : QObject(parent) {
    timer_.setInterval(500);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start();
  }

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != seen_) {
      seen_ = modal;
      since_.start();
      return;
    }
    if (modal == nullptr || since_.elapsed() < kUnansweredMs) return;
    QTest::qFail(qPrintable(QStringLiteral("\"%1\" (%2) was left unanswered")
                                .arg(modal->windowTitle(),
                                     QLatin1String(modal->metaObject()->className()))),
                 __FILE__, __LINE__);
    CloseModalsAfterFailure();
    since_.start();
  }

  QTimer timer_;
  QPointer<QWidget> seen_;
  QElapsedTimer since_;
};

void WatchForUnansweredModals() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  new UnansweredModalWatch(QCoreApplication::instance());
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchForUnansweredModals)

void CloseModalsAfterFailure() {
  static QPointer<FailureSweeper> sweeper;
  if (sweeper == nullptr) sweeper = new FailureSweeper(QCoreApplication::instance());
  sweeper->Start();
}

ModalDriver::ModalDriver(Action action, int timeoutMs, Ready ready)
    : action_(std::move(action)),
      ready_(std::move(ready)),
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
  const bool ours = modal != nullptr && modal != ignored_ && modal->isVisible();
  if (ours && (!ready_ || ready_(modal))) {
    timer_.stop();
    acted_ = true;
    seenTitle_ = modal->windowTitle();
    action_(modal);
    if (QTest::currentTestFailed()) CloseModalsAfterFailure();
    return;
  }
  if (--remainingPolls_ > 0) return;
  timer_.stop();
  if (ours) {
    QTest::qFail(qPrintable(QStringLiteral("\"%1\" was not ready to be answered in time")
                                .arg(modal->windowTitle())),
                 __FILE__, __LINE__);
    CloseModalsAfterFailure();
  }
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
