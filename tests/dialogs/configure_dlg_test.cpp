#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <memory>

#include "dialogs/configure_dlg.h"
#include "dialogs/password_dlg.h"
#include "dialogs/server_check_dlg.h"
#include "dialogs/smtp_passwords.h"
#include "dialogs_test_support.h"
#include "platform/user_paths.h"
#include "qt_support/test_environment.h"
#include "support/oauth_test_server.h"
#include "support/scripted_smtp_server.h"
#include "support/test_certificates.h"
#include "views/dialog_units.h"
#include "views/display_text.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

constexpr const char* kPassword = "Tr0ub4dor&3-secret";

UserSettings Configured() {
  UserSettings settings;
  settings.realName = " Harbour Library ";  // blanks stay as typed
  settings.returnAddress = "library@example.com";
  settings.smtpServer = "mail.example.com:587";
  settings.log = 1;
  settings.security = "STARTTLS";
  settings.userName = "library";
  settings.tlsTrustFile = "/etc/ssl/certs/ca-certificates.crt";
  settings.tlsFingerprint = "ab:cd";  // not shown, kept
  settings.currentProjectFile = "/tmp/june.prj";
  return settings;
}

// The button's text, less its mnemonic mark, within the part the style draws text in.
bool ButtonTextFits(const QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.rect = button->rect();
  option.text = button->text();
  const QRect contents =
      button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  QString shown = button->text();
  shown.remove(QLatin1Char('&'));
  return button->fontMetrics().horizontalAdvance(shown) <= contents.width();
}

// Types over what the edit holds (QTest types ASCII only; the rest is put in).
void Type(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  bool ascii = true;
  for (const QChar c : text) ascii = ascii && c.unicode() < 128;
  if (ascii) {
    QTest::keyClicks(edit, text);
  } else {
    edit->insert(text);
  }
}

// A check is answered once it has ended, however long a loaded machine takes.
constexpr int kCheckMs = 60000;
bool CheckEnded(QWidget* modal) {
  auto* check = qobject_cast<CServerCheckDlg*>(modal);
  return check == nullptr || check->closeButton()->isEnabled();
}

// Runs Test Settings: the check window's steps and outcome are read, and it is closed.
bool RunTestSettings(CConfigureDlg& dialog, QString& steps, QString& outcome) {
  ModalDriver driver(
      [&](QWidget* modal) {
        auto* check = AsPage<CServerCheckDlg>(modal);
        QVERIFY(check != nullptr);
        steps = check->stepsView()->toPlainText();
        outcome = check->outcomeLabel()->text();
        Click(check->closeButton());
      },
      kCheckMs, CheckEnded);
  Click(dialog.testButton());
  return driver.acted();
}

}  // namespace

class ConfigureDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    CutOffTheSessionBus();
  }
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    store = std::make_unique<UnavailableStore>();
    asked = 0;
    passwords = std::make_unique<SmtpPasswords>(
        *store, [this](const UserSettings&, const std::string&) -> std::optional<Secret> {
          ++asked;
          return Secret(kPassword);
        });
  }
  void cleanup() {
    passwords.reset();
    store.reset();
    env.reset();
  }

  void ControlsShowTheSettingsInTheirGroupsWithNames();
  void OkTakesTheEditsAndCancelLeavesEverythingAsItWas();
  void APasswordIsKeptForTheSessionWhenTheStoreIsMissingAndNeverWritten();
  void APasswordGoesOnlyToTheAccountItWasTypedFor_data();
  void APasswordGoesOnlyToTheAccountItWasTypedFor();
  void TheDesktopStoreIsUnavailableWithoutASessionBus();
  void TestSettingsShowsEachStepWithTheValuesShown();
  void AnAccessTokenTheServerRefusedInTestSettingsIsNotOfferedAgain();
  void HelpAndBrowseDoWhatTheySay();
  void TheSendingLimitsShowNoLimitForZeroAndOkTakesThem();
  void EnterRefusesAServerNoSendCouldReachWithTheFocusOnIt_data();
  void EnterRefusesAServerNoSendCouldReachWithTheFocusOnIt();
  void EnterRefusesACountTheLimitBoxCannotTakeAsTyped_data();
  void EnterRefusesACountTheLimitBoxCannotTakeAsTyped();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<UnavailableStore> store;
  std::unique_ptr<SmtpPasswords> passwords;
  int asked = 0;
};

