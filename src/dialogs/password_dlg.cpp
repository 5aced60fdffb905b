#include "dialogs/password_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "views/display_text.h"

namespace postrider {

CPasswordDlg::CPasswordDlg(const QString& account, const QString& note, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("SMTP Password"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);

  auto* prompt = new QLabel(QStringLiteral("Password for %1:").arg(account), this);
  prompt->setTextFormat(Qt::PlainText);
  prompt->setAccessibleDescription(QStringLiteral("Password prompt"));
  layout->addWidget(prompt);

  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  password_->setAccessibleName(QStringLiteral("Password"));
  prompt->setBuddy(password_);
  layout->addWidget(password_);

  if (!note.isEmpty()) {
    auto* why = new QLabel(note, this);
    why->setTextFormat(Qt::PlainText);
    why->setWordWrap(true);
    why->setAccessibleDescription(QStringLiteral("Note"));
    layout->addWidget(why);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setAccessibleName(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
  buttons->setAccessibleName(QStringLiteral("Buttons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  setMinimumWidth(fontMetrics().averageCharWidth() * 50);
}

Secret CPasswordDlg::TakePassword() {
  QByteArray bytes = password_->text().toUtf8();
  Secret secret(bytes.toStdString());
  bytes.fill('\0');
  password_->clear();
  return secret;
}

std::optional<Secret> AskSmtpPassword(QWidget* parent, const std::string& userName,
                                      const std::string& server, const std::string& note) {
  CPasswordDlg dialog(ShownText(userName) + QStringLiteral(" on ") + ShownText(server),
                      ShownText(note), parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.TakePassword();
}

}  // namespace postrider
