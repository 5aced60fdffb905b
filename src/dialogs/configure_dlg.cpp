#include "dialogs/configure_dlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include "dialogs/password_dlg.h"
#include "dialogs/server_check_dlg.h"
#include "dialogs/sign_in_dlg.h"
#include "dialogs/smtp_passwords.h"
#include "send/mail_providers.h"
#include "send/oauth_client.h"
#include "send/send_run.h"
#include "send/server_check.h"
#include "smtp/smtp_security.h"
#include "views/dialog_units.h"
#include "views/display_text.h"

namespace postrider {

namespace {

constexpr int kWidthUnits = 262;
constexpr int kHeightUnits = 308;

struct SecurityChoice {
  const char* text;
  const char* value;
};
constexpr SecurityChoice kSecurityChoices[] = {
    {"None", "none"}, {"STARTTLS", "starttls"}, {"TLS", "tls"}};
constexpr SecurityChoice kSignInMethods[] = {{"Password", "password"}, {"OAuth 2.0", "oauth2"}};

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The Provider box's row for a server: "Other" first, then the presets.
int ProviderRow(const std::string& server) {
  UserSettings settings;
  settings.smtpServer = server;
  const MailProvider* provider = ProviderOfSettings(settings);
  return provider == nullptr ? 0 : 1 + static_cast<int>(provider - MailProviders().data());
}

// A value the user did not touch keeps its bytes, even those that are not UTF-8.
std::string EditedValue(const QLineEdit* edit, const std::string& original) {
  if (edit->text() == ShownText(original)) return original;
  return edit->text().toStdString();
}

QLineEdit* MakeEdit(QWidget* parent, const QString& name, const QRect& box) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(box);
  edit->setAccessibleName(name);
  return edit;
}

// A count box that keeps what was typed, even when it is no count ("-5",
// "1e9"), so that OK can refuse it and say why. A plain spin box drops such
// keys unheard ("1e9" became 19) or puts its last value back on leaving.
class CountBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

  bool Readable() const {
    QString shown = lineEdit()->displayText();
    if (!specialValueText().isEmpty() && shown == specialValueText()) return true;
    int at = 0;
    return QSpinBox::validate(shown, at) == QValidator::Acceptable;
  }
  QString Typed() const {
    QString shown = lineEdit()->displayText();
    if (shown.endsWith(suffix())) shown.chop(suffix().size());
    return shown.trimmed();
  }

 protected:
  QValidator::State validate(QString& input, int& pos) const override {
    const QValidator::State state = QSpinBox::validate(input, pos);
    return state == QValidator::Invalid ? QValidator::Intermediate : state;
  }
  void keyPressEvent(QKeyEvent* event) override {
    // Enter goes to the dialog, whose OK says what is wrong.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !Readable()) {
      event->ignore();
      return;
    }
    QSpinBox::keyPressEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    if (Readable()) {
      QSpinBox::focusOutEvent(event);
      return;
    }
    QCoreApplication::sendEvent(lineEdit(), event);
    QWidget::focusOutEvent(event);
  }
};

// A count where 0 means no limit, and says so.
QSpinBox* MakeLimit(QWidget* parent, const QString& name, const QRect& box, int most) {
  auto* spin = new CountBox(parent);
  spin->setGeometry(box);
  spin->setRange(0, most);
  spin->setSpecialValueText(QStringLiteral("No limit"));
  spin->setSuffix(QStringLiteral(" messages"));
  spin->setAccessibleName(name);
  // Its edit is what a screen reader lands on.
  if (auto* edit = spin->findChild<QLineEdit*>()) edit->setAccessibleName(name);
  return spin;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& box, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(box);
  label->setBuddy(buddy);
  QString name = text;
  label->setAccessibleName(name.remove(QLatin1Char('&')));
  return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& box) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(box);
  QString name = text;
  button->setAccessibleName(name.remove(QLatin1Char('&')).remove(QStringLiteral("...")));
  return button;
}

