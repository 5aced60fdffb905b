#include <QTest>

#include <string>

#include "views/letter_text.h"

using namespace postrider;

namespace {

std::string Bytes(const char* text) { return std::string(text); }

}  // namespace

class LetterTextTest : public QObject {
  Q_OBJECT

 private slots:
  void Utf8BytesShowAsUtf8AndStayUtf8();
  void InvalidUtf8ShowsEveryByteAsItsOwnCharacter();
  void EverySingleByteComesBackAfterAnEditElsewhere();
  void LineEndsShowAsBreaksAndGoBackAsCrLf();
  void AnUnchangedTextGivesBackItsOwnBytes();
  void ASingleByteTextThatCannotHoldATypedCharacterIsStoredAsUtf8();
};

void LetterTextTest::Utf8BytesShowAsUtf8AndStayUtf8() {
  LetterEncoding encoding = LetterEncoding::SingleByte;
  QCOMPARE(DecodeLetterBytes("Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x82\xAC",
                             &encoding),
           QStringLiteral("Grüße €"));
  QCOMPARE(encoding, LetterEncoding::Utf8);
  // A byte order mark is part of the text, so the bytes come back with it.
  const LetterText withMark(Bytes("\xEF\xBB\xBFHello"));
  QCOMPARE(withMark.encoding(), LetterEncoding::Utf8);
  QCOMPARE(withMark.BytesFor(withMark.shown() + QStringLiteral("!")), Bytes("\xEF\xBB\xBFHello!"));
  QCOMPARE(EncodeLetterText(QStringLiteral("Grüße"), LetterEncoding::Utf8),
           Bytes("Gr\xC3\xBC\xC3\x9F"
                 "e"));
}

void LetterTextTest::InvalidUtf8ShowsEveryByteAsItsOwnCharacter() {
  LetterEncoding encoding = LetterEncoding::Utf8;
  // Latin-1 letters, and the Windows-1252 ones in 0x80..0x9F.
  QCOMPARE(DecodeLetterBytes("Gr\xFC\xDF"
                             "e \x80 \x93quoted\x94",
                             &encoding),
           QStringLiteral("Grüße € “quoted”"));
  QCOMPARE(encoding, LetterEncoding::SingleByte);
  // Overlong forms, surrogates and cut sequences are not UTF-8 either.
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "abc\xE2\x82", "\xF5\x80\x80\x80"}) {
    DecodeLetterBytes(bad, &encoding);
    QCOMPARE(encoding, LetterEncoding::SingleByte);
  }
  QVERIFY(!DecodeLetterBytes("\x81\x8D\x8F\x90\x9D").contains(QChar::ReplacementCharacter));
}

void LetterTextTest::EverySingleByteComesBackAfterAnEditElsewhere() {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != '\r' && byte != '\n') all.push_back(static_cast<char>(byte));
  }
  const LetterText letter(all);
  QCOMPARE(letter.encoding(), LetterEncoding::SingleByte);
  QCOMPARE(letter.shown().size(), qsizetype(254));
  // Edited, so encoded anew rather than handed back.
  LetterEncoding used = LetterEncoding::Utf8;
  QCOMPARE(
      EncodeLetterText(QStringLiteral("x") + letter.shown(), LetterEncoding::SingleByte, &used),
      "x" + all);
  QCOMPARE(used, LetterEncoding::SingleByte);
}

void LetterTextTest::LineEndsShowAsBreaksAndGoBackAsCrLf() {
  QCOMPARE(DecodeLetterBytes("a\r\nb\nc\rd\r\n"), QStringLiteral("a\nb\nc\nd\n"));
  QCOMPARE(EncodeLetterText(QStringLiteral("a\nb\n"), LetterEncoding::Utf8), Bytes("a\r\nb\r\n"));
  QCOMPARE(EncodeLetterText(QStringLiteral("\xE9t\xE9\n"), LetterEncoding::SingleByte),
           Bytes("\xE9t\xE9\r\n"));
}

void LetterTextTest::AnUnchangedTextGivesBackItsOwnBytes() {
  // LF-only lines and Latin-1 bytes: nothing of either changes while the text does not.
  const std::string original = "Dear Andr\xE9,\nsee you\r\nsoon\n";
  const LetterText letter(original);
  QCOMPARE(letter.BytesFor(letter.shown()), original);
  QCOMPARE(letter.BytesFor(letter.shown() + QStringLiteral("P.S.")),
           Bytes("Dear Andr\xE9,\r\nsee you\r\nsoon\r\nP.S."));
  QCOMPARE(LetterText().BytesFor(QString()), std::string());
}

void LetterTextTest::ASingleByteTextThatCannotHoldATypedCharacterIsStoredAsUtf8() {
  const LetterText letter(Bytes("Caf\xE9 \x80"));
  LetterEncoding used = LetterEncoding::SingleByte;
  const std::string stored =
      EncodeLetterText(letter.shown() + QStringLiteral(" Łódź"), letter.encoding(), &used);
  QCOMPARE(used, LetterEncoding::Utf8);
  // The whole text, the letters it had included, is UTF-8, and reads back the same.
  QCOMPARE(stored, Bytes("Caf\xC3\xA9 \xE2\x82\xAC \xC5\x81\xC3\xB3\x64\xC5\xBA"));
  QCOMPARE(DecodeLetterBytes(stored), QStringLiteral("Café € Łódź"));
}

QTEST_MAIN(LetterTextTest)
#include "letter_text_test.moc"
