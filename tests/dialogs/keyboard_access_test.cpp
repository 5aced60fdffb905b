#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <functional>
#include <map>
#include <memory>

#include "dialogs/configure_dlg.h"
#include "dialogs/letter_options_dlg.h"
#include "dialogs/list_query_dlg.h"
#include "dialogs/password_dlg.h"
#include "dialogs/preview_dlg.h"
#include "dialogs/server_check_dlg.h"
#include "dialogs_test_support.h"
#include "project/postridr_doc.h"
#include "qt_support/mnemonic.h"
#include "qt_support/test_environment.h"
#include "support/recording_views.h"
#include "views/accessible_combo_box.h"
#include "views/display_text.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

QString ShownTextOf(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    // GNOME's and KDE's themes mark the standard buttons' first letter ("&Cancel").
    auto* box = qobject_cast<const QDialogButtonBox*>(button->parentWidget());
    if (box != nullptr && box->standardButton(const_cast<QAbstractButton*>(button)) !=
                              QDialogButtonBox::NoButton &&
        MnemonicOf(button->text()).isEmpty()) {
      return QLatin1Char('&') + button->text();
    }
    return button->text();
  }
  if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  return {};
}

// A widget the user reaches with Tab on its own (not the edit inside a spin or combo box).
bool TakesTabFocus(const QWidget* widget, const QWidget* window) {
  if (!widget->isVisibleTo(window) || !widget->isEnabled()) return false;
  if ((widget->focusPolicy() & Qt::TabFocus) == 0 || widget->focusProxy() != nullptr) return false;
  for (const QWidget* up = widget->parentWidget(); up != nullptr && up != window;
       up = up->parentWidget()) {
    if (qobject_cast<const QAbstractSpinBox*>(up) || qobject_cast<const QComboBox*>(up)) {
      return false;
    }
  }
  return true;
}

// What a keyboard and screen-reader user would find wrong in a shown window:
// controls Tab never reaches, controls without a name, mnemonics used twice
// and mnemonics on labels that lead nowhere.
QStringList KeyboardProblems(QWidget* window) {
  QStringList problems;
  QList<QWidget*> wanted;
  std::map<QString, QStringList> marks;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window)) continue;
    const QString text = ShownTextOf(widget);
    if (const QString mark = MnemonicOf(text); !mark.isEmpty()) {
      marks[mark].append(text);
      auto* label = qobject_cast<QLabel*>(widget);
      if (label != nullptr && label->buddy() == nullptr) {
        problems << QStringLiteral("label %1 has a mnemonic and no buddy").arg(text);
      }
    }
    if (!TakesTabFocus(widget, window)) continue;
    wanted << widget;
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(widget);
    if (access == nullptr || access->text(QAccessible::Name).isEmpty()) {
      problems << QStringLiteral("unnamed %1 %2")
                      .arg(QString::fromLatin1(widget->metaObject()->className()), text);
    }
  }
  for (const auto& [mark, texts] : marks) {
    if (texts.size() > 1) {
      problems << QStringLiteral("mnemonic %1 on %2").arg(mark).arg(texts.join(QStringLiteral(", ")));
    }
  }
  QWidget* start = QApplication::focusWidget();
  if (start == nullptr) return problems << QStringLiteral("nothing has the focus");
  QList<QWidget*> reached;
  for (qsizetype i = 0; i <= wanted.size(); ++i) {
    QWidget* now = QApplication::focusWidget();
    if (now == nullptr || (i > 0 && now == start)) break;
    if (!reached.contains(now)) reached << now;
    QTest::keyClick(now, Qt::Key_Tab);
  }
  // A group of radio buttons is one stop for Tab; the arrow keys go on from there.
  for (QWidget* widget : QList<QWidget*>(reached)) {
    auto* radio = qobject_cast<QRadioButton*>(widget);
    if (radio == nullptr || radio->group() == nullptr) continue;
    radio->setFocus(Qt::TabFocusReason);
    for (qsizetype i = 1; i < radio->group()->buttons().size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
      if (!reached.contains(QApplication::focusWidget())) reached << QApplication::focusWidget();
    }
  }
  for (QWidget* widget : wanted) {
    if (!reached.contains(widget)) {
      problems << QStringLiteral("Tab never reaches %1 %2")
                      .arg(QString::fromLatin1(widget->metaObject()->className()),
                           widget->accessibleName());
    }
  }
  return problems;
}

