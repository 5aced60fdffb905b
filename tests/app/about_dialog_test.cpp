#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/about_dialog.h"
#include "views/dialog_units.h"
#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"

using namespace postrider;
using namespace postrider::testing;

class AboutDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void DialogUnitsFollowTheFont();
  void NamesVersionOneTwoWithTheIconAndADefaultOk();
  void ControlsKeepTheirPlacesAndTheirTextFits();
  void OkClosesTheBox();

 private:
  DesktopTestEnvironment env_;
};

void AboutDialogTest::DialogUnitsFollowTheFont() {
  QFont small = QApplication::font();
  small.setPixelSize(10);
  QFont large = small;
  large.setPixelSize(20);
  const DialogUnits smallUnits(small);
  const DialogUnits largeUnits(large);
  QCOMPARE(smallUnits.baseHeight(), QFontMetrics(small).height());
  QVERIFY(largeUnits.baseWidth() > smallUnits.baseWidth());
  // Four horizontal units are one average character, eight vertical ones a line.
  QCOMPARE(smallUnits.ToPixelsX(4), smallUnits.baseWidth());
  QCOMPARE(smallUnits.ToPixelsY(8), smallUnits.baseHeight());
  QCOMPARE(largeUnits.ToPixels(40, 16, 4, 8),
           QRect(largeUnits.baseWidth() * 10, largeUnits.baseHeight() * 2, largeUnits.baseWidth(),
                 largeUnits.baseHeight()));
  // Rounded to nearest: 2 units of a 6-pixel base are 3 pixels, 1 unit is 2 (1.5 rounds up).
  QFont six = small;
  for (int size = 6; size < 40; ++size) {
    six.setPixelSize(size);
    if (DialogUnits(six).baseWidth() == 6) break;
  }
  if (DialogUnits(six).baseWidth() == 6) {
    QCOMPARE(DialogUnits(six).ToPixelsX(2), 3);
    QCOMPARE(DialogUnits(six).ToPixelsX(1), 2);
  }
}

void AboutDialogTest::NamesVersionOneTwoWithTheIconAndADefaultOk() {
  CAboutDlg about;
  QCOMPARE(about.windowTitle(), QStringLiteral("About Postrider"));
  QVERIFY(about.versionLabel()->text().contains(QStringLiteral("1.2")));
  QCOMPARE(VersionLine(), about.versionLabel()->text());
  QStringList texts;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    texts << label->text();
    QVERIFY(!label->accessibleName().isEmpty());
  }
  QVERIFY(texts.contains(QStringLiteral("Postrider")));
  QVERIFY(about.okButton()->isDefault());
  QCOMPARE(about.okButton()->text(), QStringLiteral("OK"));
  QCOMPARE(about.findChildren<QFrame*>().size() - about.findChildren<QLabel*>().size(), 1);
}

void AboutDialogTest::ControlsKeepTheirPlacesAndTheirTextFits() {
  CAboutDlg about;
  const DialogUnits units(about.font());
  QCOMPARE(about.size().width(), units.ToPixelsX(217));
  // A margin below the rule, no more.
  QCOMPARE(about.size().height(), units.ToPixelsY(55));
  QCOMPARE(about.okButton()->geometry(), units.ToPixels(171, 7, 40, 14));
  QCOMPARE(about.versionLabel()->geometry(), units.ToPixels(40, 19, 119, 8));
  const QFontMetrics metrics(about.versionLabel()->font());
  QVERIFY(metrics.horizontalAdvance(about.versionLabel()->text()) <= about.versionLabel()->width());
  QVERIFY(metrics.horizontalAdvance(about.okButton()->text()) < about.okButton()->width());
  // The labels end before the button begins, and the rule lies below both.
  QVERIFY(about.versionLabel()->geometry().right() < about.okButton()->geometry().left());
  for (QFrame* frame : about.findChildren<QFrame*>()) {
    if (qobject_cast<QLabel*>(frame) != nullptr) continue;
    QCOMPARE(frame->frameShape(), QFrame::HLine);
    QVERIFY(frame->geometry().top() > about.okButton()->geometry().bottom());
    QVERIFY(frame->geometry().top() > about.versionLabel()->geometry().bottom());
  }
}

void AboutDialogTest::OkClosesTheBox() {
  CAboutDlg about;
  ModalDriver driver([](QWidget* modal) {
    QTest::keyClick(modal, Qt::Key_Return);  // the default button
  });
  QCOMPARE(about.exec(), int(QDialog::Accepted));
  QVERIFY(driver.acted());
  QCOMPARE(driver.seenTitle(), QStringLiteral("About Postrider"));
}

QTEST_MAIN(AboutDialogTest)
#include "about_dialog_test.moc"
