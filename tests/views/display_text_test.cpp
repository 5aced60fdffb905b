#include <QTest>

#include <string>

#include "qt_support/tip_text.h"
#include "views/display_text.h"

using postrider::PlainMenuText;
using postrider::PlainTip;
using postrider::ShownText;
using postrider::WrapModeFor;

class DisplayTextTest : public QObject {
  Q_OBJECT

 private slots:
  void ValidUtf8IsShownAsUtf8() {
    QCOMPARE(ShownText("M\xC3\xBCller \xE2\x82\xAC"), QStringLiteral("M\u00FCller \u20AC"));
    QCOMPARE(ShownText("\xF0\x9F\x93\xAE"), QString::fromUtf8("\xF0\x9F\x93\xAE"));
  }

  // A Latin-1 or Windows-1252 list shows its letters, never replacement marks.
  void BytesThatAreNotUtf8AreWindows1252() {
    QCOMPARE(ShownText("M\xFCller"), QStringLiteral("M\u00FCller"));
    QCOMPARE(ShownText("caf\xE9 \x80"), QStringLiteral("caf\u00E9 \u20AC"));
    QCOMPARE(ShownText("\xC3"), QStringLiteral("\u00C3"));                // cut short
    QCOMPARE(ShownText("\xC0\xAF"), QStringLiteral("\u00C0\u00AF"));      // overlong
    QCOMPARE(ShownText("\xED\xA0\x80").size(), 3);                        // surrogate
    QCOMPARE(ShownText("\xF4\x90\x80\x80").size(), 4);                    // past U+10FFFF
  }

  void NulBytesAndEmptyValuesSurvive() {
    QCOMPARE(ShownText(std::string_view("a\0b", 3)).size(), 3);
    QVERIFY(ShownText("").isEmpty());
  }

  void OnlyAHugeWordIsWrappedAnywhere_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("anywhere");
    const QString longest(1000, u'x');
    QTest::newRow("letter") << QStringLiteral("Dear Ann,\n\nsee you.\n") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("longest word") << QStringLiteral("a ") + longest + QStringLiteral(" b") << false;
    QTest::newRow("words of it, apart")
        << longest + QStringLiteral("\n") + longest + QStringLiteral("\t") + longest << false;
    QTest::newRow("one longer") << longest + QStringLiteral("x") << true;
    QTest::newRow("a megabyte line") << QStringLiteral("Dear ") + QString(1 << 20, u'x') << true;
  }
  void OnlyAHugeWordIsWrappedAnywhere() {
    QFETCH(QString, text);
    QFETCH(bool, anywhere);
    QCOMPARE(WrapModeFor(text), anywhere ? QTextOption::WrapAnywhere
                                         : QTextOption::WrapAtWordBoundaryOrAnywhere);
  }

  // A tip is shown as Qt shows one: as HTML when it looks like markup.
  void ATipShowsTheValueAsItIsNeverAsMarkup_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QStringLiteral("Ann Smith");
    QTest::newRow("bold tags") << QStringLiteral("<b>Ann</b>  (verified)");
    QTest::newRow("picture of a device") << QStringLiteral("<img src=\"/dev/zero\">");
    QTest::newRow("hidden text") << QStringLiteral("pay <span style=\"color:white\">no</span>now");
    QTest::newRow("entity") << QStringLiteral("<p>&lt;fake&gt; &amp; co</p>");
    QTest::newRow("lines") << QStringLiteral("<i>one</i>\ntwo");
    QTest::newRow("empty") << QString();
  }
  void ATipShowsTheValueAsItIsNeverAsMarkup() {
    QFETCH(QString, value);
    QCOMPARE(postrider::testing::TipAsShown(PlainTip(value)), value);
  }

  void MenuTextShowsAmpersandsAndNoTabs() {
    QCOMPARE(PlainMenuText(QStringLiteral("R&D\tcost")), QStringLiteral("R&&D cost"));
  }
};

QTEST_MAIN(DisplayTextTest)
#include "display_text_test.moc"