void ConfigureDlgTest::ControlsShowTheSettingsInTheirGroupsWithNames() {
  CConfigureDlg dialog(Configured(), passwords.get(), {});
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Configure"));
  QCOMPARE(dialog.realNameEdit()->text(), QStringLiteral(" Harbour Library "));
  QCOMPARE(dialog.returnAddressEdit()->text(), QStringLiteral("library@example.com"));
  QCOMPARE(dialog.serverEdit()->text(), QStringLiteral("mail.example.com:587"));
  QVERIFY(dialog.loggingCheck()->isChecked());
  QCOMPARE(dialog.securityCombo()->currentText(), QStringLiteral("STARTTLS"));
  QCOMPARE(dialog.securityCombo()->count(), 3);
  QCOMPARE(dialog.userNameEdit()->text(), QStringLiteral("library"));
  QCOMPARE(dialog.passwordEdit()->text(), QString());
  QCOMPARE(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
  QCOMPARE(dialog.trustFileEdit()->text(), QStringLiteral("/etc/ssl/certs/ca-certificates.crt"));

  // The three edits of the server sit in "Network", the rest of the
  // connection in "Security" below it.
  QCOMPARE(dialog.networkGroup()->title(), QStringLiteral("Network"));
  QCOMPARE(dialog.securityGroup()->title(), QStringLiteral("Security"));
  for (QWidget* edit : {static_cast<QWidget*>(dialog.realNameEdit()),
                        static_cast<QWidget*>(dialog.returnAddressEdit()),
                        static_cast<QWidget*>(dialog.serverEdit())}) {
    QCOMPARE(edit->parentWidget(), dialog.networkGroup());
  }
  QCOMPARE(dialog.trustFileEdit()->parentWidget(), dialog.securityGroup());
  QVERIFY(dialog.securityGroup()->geometry().top() > dialog.networkGroup()->geometry().bottom());
  const DialogUnits units(dialog.font());
  QCOMPARE(dialog.okButton()->geometry(), units.ToPixels(205, 7, 50, 14));
  QVERIFY(dialog.okButton()->isDefault());

  // Every control has a name, and each edit a label that takes the user to it.
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    if (qobject_cast<QLineEdit*>(child) && child->parent() != &dialog && child->parentWidget() &&
        qobject_cast<QComboBox*>(child->parentWidget())) {
      continue;  // a combo box's own edit
    }
    if (child->isWindow() || !child->isVisible()) continue;
    QVERIFY2(!child->accessibleName().isEmpty(), child->metaObject()->className());
  }
  QList<QWidget*> buddies;
  for (QLabel* label : dialog.findChildren<QLabel*>()) buddies << label->buddy();
  QCOMPARE(buddies.count(dialog.passwordEdit()), 1);
  QCOMPARE(buddies.count(dialog.securityCombo()), 1);

  // A button's words are read whole, inside its frame ("Test Settings..."
  // ran into both edges), and it stays clear of the groups beside it.
  for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
    if (button->window() != &dialog) continue;
    QVERIFY2(ButtonTextFits(button), qPrintable(button->text()));
    QVERIFY(dialog.rect().contains(button->mapTo(&dialog, button->rect().bottomRight())));
    if (button->parentWidget() == &dialog) {
      for (QGroupBox* group : {dialog.networkGroup(), dialog.securityGroup()}) {
        QVERIFY2(!button->geometry().intersects(group->geometry()), qPrintable(button->text()));
      }
      QVERIFY(!button->geometry().intersects(dialog.loggingCheck()->geometry()));
      QVERIFY(!button->geometry().intersects(dialog.confirmSendCheck()->geometry()));
    }
  }
  dialog.reject();
}

