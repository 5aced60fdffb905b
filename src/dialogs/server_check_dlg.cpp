#include "dialogs/server_check_dlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/events_while_waiting.h"
#include "platform/blocking_call.h"
#include "views/display_text.h"

namespace postrider {

CServerCheckDlg::CServerCheckDlg(UserSettings settings, Secret password, QWidget* parent,
                                 SmtpTimeouts timeouts)
    : QDialog(parent), settings_(std::move(settings)), password_(std::move(password)),
      timeouts_(timeouts) {
  setWindowTitle(QStringLiteral("Test Settings"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);

  steps_ = new QPlainTextEdit(this);
  steps_->setReadOnly(true);
  steps_->setLineWrapMode(QPlainTextEdit::NoWrap);
  steps_->setAccessibleName(QStringLiteral("Steps of the check"));
  layout->addWidget(steps_);

  outcome_ = new QLabel(QStringLiteral("Checking..."), this);
  outcome_->setTextFormat(Qt::PlainText);
  outcome_->setWordWrap(true);
  outcome_->setAccessibleDescription(QStringLiteral("Outcome"));
  layout->addWidget(outcome_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  stop_ = new QPushButton(QStringLiteral("&Stop"), this);
  stop_->setAccessibleName(QStringLiteral("Stop"));
  close_ = new QPushButton(QStringLiteral("&Close"), this);
  close_->setAccessibleName(QStringLiteral("Close"));
  close_->setEnabled(false);
  buttons->addWidget(stop_);
  buttons->addWidget(close_);
  layout->addLayout(buttons);
  connect(stop_, &QPushButton::clicked, this, [] { CancelBlockingCall(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);

  const QFontMetrics metrics(font());
  resize(metrics.averageCharWidth() * 90, metrics.height() * 22);
}

void CServerCheckDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  // Once the window is up, so the steps show as they pass.
  QTimer::singleShot(0, this, &CServerCheckDlg::RunCheck);
}

void CServerCheckDlg::reject() {
  // Esc or the close box while the server is waited for stops the wait;
  // the window closes once the check has ended.
  if (running_) {
    CancelBlockingCall();
    return;
  }
  QDialog::reject();
}

void CServerCheckDlg::AddLine(const std::string& line) { steps_->appendPlainText(ShownText(line)); }

void CServerCheckDlg::RunCheck() {
  running_ = true;
  {
    const EventsWhileWaiting hook;
    result_ = CheckServer(settings_, &password_, [this](const std::string& line) { AddLine(line); },
                          timeouts_, tokens_);
  }
  password_.Clear();
  running_ = false;
  if (result_.passed()) {
    outcome_->setText(QStringLiteral("Every step passed: mail can be sent with these settings."));
  } else {
    const std::string summary = result_.Summary();
    AddLine(summary);
    outcome_->setText(ShownText(summary));
  }
  stop_->setEnabled(false);
  close_->setEnabled(true);
  close_->setDefault(true);
  close_->setFocus();
  emit finished(result_.passed());
}

}  // namespace postrider
