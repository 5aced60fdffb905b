#pragma once

#include <QDialog>

#include "send/oauth_sign_in.h"
#include "send/oauth_tokens.h"
#include "send/user_settings.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace postrider {

// "Sign In": the OAuth 2.0 sign-in in the user's own browser. Opens the
// provider's page, shows its address (to open by hand when no browser could
// be started), and waits for the browser to come back, the window painting
// all the while; Cancel (or Esc) ends the wait. What the sign-in got goes to
// `tokens`; the window then says who signed in, or why not.
class CSignInDlg : public QDialog {
  Q_OBJECT

 public:
  CSignInDlg(UserSettings settings, OAuthTokens& tokens, QWidget* parent = nullptr);

  QLabel* stateLabel() const { return state_; }
  QLineEdit* addressEdit() const { return address_; }
  QPushButton* copyButton() const { return copy_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* closeButton() const { return close_; }
  bool running() const { return running_; }
  const SignInResult& result() const { return result_; }

 signals:
  void finished(bool signedIn);

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RunSignIn();

  UserSettings settings_;
  OAuthTokens& tokens_;
  bool started_ = false;
  bool running_ = false;
  SignInResult result_;
  QLabel* state_ = nullptr;
  QLineEdit* address_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace postrider
