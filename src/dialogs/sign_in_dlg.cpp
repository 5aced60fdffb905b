#include "dialogs/sign_in_dlg.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/events_while_waiting.h"
#include "platform/blocking_call.h"
#include "views/display_text.h"

namespace postrider {

CSignInDlg::CSignInDlg(UserSettings settings, OAuthTokens& tokens, QWidget* parent)
    : QDialog(parent), settings_(std::move(settings)), tokens_(tokens) {
  setWindowTitle(QStringLiteral("Sign In"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);

  state_ = new QLabel(QStringLiteral("Opening the sign-in page in your browser..."), this);
  state_->setTextFormat(Qt::PlainText);
  state_->setWordWrap(true);
  state_->setAccessibleDescription(QStringLiteral("Sign-in state"));
  layout->addWidget(state_);

  auto* addressRow = new QHBoxLayout;
  auto* addressLabel = new QLabel(QStringLiteral("&Address:"), this);
  addressLabel->setAccessibleDescription(QStringLiteral("Address"));
  address_ = new QLineEdit(this);
  address_->setReadOnly(true);
  address_->setAccessibleName(QStringLiteral("Sign-in address"));
  addressLabel->setBuddy(address_);
  copy_ = new QPushButton(QStringLiteral("C&opy Address"), this);
  copy_->setAccessibleName(QStringLiteral("Copy Address"));
  copy_->setEnabled(false);
  addressRow->addWidget(addressLabel);
  addressRow->addWidget(address_, 1);
  addressRow->addWidget(copy_);
  layout->addLayout(addressRow);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  close_ = new QPushButton(QStringLiteral("&Close"), this);
  close_->setAccessibleName(QStringLiteral("Close"));
  close_->setEnabled(false);
  buttons->addWidget(cancel_);
  buttons->addWidget(close_);
  layout->addLayout(buttons);

  connect(cancel_, &QPushButton::clicked, this, [] { CancelBlockingCall(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  connect(copy_, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(address_->text()); });

  // Room for the longest word of the outcome (a provider's error and its
  // explanation), so the window need not grow while it shows.
  const QFontMetrics metrics(font());
  state_->setMinimumHeight(metrics.lineSpacing() * 5);
  state_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  resize(metrics.averageCharWidth() * 80, sizeHint().height());
}

void CSignInDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  QTimer::singleShot(0, this, &CSignInDlg::RunSignIn);
}

void CSignInDlg::reject() {
  // Esc or the close box while the browser is waited for ends the wait; the
  // window closes once the sign-in has ended.
  if (running_) {
    CancelBlockingCall();
    return;
  }
  QDialog::reject();
}

void CSignInDlg::RunSignIn() {
  running_ = true;
  SignInOptions options;
  options.addressReady = [this](const std::string& address, const Status& browser) {
    address_->setText(ShownText(address));
    address_->setCursorPosition(0);
    copy_->setEnabled(true);
    state_->setText(browser ? QStringLiteral("Finish the sign-in in your browser. If no page "
                                             "opened, open this address in a browser:")
                            : ShownText(browser.message() +
                                        " Open this address in a browser on this computer:"));
  };
  {
    const EventsWhileWaiting events;
    result_ = SignIn(settings_, tokens_, options);
  }
  running_ = false;
  QString text;
  if (!result_.ok()) {
    text = ShownText(result_.message);
  } else {
    const std::string who = result_.account.empty() ? settings_.userName : result_.account;
    std::string said = "Signed in as " + who + ".";
    if (!result_.notes.empty()) said += "\n" + result_.notes;
    if (!result_.storeError.empty()) {
      said += "\nThe desktop's secret store could not keep the sign-in (" + result_.storeError +
              "): Postrider keeps it until it closes.";
    }
    text = ShownText(said);
  }
  state_->setText(text);
  cancel_->setEnabled(false);
  close_->setEnabled(true);
  close_->setDefault(true);
  close_->setFocus();
  emit finished(result_.ok());
}

}  // namespace postrider