void ConfigureDlgTest::OkTakesTheEditsAndCancelLeavesEverythingAsItWas() {
  QtConfigureDialog configure(nullptr, passwords.get(), {});
  UserSettings settings = Configured();
  {
    ModalScript answer({[](QWidget* modal) {
      auto* dialog = AsPage<CConfigureDlg>(modal);
      Type(dialog->realNameEdit(), QStringLiteral("Someone Else"));
      dialog->loggingCheck()->setChecked(false);
      dialog->securityCombo()->setCurrentIndex(0);
      Click(dialog->cancelButton());
    }});
    QVERIFY(!configure.Run(settings));
    QVERIFY(answer.finished());
  }
  QVERIFY(settings == Configured());

  {
    ModalScript answer({[](QWidget* modal) {
      auto* dialog = AsPage<CConfigureDlg>(modal);
      Type(dialog->realNameEdit(), QStringLiteral("Bibliothek M\u00fcnster"));
      Type(dialog->serverEdit(), QStringLiteral("smtp.example.org:465"));
      dialog->loggingCheck()->setChecked(false);
      dialog->securityCombo()->setCurrentIndex(dialog->securityCombo()->findText("TLS"));
      Type(dialog->userNameEdit(), QStringLiteral("bib"));
      Click(dialog->okButton());
    }});
    QVERIFY(configure.Run(settings));
    QVERIFY(answer.finished());
    QVERIFY(answer.unexpected().isEmpty());
  }
  UserSettings expected = Configured();
  expected.realName = "Bibliothek M\xC3\xBCnster";
  expected.smtpServer = "smtp.example.org:465";
  expected.log = 0;
  expected.security = "tls";
  expected.userName = "bib";
  QVERIFY(settings == expected);

  // A Security value the list does not know is kept when left alone.
  settings.security = "starttls-or-so";
  {
    ModalScript answer({[](QWidget* modal) {
      auto* dialog = AsPage<CConfigureDlg>(modal);
      QCOMPARE(dialog->securityCombo()->currentIndex(), -1);
      Click(dialog->okButton());
    }});
    QVERIFY(configure.Run(settings));
  }
  QCOMPARE(settings.security, std::string("starttls-or-so"));
}

void ConfigureDlgTest::APasswordIsKeptForTheSessionWhenTheStoreIsMissingAndNeverWritten() {
  QtConfigureDialog configure(nullptr, passwords.get(), {});
  UserSettings settings = Configured();
  QString told;
  {
    ModalScript answer({[](QWidget* modal) {
                          auto* dialog = AsPage<CConfigureDlg>(modal);
                          QTest::keyClicks(dialog->passwordEdit(), QString::fromLatin1(kPassword));
                          Click(dialog->okButton());
                        },
                        [&told](QWidget* modal) {
                          auto* box = qobject_cast<QMessageBox*>(modal);
                          QVERIFY(box != nullptr);
                          told = box->text();
                          box->accept();
                        }});
    QVERIFY(configure.Run(settings));
    QVERIFY(answer.finished());
  }
  // The user hears that it could not be stored, and why, without the password.
  QVERIFY(told.contains(QStringLiteral("could not be kept in the desktop's secret store")));
  QVERIFY(told.contains(QStringLiteral("no secret service")));
  QVERIFY(!told.contains(QString::fromLatin1(kPassword)));
  QCOMPARE(store->writes, 1);

  // For this session it is there without asking.
  const std::optional<Secret> kept = passwords->Find(settings);
  QVERIFY(kept.has_value());
  QCOMPARE(std::string(kept->reveal()), std::string(kPassword));
  Result<Secret> forSend = passwords->Password(settings);
  QVERIFY(forSend.ok());
  QCOMPARE(asked, 0);

  // The settings file holds everything else and never the password.
  QVERIFY(SaveSettings(SettingsFilePath(), settings).ok());
  const QByteArray written = ReadBytes(QString::fromStdString(SettingsFilePath()));
  QVERIFY(written.contains("UserName=library"));
  QVERIFY(!written.contains(kPassword));

  // Another account is asked for at Send, once, then kept.
  UserSettings other = settings;
  other.userName = "someone";
  QVERIFY(passwords->Password(other).ok());
  QVERIFY(passwords->Password(other).ok());
  QCOMPARE(asked, 1);
}

void ConfigureDlgTest::APasswordGoesOnlyToTheAccountItWasTypedFor_data() {
  QTest::addColumn<bool>("serverEdited");
  QTest::addColumn<bool>("typedAfter");  // the password typed after the change
  QTest::newRow("server changed after the password") << true << false;
  QTest::newRow("user name changed after the password") << false << false;
  QTest::newRow("server changed, then the password") << true << true;
  QTest::newRow("user name changed, then the password") << false << true;
}

