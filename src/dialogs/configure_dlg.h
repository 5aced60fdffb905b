#pragma once

#include <QDialog>

#include <functional>

#include "send/configure_dialog.h"
#include "send/user_settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace postrider {

class SmtpPasswords;

// File > Configure...: the sender, return address, server and logging in the
// "Network" group, and below it the "Security" group: how the server is
// reached, the user name, the password (kept in the desktop's secret store,
// never in the settings file) and a file of trusted certificates. "Test
// Settings" tries the values shown without sending mail. The "Sending
// Limits" group at the foot holds the pace a provider may ask for.
// "Provider" fills the server, its security and sign-in method from a
// preset; with the OAuth 2.0 sign-in method the user enters the client ID
// registered with the provider and signs in with "Sign In...", in the
// browser, instead of giving a password.
class CConfigureDlg : public QDialog {
  Q_OBJECT

 public:
  // `passwords` may be absent (no password is kept or asked for);
  // `showHelp` opens the settings page of the help.
  CConfigureDlg(const UserSettings& settings, SmtpPasswords* passwords,
                std::function<void()> showHelp, QWidget* parent = nullptr);

  // The values as the controls hold them, over the settings the dialog was
  // given (values it does not show stay as they were).
  UserSettings EditedSettings() const;
  // The password typed in the dialog; empty when the field was left alone.
  QString typedPassword() const;
  // "Ask before sending": the desktop's question before a send run. Shown
  // only once set, since only the desktop program asks it.
  void SetConfirmSend(bool confirm);
  bool confirmSend() const;

  QLineEdit* realNameEdit() const { return realName_; }
  QLineEdit* returnAddressEdit() const { return returnAddress_; }
  QLineEdit* serverEdit() const { return server_; }
  QComboBox* providerCombo() const { return provider_; }
  QComboBox* signInMethodCombo() const { return signInMethod_; }
  QPushButton* signInButton() const { return signIn_; }
  QLineEdit* clientIdEdit() const { return clientId_; }
  QLineEdit* clientSecretEdit() const { return clientSecret_; }
  QLabel* signInStateLabel() const { return signInState_; }
  QCheckBox* loggingCheck() const { return logging_; }
  QCheckBox* confirmSendCheck() const { return confirmSend_; }
  QGroupBox* networkGroup() const { return network_; }
  QGroupBox* securityGroup() const { return security_; }
  QComboBox* securityCombo() const { return securityChoice_; }
  QLineEdit* userNameEdit() const { return userName_; }
  QLineEdit* passwordEdit() const { return password_; }
  QLineEdit* trustFileEdit() const { return trustFile_; }
  QPushButton* browseButton() const { return browse_; }
  QGroupBox* limitsGroup() const { return limits_; }
  QSpinBox* perMinuteSpin() const { return perMinute_; }
  QSpinBox* perConnectionSpin() const { return perConnection_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* helpButton() const { return help_; }
  QPushButton* testButton() const { return test_; }

  // OK and Enter: refused, with the reason and the focus on the field, while
  // a server typed here cannot be reached as written or a sending limit holds
  // no count the box takes.
  void accept() override;

 private:
  void OnBrowse();
  void OnTestSettings();
  void UpdatePasswordHint();
  // The server or user name changed: a password typed for the account
  // before is not that of the new one.
  void OnAccountEdited();
  QString AccountShown() const;
  void OnProviderChosen(int index);
  void OnSignIn();
  // Password or OAuth 2.0: which fields and buttons mean something now.
  void UpdateSignInControls();
  void ShowKeptSignIn();
  bool OAuthChosen() const;

  UserSettings original_;
  SmtpPasswords* passwords_;
  std::function<void()> showHelp_;

  QGroupBox* network_ = nullptr;
  QLineEdit* realName_ = nullptr;
  QLineEdit* returnAddress_ = nullptr;
  QLineEdit* server_ = nullptr;
  QComboBox* provider_ = nullptr;
  QComboBox* signInMethod_ = nullptr;
  QPushButton* signIn_ = nullptr;
  QLineEdit* clientId_ = nullptr;
  QLineEdit* clientSecret_ = nullptr;
  QLabel* signInState_ = nullptr;
  // The provider's endpoints and scope: not shown, but a preset changes them.
  std::string oauthAuthorizeUrl_;
  std::string oauthTokenUrl_;
  std::string oauthScope_;
  QCheckBox* logging_ = nullptr;
  QCheckBox* confirmSend_ = nullptr;
  QGroupBox* security_ = nullptr;
  QComboBox* securityChoice_ = nullptr;
  QLineEdit* userName_ = nullptr;
  QLineEdit* password_ = nullptr;
  // The user name and server the password in the field was typed for.
  QString passwordAccount_;
  QLineEdit* trustFile_ = nullptr;
  QPushButton* browse_ = nullptr;
  QGroupBox* limits_ = nullptr;
  QSpinBox* perMinute_ = nullptr;
  QSpinBox* perConnection_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* test_ = nullptr;
};

// The core's Configure dialog: runs CConfigureDlg over `parent`. On OK the
// settings take the edited values and a typed password goes to `passwords`;
// the user is told when the desktop cannot store it.
class QtConfigureDialog : public IConfigureDialog {
 public:
  QtConfigureDialog(QWidget* parent, SmtpPasswords* passwords, std::function<void()> showHelp)
      : parent_(parent), passwords_(passwords), showHelp_(std::move(showHelp)) {}

  bool Run(UserSettings& settings) override;
  // The desktop's ConfirmSend, shown and edited with the settings.
  void SetConfirmSend(bool* confirm) { confirmSend_ = confirm; }

 private:
  QWidget* parent_;
  bool* confirmSend_ = nullptr;
  SmtpPasswords* passwords_;
  std::function<void()> showHelp_;
};

}  // namespace postrider
