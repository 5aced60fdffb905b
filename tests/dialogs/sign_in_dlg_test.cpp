#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

#include "dialogs/configure_dlg.h"
#include "dialogs/sign_in_dlg.h"
#include "dialogs/smtp_passwords.h"
#include "dialogs_test_support.h"
#include "platform/browser_launch.h"
#include "platform/refresh_token_store.h"
#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"
#include "support/oauth_test_server.h"
#include "support/secret_service_session.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

constexpr int kSignInMs = 60000;

bool SignInEnded(QWidget* modal) {
  auto* signIn = qobject_cast<CSignInDlg*>(modal);
  return signIn == nullptr || signIn->closeButton()->isEnabled();
}

int IndexOf(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text);
  if (index < 0) QTest::qFail(qPrintable(text + QStringLiteral(" is not offered")), __FILE__, __LINE__);
  return index;
}

// As a user picks an item: the combo's activated signal, which programmatic
// changes do not send.
void Choose(QComboBox* combo, const QString& text) {
  const int index = IndexOf(combo, text);
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

}  // namespace

class SignInDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { CutOffTheSessionBus(); }
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    store = std::make_unique<UnavailableStore>();
  }
  void cleanup() {
    passwords.reset();
    store.reset();
    env.reset();
    // A test's own Secret Service is gone; no other may be reached.
    CutOffTheSessionBus();
    unsetenv(kBrowserVariable);
  }

  void AProviderFillsTheServerAndTheSignInAndOAuthTakesNoPassword();
  void SignInRunsTheBrowserFlowAndShowsWhoSignedIn();
  void CancelEndsAWaitForABrowserThatNeverComesBack();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<UnavailableStore> store;
  std::unique_ptr<SmtpPasswords> passwords;
};

void SignInDlgTest::AProviderFillsTheServerAndTheSignInAndOAuthTakesNoPassword() {
  passwords = std::make_unique<SmtpPasswords>(*store, SmtpPasswords::Ask{});
  UserSettings settings;
  settings.smtpServer = "mail.example.org";
  settings.userName = "ann@example.com";
  CConfigureDlg dialog(settings, passwords.get(), {});
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.providerCombo()->currentText(), QStringLiteral("Other"));
  QCOMPARE(dialog.signInMethodCombo()->currentText(), QStringLiteral("Password"));
  QVERIFY(!dialog.signInButton()->isEnabled());
  QVERIFY(!dialog.clientIdEdit()->isEnabled());
  QVERIFY(dialog.passwordEdit()->isEnabled());

  Choose(dialog.providerCombo(), QStringLiteral("Gmail / Google Workspace"));
  QCOMPARE(dialog.serverEdit()->text(), QStringLiteral("smtp.gmail.com:465"));
  QCOMPARE(dialog.securityCombo()->currentText(), QStringLiteral("TLS"));
  QCOMPARE(dialog.signInMethodCombo()->currentText(), QStringLiteral("OAuth 2.0"));
  QVERIFY(dialog.signInButton()->isEnabled());
  QVERIFY(dialog.clientIdEdit()->isEnabled());
  QVERIFY(!dialog.passwordEdit()->isEnabled());
  QVERIFY(dialog.signInStateLabel()->text().startsWith(QStringLiteral("Not signed in")));
  QVERIFY(dialog.signInStateLabel()->accessibleName().contains(QStringLiteral("Not signed in")));
  QTest::keyClicks(dialog.clientIdEdit(), QStringLiteral("1234.apps.example"));
  UserSettings edited = dialog.EditedSettings();
  QCOMPARE(edited.authMethod, std::string("oauth2"));
  QCOMPARE(edited.oauthClientId, std::string("1234.apps.example"));
  QCOMPARE(edited.oauthTokenUrl, std::string("https://oauth2.googleapis.com/token"));
  QCOMPARE(edited.oauthScope.rfind("https://mail.google.com/", 0), std::size_t{0});
  QCOMPARE(edited.userName, std::string("ann@example.com"));

  // Another provider's registration is no use there; a password provider
  // turns the password back on.
  Choose(dialog.providerCombo(), QStringLiteral("Microsoft 365 / Outlook.com"));
  QCOMPARE(dialog.clientIdEdit()->text(), QString());
  QCOMPARE(dialog.EditedSettings().oauthScope.find("https://outlook.office.com/SMTP.Send"),
           std::size_t{0});
  Choose(dialog.providerCombo(), QStringLiteral("Fastmail"));
  QCOMPARE(dialog.signInMethodCombo()->currentText(), QStringLiteral("Password"));
  QVERIFY(dialog.passwordEdit()->isEnabled());
  QVERIFY(!dialog.signInButton()->isEnabled());

  // A server typed by hand names no provider.
  dialog.serverEdit()->selectAll();
  QTest::keyClicks(dialog.serverEdit(), QStringLiteral("relay.example.org"));
  QCOMPARE(dialog.providerCombo()->currentText(), QStringLiteral("Other"));
  for (QWidget* control : {static_cast<QWidget*>(dialog.providerCombo()),
                           static_cast<QWidget*>(dialog.signInMethodCombo()),
                           static_cast<QWidget*>(dialog.signInButton()),
                           static_cast<QWidget*>(dialog.clientIdEdit()),
                           static_cast<QWidget*>(dialog.clientSecretEdit())}) {
    QVERIFY(!control->accessibleName().isEmpty());
  }
  dialog.reject();
}