bool ShowActive(QWidget* window) {
  window->show();
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

TestProject SmallProject() {
  return TestProject("Name\tEmail\tCc\nAnn\tann@example.com\tx@example.com\n", std::string(32000, '\0'));
}

}  // namespace

class KeyboardAccessTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    CutOffTheSessionBus();
    InstallAccessibleComboBoxes();
  }
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    recorded = std::make_unique<RecordedDocument>();
    QVERIFY(recorded->Open(PathBytes(env->path()), SmallProject()));
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void EveryDialogIsWholeAtTheKeyboard_data();
  void EveryDialogIsWholeAtTheKeyboard();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
};

using MakeDialog = std::function<std::unique_ptr<QDialog>(CPostridrDoc&)>;
Q_DECLARE_METATYPE(MakeDialog)

void KeyboardAccessTest::EveryDialogIsWholeAtTheKeyboard_data() {
  QTest::addColumn<MakeDialog>("make");
  QTest::newRow("configure") << MakeDialog([](CPostridrDoc&) -> std::unique_ptr<QDialog> {
    auto dialog = std::make_unique<CConfigureDlg>(UserSettings{}, nullptr, std::function<void()>{});
    dialog->SetConfirmSend(true);
    return dialog;
  });
  QTest::newRow("configure, OAuth") << MakeDialog([](CPostridrDoc&) -> std::unique_ptr<QDialog> {
    UserSettings settings;
    settings.authMethod = "oauth2";
    return std::make_unique<CConfigureDlg>(settings, nullptr, std::function<void()>{});
  });
  QTest::newRow("list query") << MakeDialog([](CPostridrDoc& document) -> std::unique_ptr<QDialog> {
    return std::make_unique<CListQueryDlg>(document);
  });
  QTest::newRow("letter options") << MakeDialog([](CPostridrDoc& document) -> std::unique_ptr<QDialog> {
    return std::make_unique<CLetterOptionsDlg>(document);
  });
  QTest::newRow("preview") << MakeDialog([](CPostridrDoc& document) -> std::unique_ptr<QDialog> {
    return std::make_unique<CPreviewDlg>(document, UserSettings{}, 0);
  });
  QTest::newRow("server check") << MakeDialog([](CPostridrDoc&) -> std::unique_ptr<QDialog> {
    UserSettings settings;
    settings.smtpServer = "mail.example.com:";  // refused before any connection
    return std::make_unique<CServerCheckDlg>(settings, Secret());
  });
  QTest::newRow("password") << MakeDialog([](CPostridrDoc&) -> std::unique_ptr<QDialog> {
    return std::make_unique<CPasswordDlg>(QStringLiteral("ann on mail.example.com"),
                                          QStringLiteral("The server refused it."));
  });
}

void KeyboardAccessTest::EveryDialogIsWholeAtTheKeyboard() {
  QFETCH(MakeDialog, make);
  std::unique_ptr<QDialog> dialog = make(recorded->document);
  QVERIFY(ShowActive(dialog.get()));
  QTRY_VERIFY(QApplication::focusWidget() != nullptr);
  if (const QByteArray shots = qgetenv("POSTRIDER_SHOTS"); !shots.isEmpty()) {
    dialog->grab().save(QString::fromLocal8Bit(shots) + QLatin1Char('/') +
                        QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png"));
  }
  const QStringList problems = KeyboardProblems(dialog.get());
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
}

QTEST_MAIN(KeyboardAccessTest)
#include "keyboard_access_test.moc"
