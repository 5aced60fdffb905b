#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class QAbstractButton;

namespace postrider::testing {

// Acts on the next modal dialog that becomes active, so a test can drive a
// dialog that the code under test runs with exec(). The dialog is found
// through QApplication::activeModalWidget, never while the code under test
// waits in a blocking call; the driver gives up after `timeoutMs` and
// reports whether it acted.
//
// An action must not wait for the dialog's own work: it runs from a timer,
// perhaps inside that work's event loop, and would wait on itself. A dialog
// that needs time before it can be answered (a check that runs) gets a
// `ready` condition instead: the driver acts once it holds, and fails the
// test when it does not hold within the timeout.
//
// When the test has failed in an action (a QVERIFY that returned early, or
// the dialog never became ready), every modal dialog is closed as it comes
// up until the test function ends, so the exec() the test is in returns and
// the test fails at once instead of hanging.
class ModalDriver : public QObject {
 public:
  using Action = std::function<void(QWidget* modal)>;
  using Ready = std::function<bool(QWidget* modal)>;

  explicit ModalDriver(Action action, int timeoutMs = 10000, Ready ready = {});

  bool acted() const { return acted_; }
  QString seenTitle() const { return seenTitle_; }

 private:
  void Poll();

  Action action_;
  Ready ready_;
  QPointer<QWidget> ignored_;  // a modal already up when the driver was made
  QTimer timer_;
  int remainingPolls_;
  bool acted_ = false;
  QString seenTitle_;
};

// Closes every modal dialog, now and as they come up, for the rest of the
// failed test function; one that will not close yet is asked again.
void CloseModalsAfterFailure();

// Finds a button of `dialog` by its text (mnemonic ampersands ignored).
QAbstractButton* FindButton(QWidget* dialog, const QString& text);

}  // namespace postrider::testing
