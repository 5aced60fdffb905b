#pragma once

#include <QDialog>

#include "platform/secret.h"
#include "send/server_check.h"
#include "send/user_settings.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace postrider {

// "Test Settings": connects with the settings given, through TLS and the
// log-in, sends no mail, and shows each step's result as it comes. The
// window keeps painting while the server is waited for; Stop (or Esc) cuts
// the wait short.
class CServerCheckDlg : public QDialog {
  Q_OBJECT

 public:
  CServerCheckDlg(UserSettings settings, Secret password, QWidget* parent = nullptr,
                  SmtpTimeouts timeouts = {});

  // Where the token comes from for AuthMethod=oauth2; without one the
  // check says no sign-in is at hand.
  void SetTokens(IAccessTokenSource* tokens) { tokens_ = tokens; }

  QPlainTextEdit* stepsView() const { return steps_; }
  QLabel* outcomeLabel() const { return outcome_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* closeButton() const { return close_; }
  bool running() const { return running_; }
  const ServerCheckResult& result() const { return result_; }

 signals:
  void finished(bool passed);

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RunCheck();
  void AddLine(const std::string& line);

  UserSettings settings_;
  Secret password_;
  SmtpTimeouts timeouts_;
  IAccessTokenSource* tokens_ = nullptr;
  bool started_ = false;
  bool running_ = false;
  ServerCheckResult result_;
  QPlainTextEdit* steps_ = nullptr;
  QLabel* outcome_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace postrider