void ConfigureDlgTest::APasswordGoesOnlyToTheAccountItWasTypedFor() {
  QFETCH(bool, serverEdited);
  QFETCH(bool, typedAfter);
  QtConfigureDialog configure(nullptr, passwords.get(), {});
  UserSettings settings = Configured();
  QString fieldAfterChange;
  QStringList told;
  {
    ModalScript answer({[&](QWidget* modal) {
                          auto* dialog = AsPage<CConfigureDlg>(modal);
                          const QString password = QString::fromLatin1(kPassword);
                          if (!typedAfter) QTest::keyClicks(dialog->passwordEdit(), password);
                          if (serverEdited) {
                            Type(dialog->serverEdit(), QStringLiteral("smtp.other.example:587"));
                          } else {
                            Type(dialog->userNameEdit(), QStringLiteral("someone"));
                          }
                          fieldAfterChange = dialog->passwordEdit()->text();
                          if (typedAfter) QTest::keyClicks(dialog->passwordEdit(), password);
                          Click(dialog->okButton());
                        }});
    QVERIFY(configure.Run(settings));
    QVERIFY(answer.finished());
    // The one box after OK says the store could not keep what was typed.
    told = answer.unexpected();
  }
  QCOMPARE(settings.smtpServer, std::string(serverEdited ? "smtp.other.example:587"
                                                         : "mail.example.com:587"));
  QCOMPARE(settings.userName, std::string(serverEdited ? "library" : "someone"));
  // Typed for the old account, it is gone from the field the moment the
  // account changes, and neither account gets it.
  if (!typedAfter) QVERIFY(fieldAfterChange.isEmpty());  // never printed
  QCOMPARE(passwords->Find(settings).has_value(), typedAfter);
  QVERIFY(!passwords->Find(Configured()).has_value());
  QCOMPARE(store->writes, typedAfter ? 1 : 0);
  QCOMPARE(told.size(), typedAfter ? 1 : 0);
}