void SignInDlgTest::SignInRunsTheBrowserFlowAndShowsWhoSignedIn() {
  SecretServiceSession secrets;
  if (!secrets.available()) QSKIP("no dbus-daemon or gnome-keyring-daemon");
  OAuthTestServer oauth;
  qputenv(kBrowserVariable, oauth.BrowserCommand().c_str());
  SecretServiceTokenStore tokenStore;
  passwords = std::make_unique<SmtpPasswords>(*store, SmtpPasswords::Ask{}, &tokenStore);

  UserSettings settings;
  settings.smtpServer = "smtp.example.test:587";
  settings.userName = "ann@example.test";
  settings.authMethod = "oauth2";
  settings.oauthClientId = oauth.options().clientId;
  settings.oauthAuthorizeUrl = oauth.authorizeUrl();
  settings.oauthTokenUrl = oauth.tokenUrl();
  settings.oauthScope = "https://mail.example.test/send offline_access";
  settings.oauthTrustFile = oauth.caFile();
  CConfigureDlg dialog(settings, passwords.get(), {});
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QTRY_VERIFY(dialog.signInStateLabel()->text().startsWith(QStringLiteral("Not signed in")));

  QString state;
  QString address;
  {
    ModalDriver answer(
        [&](QWidget* modal) {
          auto* signIn = AsPage<CSignInDlg>(modal);
          QVERIFY(signIn != nullptr);
          state = signIn->stateLabel()->text();
          address = signIn->addressEdit()->text();
          Click(signIn->closeButton());
        },
        kSignInMs, SignInEnded);
    Click(dialog.signInButton());
    QVERIFY(answer.acted());
  }
  QVERIFY2(state.startsWith(QStringLiteral("Signed in as ann@example.test.")), qPrintable(state));
  QVERIFY(address.startsWith(QString::fromStdString(oauth.authorizeUrl() + "?")));
  QCOMPARE(dialog.signInStateLabel()->text(), QStringLiteral("Signed in as ann@example.test."));
  QVERIFY(!secrets.Lookup("ann@example.test").empty());

  // Opened again, the dialog finds the kept sign-in.
  CConfigureDlg again(settings, passwords.get(), {});
  again.show();
  QTRY_COMPARE(again.signInStateLabel()->text(),
               QStringLiteral("A sign-in is kept for ann@example.test."));
}

void SignInDlgTest::CancelEndsAWaitForABrowserThatNeverComesBack() {
  OAuthTestServer oauth;
  // A browser that opens and never signs in.
  qputenv(kBrowserVariable, "/bin/true");
  passwords = std::make_unique<SmtpPasswords>(*store, SmtpPasswords::Ask{});
  UserSettings settings;
  settings.userName = "ann@example.test";
  settings.authMethod = "oauth2";
  settings.oauthClientId = oauth.options().clientId;
  settings.oauthAuthorizeUrl = oauth.authorizeUrl();
  settings.oauthTokenUrl = oauth.tokenUrl();
  settings.oauthTrustFile = oauth.caFile();

  CSignInDlg signIn(settings, passwords->tokens());
  // Cancel is clicked while the wait runs, as a user does: from the event
  // loop the wait keeps turning (a modal driver never acts in there).
  bool cancelled = false;
  QTimer canceller;
  canceller.setInterval(10);
  QObject::connect(&canceller, &QTimer::timeout, [&] {
    if (cancelled || !signIn.running() || signIn.addressEdit()->text().isEmpty()) return;
    QVERIFY(signIn.copyButton()->isEnabled());
    Click(signIn.cancelButton());
    cancelled = true;
  });
  canceller.start();
  QString state;
  ModalDriver close(
      [&](QWidget* modal) {
        auto* dialog = AsPage<CSignInDlg>(modal);
        QVERIFY(dialog != nullptr);
        state = dialog->stateLabel()->text();
        Click(dialog->closeButton());
      },
      kSignInMs, [&](QWidget* modal) { return cancelled && SignInEnded(modal); });
  signIn.exec();
  QVERIFY(cancelled);
  QVERIFY(close.acted());
  QCOMPARE(signIn.result().failure, OAuthFailure::Cancelled);
  QCOMPARE(state, QStringLiteral("The sign-in was cancelled."));
  QVERIFY(!passwords->tokens().HasSignIn(settings));
}

QTEST_MAIN(SignInDlgTest)
#include "sign_in_dlg_test.moc"