// Wide enough for the button's words inside its frame, with room for a letter
// on each side; dialog units alone leave a long label ("Test Settings...")
// running into the edges in many fonts.
void WidenToText(QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.rect = button->rect();
  option.text = button->text();
  const QRect contents =
      button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  QString shown = button->text();
  shown.remove(QLatin1Char('&'));
  const QFontMetrics metrics = button->fontMetrics();
  const int needed = metrics.horizontalAdvance(shown) + 2 * metrics.averageCharWidth() +
                     (button->width() - contents.width());
  if (needed > button->width()) button->resize(needed, button->height());
}

void Warn(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Postrider"), ShownText(text),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

CConfigureDlg::CConfigureDlg(const UserSettings& settings, SmtpPasswords* passwords,
                             std::function<void()> showHelp, QWidget* parent)
    : QDialog(parent), original_(settings), passwords_(passwords), showHelp_(std::move(showHelp)) {
  setWindowTitle(QStringLiteral("Configure"));
  setAccessibleName(windowTitle());
  const DialogUnits units(font());
  setFixedSize(units.ToPixels(kWidthUnits, kHeightUnits));

  // Places inside a group box are the dialog's, less the box's own corner.
  network_ = new QGroupBox(QStringLiteral("Network"), this);
  network_->setGeometry(units.ToPixels(7, 7, 188, 83));
  network_->setAccessibleName(QStringLiteral("Network"));
  const QPoint networkAt = network_->geometry().topLeft();
  auto inNetwork = [&](int x, int y, int w, int h) {
    return units.ToPixels(x, y, w, h).translated(-networkAt);
  };
  realName_ = MakeEdit(network_, QStringLiteral("Real Name"), inNetwork(76, 19, 112, 12));
  MakeLabel(network_, QStringLiteral("&Real Name:"), inNetwork(14, 21, 60, 8), realName_);
  returnAddress_ = MakeEdit(network_, QStringLiteral("Return Address"), inNetwork(76, 36, 112, 12));
  MakeLabel(network_, QStringLiteral("Return &Address:"), inNetwork(14, 38, 60, 8), returnAddress_);
  provider_ = new QComboBox(network_);
  provider_->setGeometry(inNetwork(76, 53, 112, 12));
  provider_->setAccessibleName(QStringLiteral("Provider"));
  provider_->addItem(QStringLiteral("Other"));
  for (const MailProvider& provider : MailProviders()) provider_->addItem(FromView(provider.name));
  MakeLabel(network_, QStringLiteral("Pro&vider:"), inNetwork(14, 55, 60, 8), provider_);
  server_ = MakeEdit(network_, QStringLiteral("SMTP Server"), inNetwork(76, 70, 112, 12));
  MakeLabel(network_, QStringLiteral("SMTP &Server:"), inNetwork(14, 72, 60, 8), server_);

  logging_ = new QCheckBox(QStringLiteral("Enable &Logging"), this);
  logging_->setGeometry(units.ToPixels(14, 94, 84, 10));
  logging_->setAccessibleName(QStringLiteral("Enable Logging"));
  confirmSend_ = new QCheckBox(QStringLiteral("As&k before Sending"), this);
  confirmSend_->setGeometry(units.ToPixels(100, 94, 95, 10));
  confirmSend_->setAccessibleName(QStringLiteral("Ask before Sending"));
  confirmSend_->hide();

  security_ = new QGroupBox(QStringLiteral("Security"), this);
  security_->setGeometry(units.ToPixels(7, 109, 188, 142));
  security_->setAccessibleName(QStringLiteral("Security"));
  const QPoint securityAt = security_->geometry().topLeft();
  auto inSecurity = [&](int x, int y, int w, int h) {
    return units.ToPixels(x, y, w, h).translated(-securityAt);
  };
  securityChoice_ = new QComboBox(security_);
  securityChoice_->setGeometry(inSecurity(76, 121, 112, 12));
  securityChoice_->setAccessibleName(QStringLiteral("Security"));
  for (const SecurityChoice& choice : kSecurityChoices) {
    securityChoice_->addItem(QString::fromLatin1(choice.text), QString::fromLatin1(choice.value));
  }
  MakeLabel(security_, QStringLiteral("S&ecurity:"), inSecurity(14, 123, 60, 8), securityChoice_);
  signInMethod_ = new QComboBox(security_);
  signInMethod_->setGeometry(inSecurity(76, 138, 60, 12));
  signInMethod_->setAccessibleName(QStringLiteral("Sign-in Method"));
  for (const SecurityChoice& method : kSignInMethods) {
    signInMethod_->addItem(QString::fromLatin1(method.text), QString::fromLatin1(method.value));
  }
  MakeLabel(security_, QStringLiteral("Sign-in Metho&d:"), inSecurity(14, 140, 60, 8),
            signInMethod_);
  signIn_ = MakeButton(security_, QStringLiteral("Sign &In..."), inSecurity(138, 137, 50, 14));
  userName_ = MakeEdit(security_, QStringLiteral("User Name"), inSecurity(76, 155, 112, 12));
  MakeLabel(security_, QStringLiteral("&User Name:"), inSecurity(14, 157, 60, 8), userName_);
  password_ = MakeEdit(security_, QStringLiteral("Password"), inSecurity(76, 172, 112, 12));
  password_->setEchoMode(QLineEdit::Password);
  MakeLabel(security_, QStringLiteral("&Password:"), inSecurity(14, 174, 60, 8), password_);
  clientId_ = MakeEdit(security_, QStringLiteral("Client ID"), inSecurity(76, 189, 112, 12));
  MakeLabel(security_, QStringLiteral("Client ID:"), inSecurity(14, 191, 60, 8), clientId_);
  clientSecret_ =
      MakeEdit(security_, QStringLiteral("Client Secret"), inSecurity(76, 206, 112, 12));
  MakeLabel(security_, QStringLiteral("Client Secret:"), inSecurity(14, 208, 60, 8),
            clientSecret_);
  trustFile_ = MakeEdit(security_, QStringLiteral("Trust File"), inSecurity(76, 223, 74, 12));
  MakeLabel(security_, QStringLiteral("&Trust File:"), inSecurity(14, 225, 60, 8), trustFile_);
  browse_ = MakeButton(security_, QStringLiteral("&Browse..."), inSecurity(152, 222, 36, 14));
  signInState_ = new QLabel(security_);
  signInState_->setGeometry(inSecurity(14, 239, 174, 9));
  signInState_->setTextFormat(Qt::PlainText);
  signInState_->setToolTip(
      QStringLiteral("Sign In opens the provider's sign-in page in your browser."));

  limits_ = new QGroupBox(QStringLiteral("Sending Limits"), this);
  limits_->setGeometry(units.ToPixels(7, 256, 188, 45));
  limits_->setAccessibleName(QStringLiteral("Sending Limits"));
  const QPoint limitsAt = limits_->geometry().topLeft();
  auto inLimits = [&](int x, int y, int w, int h) {
    return units.ToPixels(x, y, w, h).translated(-limitsAt);
  };
  perMinute_ = MakeLimit(limits_, QStringLiteral("Messages per Minute"),
                         inLimits(76, 268, 112, 12), 100000);
  MakeLabel(limits_, QStringLiteral("Per &Minute:"), inLimits(14, 270, 60, 8), perMinute_);
  perConnection_ = MakeLimit(limits_, QStringLiteral("Messages per Connection"),
                             inLimits(76, 285, 112, 12), 100000);
  MakeLabel(limits_, QStringLiteral("Per Co&nnection:"), inLimits(14, 287, 60, 8),
            perConnection_);

  ok_ = MakeButton(this, QStringLiteral("&OK"), units.ToPixels(205, 7, 50, 14));
  ok_->setDefault(true);
  cancel_ = MakeButton(this, QStringLiteral("&Cancel"), units.ToPixels(205, 24, 50, 14));
  help_ = MakeButton(this, QStringLiteral("&Help"), units.ToPixels(205, 41, 50, 14));
  test_ = MakeButton(this, QStringLiteral("Test Settin&gs..."), units.ToPixels(205, 98, 50, 14));
  WidenToText(test_);
  // The dialog keeps its margin right of a widened button.
  const int rightMargin = units.ToPixelsX(kWidthUnits) - units.ToPixelsX(205 + 50);
  if (test_->geometry().right() + 1 + rightMargin > width()) {
    setFixedSize(test_->geometry().right() + 1 + rightMargin, height());
  }

  // The controls from the settings.
  realName_->setText(ShownText(settings.realName));
  returnAddress_->setText(ShownText(settings.returnAddress));
  server_->setText(ShownText(settings.smtpServer));
  logging_->setChecked(settings.log != 0);
  const std::optional<SmtpSecurity> security = ParseSmtpSecurity(settings.security);
  securityChoice_->setCurrentIndex(
      security ? securityChoice_->findData(QString::fromLatin1(SmtpSecurityName(*security).data()))
               : -1);
  userName_->setText(ShownText(settings.userName));
  const std::string method = UsesOAuth(settings) ? "oauth2" : settings.authMethod;
  signInMethod_->setCurrentIndex(signInMethod_->findData(QString::fromStdString(method)));
  clientId_->setText(ShownText(settings.oauthClientId));
  clientSecret_->setText(ShownText(settings.oauthClientSecret));
  oauthAuthorizeUrl_ = settings.oauthAuthorizeUrl;
  oauthTokenUrl_ = settings.oauthTokenUrl;
  oauthScope_ = settings.oauthScope;
  provider_->setCurrentIndex(ProviderRow(settings.smtpServer));
  trustFile_->setText(ShownPath(settings.tlsTrustFile));
  perMinute_->setValue(std::max(settings.messagesPerMinute, 0));
  perConnection_->setValue(std::max(settings.messagesPerConnection, 0));
  UpdatePasswordHint();
  UpdateSignInControls();

  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(help_, &QPushButton::clicked, this, [this] {
    if (showHelp_) showHelp_();
  });
  connect(browse_, &QPushButton::clicked, this, &CConfigureDlg::OnBrowse);
  connect(test_, &QPushButton::clicked, this, &CConfigureDlg::OnTestSettings);
  connect(userName_, &QLineEdit::textChanged, this, &CConfigureDlg::OnAccountEdited);
  connect(server_, &QLineEdit::textChanged, this, &CConfigureDlg::OnAccountEdited);
  connect(password_, &QLineEdit::textEdited, this,
          [this] { passwordAccount_ = AccountShown(); });
  // A server typed by hand shows whose it is, or "Other".
  connect(server_, &QLineEdit::textEdited, this,
          [this] { provider_->setCurrentIndex(ProviderRow(server_->text().toStdString())); });
  connect(provider_, &QComboBox::activated, this, &CConfigureDlg::OnProviderChosen);
  connect(signInMethod_, &QComboBox::currentIndexChanged, this, [this] {
    UpdateSignInControls();
    ShowKeptSignIn();
  });
  connect(signIn_, &QPushButton::clicked, this, &CConfigureDlg::OnSignIn);
  // Asking the secret store may take a moment: after the window is up.
  QTimer::singleShot(0, this, &CConfigureDlg::ShowKeptSignIn);
  realName_->setFocus();
}

UserSettings CConfigureDlg::EditedSettings() const {
  UserSettings edited = original_;
  edited.realName = EditedValue(realName_, original_.realName);
  edited.returnAddress = EditedValue(returnAddress_, original_.returnAddress);
  edited.smtpServer = EditedValue(server_, original_.smtpServer);
  edited.log = logging_->isChecked() ? 1 : 0;
  // A value the list does not know stays as the file has it.
  if (securityChoice_->currentIndex() >= 0) {
    const QString chosen = securityChoice_->currentData().toString();
    if (ParseSmtpSecurity(original_.security) != ParseSmtpSecurity(chosen.toStdString())) {
      edited.security = chosen.toStdString();
    }
  }
  edited.userName = EditedValue(userName_, original_.userName);
  // A method the list does not know stays as the file has it, as Security does.
  if (signInMethod_->currentIndex() >= 0) {
    const std::string chosen = signInMethod_->currentData().toString().toStdString();
    if (chosen != (UsesOAuth(original_) ? "oauth2" : original_.authMethod)) {
      edited.authMethod = chosen;
    }
  }
  edited.oauthClientId = EditedValue(clientId_, original_.oauthClientId);
  edited.oauthClientSecret = EditedValue(clientSecret_, original_.oauthClientSecret);
  edited.oauthAuthorizeUrl = oauthAuthorizeUrl_;
  edited.oauthTokenUrl = oauthTokenUrl_;
  edited.oauthScope = oauthScope_;
  edited.tlsTrustFile = trustFile_->text() == ShownPath(original_.tlsTrustFile)
                            ? original_.tlsTrustFile
                            : PathBytes(trustFile_->text());
  // A count beyond what the box shows stays as the file has it until changed.
  if (perMinute_->value() != std::clamp(original_.messagesPerMinute, 0, perMinute_->maximum())) {
    edited.messagesPerMinute = perMinute_->value();
  }
  if (perConnection_->value() !=
      std::clamp(original_.messagesPerConnection, 0, perConnection_->maximum())) {
    edited.messagesPerConnection = perConnection_->value();
  }
  return edited;
}

void CConfigureDlg::accept() {
  // A value that came from the file is left to the user; one typed here that
  // every send would fail on is not saved.
  if (server_->text() != ShownText(original_.smtpServer) && !server_->text().isEmpty()) {
    if (const std::string problem = ServerNameProblem(EditedSettings().smtpServer);
        !problem.empty()) {
      Warn(this, problem);
      server_->setFocus(Qt::OtherFocusReason);
      server_->selectAll();
      return;
    }
  }
  for (QSpinBox* spin : {perMinute_, perConnection_}) {
    const auto* count = static_cast<const CountBox*>(spin);
    if (count->Readable()) continue;
    QString what = spin->accessibleName();
    Warn(this, QStringLiteral("%1: \"%2\" is not a whole number from 0 (no limit) to %3.")
                   .arg(what, count->Typed())
                   .arg(spin->maximum())
                   .toStdString());
    spin->setFocus(Qt::OtherFocusReason);
    spin->selectAll();
    return;
  }
  QDialog::accept();
}

QString CConfigureDlg::typedPassword() const { return password_->text(); }

void CConfigureDlg::SetConfirmSend(bool confirm) {
  confirmSend_->setChecked(confirm);
  confirmSend_->show();
}

bool CConfigureDlg::confirmSend() const { return confirmSend_->isChecked(); }

void CConfigureDlg::UpdatePasswordHint() {
  // The field stays empty: a stored password is never shown, only said to be there.
  password_->setPlaceholderText(userName_->text().isEmpty()
                                    ? QStringLiteral("no user name, no log-in")
                                    : QStringLiteral("unchanged if left empty"));
}

QString CConfigureDlg::AccountShown() const {
  return userName_->text() + QLatin1Char('@') + server_->text();
}

void CConfigureDlg::OnAccountEdited() {
  // Kept, it would be stored for, and sent to, an account it was never
  // typed for; the user types the new account's password, or leaves the
  // field empty to use the one stored for it.
  if (!password_->text().isEmpty() && AccountShown() != passwordAccount_) password_->clear();
  UpdatePasswordHint();
}

bool CConfigureDlg::OAuthChosen() const {
  return signInMethod_->currentData().toString() == QStringLiteral("oauth2");
}

void CConfigureDlg::UpdateSignInControls() {
  const bool oauth = OAuthChosen();
  password_->setEnabled(!oauth);
  clientId_->setEnabled(oauth);
  clientSecret_->setEnabled(oauth);
  signIn_->setEnabled(oauth);
  signInState_->setVisible(oauth);
}

void CConfigureDlg::ShowKeptSignIn() {
  if (!OAuthChosen()) return;
  const UserSettings edited = EditedSettings();
  std::string text;
  if (!edited.tokenCommand.empty()) {
    text = "The access token comes from TokenCommand.";
  } else if (passwords_ != nullptr && !edited.userName.empty() &&
             passwords_->tokens().HasSignIn(edited)) {
    text = "A sign-in is kept for " + edited.userName + ".";
  } else {
    text = "Not signed in yet.";
  }
  signInState_->setText(ShownText(text));
  signInState_->setAccessibleName(QStringLiteral("Sign-in state: ") + signInState_->text());
}

void CConfigureDlg::OnProviderChosen(int index) {
  if (index <= 0 || index > static_cast<int>(MailProviders().size())) return;  // "Other"
  UserSettings edited = EditedSettings();
  ApplyMailProvider(MailProviders()[static_cast<std::size_t>(index - 1)], edited);
  server_->setText(ShownText(edited.smtpServer));
  securityChoice_->setCurrentIndex(securityChoice_->findData(QString::fromStdString(edited.security)));
  clientId_->setText(ShownText(edited.oauthClientId));
  clientSecret_->setText(ShownText(edited.oauthClientSecret));
  oauthAuthorizeUrl_ = edited.oauthAuthorizeUrl;
  oauthTokenUrl_ = edited.oauthTokenUrl;
  oauthScope_ = edited.oauthScope;
  signInMethod_->setCurrentIndex(
      signInMethod_->findData(QString::fromStdString(edited.authMethod)));
  ShowKeptSignIn();
}

void CConfigureDlg::OnSignIn() {
  UserSettings edited = EditedSettings();
  edited.authMethod = "oauth2";
  if (passwords_ == nullptr) {
    Warn(this, "There is nowhere to keep a sign-in here.");
    return;
  }
  if (const Result<OAuthClient> client = OAuthClientFromSettings(edited); !client) {
    Warn(this, client.status().message());
    return;
  }
  CSignInDlg signIn(edited, passwords_->tokens(), this);
  signIn.exec();
  if (signIn.result().ok()) {
    const std::string who =
        signIn.result().account.empty() ? edited.userName : signIn.result().account;
    signInState_->setText(ShownText("Signed in as " + who + "."));
    signInState_->setAccessibleName(QStringLiteral("Sign-in state: ") + signInState_->text());
  } else {
    ShowKeptSignIn();
  }
}

void CConfigureDlg::OnBrowse() {
  const QString current = trustFile_->text();
  const QString folder = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
  QFileDialog dialog(this, QStringLiteral("Trusted Certificates"), folder,
                     QStringLiteral("Certificates (*.pem *.crt *.cer);;All files (*)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  trustFile_->setText(dialog.selectedFiles().constFirst());
}

void CConfigureDlg::OnTestSettings() {
  const UserSettings edited = EditedSettings();
  if (edited.smtpServer.empty()) {
    Warn(this, "Enter the SMTP server to test first.");
    return;
  }
  Secret password;
  bool passwordGiven = false;  // by the store or the session, not typed here
  // A server the setting cannot name fails the check at once: no password for it.
  if (!edited.userName.empty() && !UsesOAuth(edited) &&
      ServerNameProblem(edited.smtpServer).empty()) {
    if (!password_->text().isEmpty()) {
      QByteArray bytes = password_->text().toUtf8();
      password = Secret(bytes.toStdString());
      bytes.fill('\0');
    } else if (passwords_ != nullptr) {
      Result<Secret> found = passwords_->Password(edited);
      if (!found) {
        Warn(this, found.status().message());
        return;
      }
      password = std::move(found.value());
      passwordGiven = true;
    }
  }
  CServerCheckDlg check(edited, std::move(password), this);
  if (passwords_ != nullptr) check.SetTokens(&passwords_->tokens());
  check.exec();
  // Offered again, it would be refused again at the next check or Send: an
  // access token too, kept until it nears its expiry.
  if ((passwordGiven || (passwords_ != nullptr && UsesOAuth(edited))) &&
      RefusedThePassword(check.result().outcome)) {
    (void)passwords_->PasswordRefused(edited);
  }
}

bool QtConfigureDialog::Run(UserSettings& settings) {
  CConfigureDlg dialog(settings, passwords_, showHelp_, parent_);
  if (confirmSend_ != nullptr) dialog.SetConfirmSend(*confirmSend_);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings = dialog.EditedSettings();
  if (confirmSend_ != nullptr) *confirmSend_ = dialog.confirmSend();
  if (passwords_ != nullptr && !settings.userName.empty() && !UsesOAuth(settings) &&
      !dialog.typedPassword().isEmpty()) {
    QByteArray bytes = dialog.typedPassword().toUtf8();
    const Status kept = passwords_->Keep(settings, Secret(bytes.toStdString()));
    bytes.fill('\0');
    dialog.passwordEdit()->clear();
    if (!kept) Warn(parent_, kept.message());
  }
  return true;
}

}  // namespace postrider
