#include <QTest>

#include <string>

#include "views/list_value_text.h"

using postrider::ListValueText;

class ListValueTextTest : public QObject {
  Q_OBJECT

 private slots:
  void ValidUtf8IsShownAsUtf8() {
    QCOMPARE(ListValueText("M\xC3\xBCller \xE2\x82\xAC"), QStringLiteral("M\u00FCller \u20AC"));
    QCOMPARE(ListValueText("\xF0\x9F\x93\xAE"), QString::fromUtf8("\xF0\x9F\x93\xAE"));
  }

  // A Latin-1 list shows its letters, never replacement marks.
  void BytesThatAreNotUtf8AreLatin1() {
    QCOMPARE(ListValueText("M\xFCller"), QStringLiteral("M\u00FCller"));
    QCOMPARE(ListValueText("caf\xE9"), QStringLiteral("caf\u00E9"));
    QCOMPARE(ListValueText("\xC3"), QStringLiteral("\u00C3"));          // cut short
    QCOMPARE(ListValueText("\xC0\xAF"), QStringLiteral("\u00C0\u00AF"));  // overlong
    QCOMPARE(ListValueText("\xED\xA0\x80"), QStringLiteral("\u00ED\u00A0\u0080"));  // surrogate
    QCOMPARE(ListValueText("\xF4\x90\x80\x80").size(), 4);  // past U+10FFFF
  }

  void NulBytesAndEmptyValuesSurvive() {
    QCOMPARE(ListValueText(std::string_view("a\0b", 3)).size(), 3);
    QVERIFY(ListValueText("").isEmpty());
  }
};

QTEST_MAIN(ListValueTextTest)
#include "list_value_text_test.moc"
