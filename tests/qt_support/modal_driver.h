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
class ModalDriver : public QObject {
 public:
  using Action = std::function<void(QWidget* modal)>;

  explicit ModalDriver(Action action, int timeoutMs = 10000);

  bool acted() const { return acted_; }
  QString seenTitle() const { return seenTitle_; }

 private:
  void Poll();

  Action action_;
  QPointer<QWidget> ignored_;  // a modal already up when the driver was made
  QTimer timer_;
  int remainingPolls_;
  bool acted_ = false;
  QString seenTitle_;
};

// Finds a button of `dialog` by its text (mnemonic ampersands ignored).
QAbstractButton* FindButton(QWidget* dialog, const QString& text);

}  // namespace postrider::testing
