#pragma once

#include <QDialog>

#include <optional>
#include <string>

#include "platform/secret.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace postrider {

// Asks for the SMTP password; what is typed is not shown.
class CPasswordDlg : public QDialog {
  Q_OBJECT

 public:
  // `account` names the user and server; `note` says why it is asked.
  CPasswordDlg(const QString& account, const QString& note, QWidget* parent = nullptr);

  QLineEdit* passwordEdit() const { return password_; }
  QPushButton* okButton() const { return ok_; }
  // What was typed; the field is emptied.
  Secret TakePassword();

 private:
  QLineEdit* password_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Runs the dialog; nothing when it is cancelled.
std::optional<Secret> AskSmtpPassword(QWidget* parent, const std::string& userName,
                                      const std::string& server, const std::string& note);

}  // namespace postrider