void ConfigureDlgTest::TheDesktopStoreIsUnavailableWithoutASessionBus() {
  // The real store, as the program uses it: it answers at once, and a
  // password written to it is not kept anywhere else.
  KeychainPasswordStore keychain(10000);
  const StoredPassword read = keychain.Read("library@mail.example.com");
  QCOMPARE(static_cast<int>(read.state), static_cast<int>(StoredPassword::State::Unavailable));
  QVERIFY(!read.error.empty());
  QVERIFY(!keychain.Write("library@mail.example.com", Secret(kPassword)).ok());
  QCOMPARE(static_cast<int>(keychain.Read("library@mail.example.com").state),
           static_cast<int>(StoredPassword::State::Unavailable));

  // The dialog asking at Send does not show what is typed.
  CPasswordDlg dialog(QStringLiteral("library on mail.example.com"), QStringLiteral("why"));
  QCOMPARE(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
  QTest::keyClicks(dialog.passwordEdit(), QStringLiteral("abc"));
  QCOMPARE(std::string(dialog.TakePassword().reveal()), std::string("abc"));
  QCOMPARE(dialog.passwordEdit()->text(), QString());
}

void ConfigureDlgTest::TestSettingsShowsEachStepWithTheValuesShown() {
  ServerScript script;
  script.authUser = "library";
  script.authPassword = kPassword;
  script.authWithoutTls = true;
  ScriptedSmtpServer server(script);

  UserSettings settings = Configured();
  settings.allowPlainAuth = 1;  // the tests' server has no TLS here
  settings.tlsFingerprint.clear();
  CConfigureDlg dialog(settings, passwords.get(), {});
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  // Values typed but not yet confirmed are what is tested.
  Type(dialog.serverEdit(), QString::fromStdString(server.address()));
  dialog.securityCombo()->setCurrentIndex(0);
  QTest::keyClicks(dialog.passwordEdit(), QString::fromLatin1(kPassword));

  QString steps;
  QString outcome;
  const auto runCheck = [&] { return RunTestSettings(dialog, steps, outcome); };
  QVERIFY(runCheck());
  QVERIFY2(steps.contains(QStringLiteral("Connected to 127.0.0.1 port ")), qPrintable(steps));
  QVERIFY2(steps.contains(QStringLiteral("AUTH PLAIN as library: 235")), qPrintable(steps));
  QVERIFY(steps.contains(QStringLiteral("QUIT: 221")));
  QVERIFY(outcome.startsWith(QStringLiteral("Every step passed")));
  QVERIFY(!steps.contains(QString::fromLatin1(kPassword)));
  QCOMPARE(server.MessageCount(), 0);
  QCOMPARE(asked, 0);
  // The dialog is still open, its values as typed and not yet taken.
  QVERIFY(dialog.isVisible());
  QCOMPARE(dialog.EditedSettings().smtpServer, server.address());

  // A wrong password: the step that failed and the server's own words.
  dialog.passwordEdit()->clear();
  QTest::keyClicks(dialog.passwordEdit(), QStringLiteral("wrong"));
  QVERIFY(runCheck());
  QVERIFY2(outcome.startsWith(QStringLiteral("Failed at AUTH (535)")), qPrintable(outcome));

  // A server the setting cannot name is told as that, before any password is asked.
  dialog.passwordEdit()->clear();
  Type(dialog.serverEdit(), QStringLiteral("127.0.0.1:0"));
  QVERIFY(runCheck());
  QCOMPARE(outcome, QStringLiteral("The setting SMTPServer=127.0.0.1:0 has a port that is not a "
                                   "number from 1 to 65535."));
  QCOMPARE(asked, 0);

  // A kept password the server refuses is not offered again: the next check asks.
  Type(dialog.serverEdit(), QString::fromStdString(server.address()));
  (void)passwords->Keep(dialog.EditedSettings(), Secret("wrong"));  // for the session: no store
  QVERIFY(runCheck());
  QVERIFY2(outcome.startsWith(QStringLiteral("Failed at AUTH (535)")), qPrintable(outcome));
  QCOMPARE(asked, 0);
  QVERIFY(runCheck());
  QCOMPARE(asked, 1);
  QVERIFY2(outcome.startsWith(QStringLiteral("Every step passed")), qPrintable(outcome));
  dialog.reject();
}

void ConfigureDlgTest::AnAccessTokenTheServerRefusedInTestSettingsIsNotOfferedAgain() {
  OAuthTestServer oauth;
  TestCertificates certificates;
  const CertificateFiles good = certificates.Good();
  ServerScript script;
  script.tlsCertificate = good.certificate;
  script.tlsKey = good.key;
  script.requireStartTls = true;
  script.oauthIntrospectUrl = oauth.introspectUrl();
  script.oauthCaFile = oauth.caFile();
  script.authExclude = {"PLAIN", "LOGIN"};
  ScriptedSmtpServer server(script);

  UserSettings settings = Configured();
  settings.smtpServer = server.address();
  settings.userName = "ann@example.test";
  settings.authMethod = "oauth2";
  settings.oauthClientId = oauth.options().clientId;
  settings.oauthAuthorizeUrl = oauth.authorizeUrl();
  settings.oauthTokenUrl = oauth.tokenUrl();
  settings.oauthScope = "mail";
  settings.oauthTrustFile = oauth.caFile();
  settings.tlsTrustFile = certificates.caFile();
  settings.tlsFingerprint.clear();
  CConfigureDlg dialog(settings, passwords.get(), {});
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  // An access token the provider never issued: the server refuses it.
  TokenGrant grant;
  grant.accessToken = Secret("never-issued-token");
  grant.expiresIn = std::chrono::seconds(3600);
  QVERIFY(passwords->tokens().Keep(dialog.EditedSettings(), std::move(grant)).ok());

  QString steps;
  QString outcome;
  const auto runCheck = [&] { return RunTestSettings(dialog, steps, outcome); };
  QVERIFY(runCheck());
  QVERIFY2(outcome.contains(QStringLiteral("535")), qPrintable(outcome));
  QVERIFY(!outcome.contains(QStringLiteral("never-issued-token")));
  QVERIFY(!passwords->tokens().HasSignIn(dialog.EditedSettings()));
  // Checked again, the refused token stays at home: there is no sign-in to use.
  QVERIFY(runCheck());
  QVERIFY2(outcome.contains(QStringLiteral("No OAuth 2.0 sign-in is kept")), qPrintable(outcome));
  int challenges = 0;
  for (const std::string& line : server.Commands()) challenges += line == "OAUTH CHALLENGE";
  QCOMPARE(challenges, 1);
  QCOMPARE(asked, 0);
  dialog.reject();
}

void ConfigureDlgTest::HelpAndBrowseDoWhatTheySay() {
  int helpShown = 0;
  CConfigureDlg dialog(Configured(), passwords.get(), [&helpShown] { ++helpShown; });
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  Click(dialog.helpButton());
  QCOMPARE(helpShown, 1);

  const QString pem = env->Write(QStringLiteral("ca.pem"), "-----BEGIN CERTIFICATE-----\n");
  ModalScript choose({[&](QWidget* modal) {
    auto* files = qobject_cast<QFileDialog*>(modal);
    QVERIFY(files != nullptr);
    ChooseFile(files, env->path(), QStringLiteral("ca.pem"));
  }});
  Click(dialog.browseButton());
  QTRY_VERIFY(choose.finished());
  QCOMPARE(dialog.trustFileEdit()->text(), pem);
  QCOMPARE(dialog.EditedSettings().tlsTrustFile, PathBytes(pem));
  dialog.reject();
}

void ConfigureDlgTest::TheSendingLimitsShowNoLimitForZeroAndOkTakesThem() {
  UserSettings settings = Configured();
  settings.messagesPerConnection = 50;
  {
    CConfigureDlg dialog(settings, passwords.get(), {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.perMinuteSpin()->text(), QStringLiteral("No limit"));
    QCOMPARE(dialog.perConnectionSpin()->text(), QStringLiteral("50 messages"));
    QCOMPARE(dialog.perMinuteSpin()->accessibleName(), QStringLiteral("Messages per Minute"));
    QCOMPARE(dialog.perConnectionSpin()->accessibleName(),
             QStringLiteral("Messages per Connection"));
    // Their own group, below Security and inside the dialog, each with its label.
    QCOMPARE(dialog.perMinuteSpin()->parentWidget(), dialog.limitsGroup());
    QVERIFY(dialog.limitsGroup()->geometry().top() > dialog.securityGroup()->geometry().bottom());
    QVERIFY(dialog.rect().contains(dialog.limitsGroup()->geometry()));
    QList<QWidget*> buddies;
    for (QLabel* label : dialog.findChildren<QLabel*>()) buddies << label->buddy();
    QCOMPARE(buddies.count(dialog.perMinuteSpin()), 1);
    QCOMPARE(buddies.count(dialog.perConnectionSpin()), 1);
    dialog.reject();
  }

  QtConfigureDialog configure(nullptr, passwords.get(), {});
  {
    ModalScript answer({[](QWidget* modal) {
      auto* dialog = AsPage<CConfigureDlg>(modal);
      dialog->perMinuteSpin()->setFocus();
      dialog->perMinuteSpin()->selectAll();
      QTest::keyClicks(dialog->perMinuteSpin(), QStringLiteral("600"));
      dialog->perConnectionSpin()->setValue(0);
      QCOMPARE(dialog->perConnectionSpin()->text(), QStringLiteral("No limit"));
      Click(dialog->okButton());
    }});
    QVERIFY(configure.Run(settings));
    QVERIFY(answer.finished());
  }
  QCOMPARE(settings.messagesPerMinute, 600);
  QCOMPARE(settings.messagesPerConnection, 0);

  // A count larger than the box goes to is kept while the box is left alone.
  settings.messagesPerMinute = 250000;
  {
    ModalScript answer({[](QWidget* modal) { Click(AsPage<CConfigureDlg>(modal)->okButton()); }});
    QVERIFY(configure.Run(settings));
  }
  QCOMPARE(settings.messagesPerMinute, 250000);
}

void ConfigureDlgTest::EnterRefusesAServerNoSendCouldReachWithTheFocusOnIt_data() {
  QTest::addColumn<QString>("server");
  QTest::addColumn<QString>("because");  // empty: taken
  QTest::newRow("no port after the colon") << "mail.example.com:" << "port";
  QTest::newRow("port too large") << "mail.example.com:99999" << "port";
  QTest::newRow("port zero") << "mail.example.com:0" << "port";
  QTest::newRow("unclosed bracket") << "[::1" << "host:port";
  QTest::newRow("no host") << ":25" << "no host";
  QTest::newRow("blank inside") << "mail example.com" << "blank";
  QTest::newRow("blanks only") << "   " << "no host";
  QTest::newRow("IPv6 with port") << "[::1]:2525" << "";
  QTest::newRow("left empty") << "" << "";
}

void ConfigureDlgTest::EnterRefusesAServerNoSendCouldReachWithTheFocusOnIt() {
  QFETCH(QString, server);
  QFETCH(QString, because);
  QtConfigureDialog configure(nullptr, passwords.get(), {});
  UserSettings settings = Configured();
  QString warning;
  std::vector<ModalScript::Step> steps{[&](QWidget* modal) {
    auto* dialog = AsPage<CConfigureDlg>(modal);
    QVERIFY(dialog != nullptr);
    Type(dialog->serverEdit(), server);
    if (server.isEmpty()) dialog->serverEdit()->clear();
    QTest::keyClick(dialog->serverEdit(), Qt::Key_Return);
    if (because.isEmpty()) return;
    // Still open, on the field to mend, with what was typed.
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->focusWidget(), dialog->serverEdit());
    QCOMPARE(dialog->serverEdit()->text(), server);
    Click(dialog->cancelButton());
  }};
  if (!because.isEmpty()) {
    steps.push_back([&](QWidget* modal) {
      auto* box = AsPage<QMessageBox>(modal);
      QVERIFY(box != nullptr);
      warning = box->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
  }
  ModalScript answer(std::move(steps));
  const bool saved = configure.Run(settings);
  QVERIFY(answer.finished());
  QCOMPARE(saved, because.isEmpty());
  if (because.isEmpty()) {
    QCOMPARE(QString::fromStdString(settings.smtpServer), server);
  } else {
    QVERIFY2(warning.contains(because), qPrintable(warning));
    QVERIFY(settings == Configured());
  }
}

void ConfigureDlgTest::EnterRefusesACountTheLimitBoxCannotTakeAsTyped_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<int>("saved");  // -1: refused
  QTest::newRow("a count") << "600" << 600;
  QTest::newRow("zero, no limit") << "0" << 0;
  QTest::newRow("negative") << "-5" << -1;
  QTest::newRow("exponent") << "1e9" << -1;
  QTest::newRow("beyond the box") << "1000000000" << -1;
  QTest::newRow("a word") << "lots" << -1;
  QTest::newRow("deleted") << "" << -1;
}

// The box kept only the keys it liked, so "1e9" was saved as 19, and put
// its last value back when the focus left it.
void ConfigureDlgTest::EnterRefusesACountTheLimitBoxCannotTakeAsTyped() {
  QFETCH(QString, typed);
  QFETCH(int, saved);
  QtConfigureDialog configure(nullptr, passwords.get(), {});
  UserSettings settings = Configured();
  settings.messagesPerMinute = 30;
  const UserSettings before = settings;
  QString warning;
  std::vector<ModalScript::Step> steps{[&](QWidget* modal) {
    auto* dialog = AsPage<CConfigureDlg>(modal);
    QVERIFY(dialog != nullptr);
    QSpinBox* spin = dialog->perMinuteSpin();
    spin->setFocus();
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Backspace);
    QTest::keyClicks(spin, typed);
    QTest::keyClick(spin, Qt::Key_Return);
    if (saved >= 0) return;
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->focusWidget(), spin);
    QVERIFY(spin->text().startsWith(typed));
    // Leaving the box keeps what was typed too, and OK still refuses it.
    dialog->realNameEdit()->setFocus();
    QVERIFY(spin->text().startsWith(typed));
    Click(dialog->okButton());
    QVERIFY(dialog->isVisible());
    Click(dialog->cancelButton());
  }};
  if (saved < 0) {
    for (int i = 0; i < 2; ++i) {
      steps.push_back([&](QWidget* modal) {
        auto* box = AsPage<QMessageBox>(modal);
        QVERIFY(box != nullptr);
        warning = box->text();
        QTest::keyClick(box, Qt::Key_Return);
      });
    }
  }
  ModalScript answer(std::move(steps));
  const bool ok = configure.Run(settings);
  QVERIFY(answer.finished());
  QCOMPARE(ok, saved >= 0);
  if (saved >= 0) {
    QCOMPARE(settings.messagesPerMinute, saved);
  } else {
    QVERIFY2(warning.contains(QStringLiteral("Messages per Minute")) &&
                 warning.contains(QLatin1Char('"') + typed + QLatin1Char('"')),
             qPrintable(warning));
    QVERIFY(settings == before);
  }
}

QTEST_MAIN(ConfigureDlgTest)
#include "configure_dlg_test.moc"
