#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextDocument>
#include <QUrl>

#include <map>
#include <string>
#include <vector>

#include "dialogs/formatted_message_view.h"
#include "qt_support/test_environment.h"
#include "send/markdown_letter.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

const QByteArray kGif = QByteArray::fromBase64(
    "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==");

}  // namespace

class FormattedMessageViewTest : public QObject {
  Q_OBJECT

 private slots:
  void TheLetterRendersWithItsOwnPicturesAndValuesAsText();
  void TheSwitchShowsThePlainTextPart();
  void AHugeWordIsWrappedAnywhereInBothParts();
  void FormattingNestedTooDeeplyIsToldNotLaidOut_data();
  void FormattingNestedTooDeeplyIsToldNotLaidOut();
  void DepthIsCountedAsTheHtmlNests_data();
  void DepthIsCountedAsTheHtmlNests();
  void CarriedPictureThatWillNotDecodeIsToldInItsPlace_data();
  void CarriedPictureThatWillNotDecodeIsToldInItsPlace();
};

void FormattedMessageViewTest::TheLetterRendersWithItsOwnPicturesAndValuesAsText() {
  DesktopTestEnvironment env;
  env.Write(QStringLiteral("logo.gif"), kGif);
  const std::vector<std::string> fields = {"Name"};
  MarkdownLetterSource source;
  source.body = "# Hello [[Name]]\n\n![logo](logo.gif) ![remote](https://example.org/t.png)\n";
  source.subject = "News";
  source.fieldNames = &fields;
  source.letterFolder = env.path().toStdString();
  Result<LetterTemplate> letter = RenderMarkdownLetter(source);
  QVERIFY(letter.ok());
  std::string html;
  const std::string hostile = "<img src=\"https://example.org/track.png\"><b>Eve</b>";
  FillLetterHtml(*letter, {hostile}, html);

  FormattedMessageView view;
  std::map<QString, QByteArray> pictures;
  pictures[QString::fromStdString(letter->pictures.at(0).contentId)] = kGif;
  view.SetParts(QString::fromStdString(html), QStringLiteral("plain"), pictures);
  view.resize(400, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));

  QTextDocument* document = view.htmlView()->document();
  QVERIFY(document->toPlainText().contains(QStringLiteral("Hello ") +
                                           QString::fromStdString(hostile)));
  const QUrl carried(QStringLiteral("cid:") +
                     QString::fromStdString(letter->pictures.at(0).contentId));
  QVERIFY(!view.htmlView()->loadResource(QTextDocument::ImageResource, carried).isNull());
  for (const QString& elsewhere :
       {QStringLiteral("https://example.org/t.png"), QStringLiteral("https://example.org/track.png"),
        QStringLiteral("file://") + env.File(QStringLiteral("logo.gif")), env.File("logo.gif"),
        QStringLiteral("cid:unknown@x")}) {
    QVERIFY2(view.htmlView()->loadResource(QTextDocument::ImageResource, QUrl(elsewhere)).isNull(),
             qPrintable(elsewhere));
  }
  QVERIFY(!view.htmlView()->openLinks());
  QVERIFY(view.htmlView()->isVisible());
  QVERIFY(!view.htmlView()->accessibleName().isEmpty());
}

void FormattedMessageViewTest::TheSwitchShowsThePlainTextPart() {
  FormattedMessageView view;
  view.SetParts(QStringLiteral("<p>Hi <b>Ann</b></p>"), QStringLiteral("Hi Ann\n"), {});
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QVERIFY(view.htmlView()->isVisible());
  QTest::mouseClick(view.textButton(), Qt::LeftButton);
  QTRY_VERIFY(view.textView()->isVisible());
  QVERIFY(!view.htmlView()->isVisible());
  QCOMPARE(view.textView()->toPlainText(), QStringLiteral("Hi Ann\n"));
  view.ShowTextPart(false);
  QVERIFY(view.formattedButton()->isChecked());
  QVERIFY(view.htmlView()->isVisible());
}

void FormattedMessageViewTest::AHugeWordIsWrappedAnywhereInBothParts() {
  FormattedMessageView view;
  const QString word(1 << 20, u'x');
  view.SetParts(QStringLiteral("<p>") + word + QStringLiteral("</p>"), word, {});
  view.resize(400, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QCOMPARE(view.htmlView()->wordWrapMode(), QTextOption::WrapAnywhere);
  QCOMPARE(view.textView()->wordWrapMode(), QTextOption::WrapAnywhere);
  QCOMPARE(view.htmlView()->document()->toPlainText(), word);

  view.SetParts(QStringLiteral("<p>Hi Ann</p>"), QStringLiteral("Hi Ann\n"), {});
  QCOMPARE(view.htmlView()->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
  QCOMPARE(view.textView()->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void FormattedMessageViewTest::FormattingNestedTooDeeplyIsToldNotLaidOut_data() {
  QTest::addColumn<QString>("level");
  QTest::addColumn<int>("levels");
  QTest::addColumn<bool>("shown");
  QTest::newRow("lists a person writes") << QStringLiteral("- ") << 20 << true;
  QTest::newRow("quotes a person writes") << QStringLiteral("> ") << 60 << true;
  // Each took Qt seconds to minutes; the window did not repaint meanwhile.
  QTest::newRow("thousands of lists") << QStringLiteral("- ") << 3000 << false;
  QTest::newRow("thousands of quotes") << QStringLiteral("> ") << 5000 << false;
}

void FormattedMessageViewTest::FormattingNestedTooDeeplyIsToldNotLaidOut() {
  QFETCH(QString, level);
  QFETCH(int, levels);
  QFETCH(bool, shown);
  const std::string body = level.repeated(levels).toStdString() + "deep <b>x</b> end\n";
  MarkdownLetterSource source;
  source.body = body;
  source.subject = "News";
  Result<LetterTemplate> letter = RenderMarkdownLetter(source);
  QVERIFY(letter.ok());
  std::string html;
  FillLetterHtml(*letter, {}, html);

  FormattedMessageView view;
  view.SetParts(QString::fromStdString(html), QStringLiteral("deep end\n"), {});
  const QString shownText = view.htmlView()->document()->toPlainText();
  QCOMPARE(shownText.contains(QStringLiteral("deep x")), shown);
  QCOMPARE(shownText.contains(QStringLiteral("too deep to show")), !shown);
  // The plain text part is there either way.
  QCOMPARE(view.textView()->toPlainText(), QStringLiteral("deep end\n"));
}

void FormattedMessageViewTest::DepthIsCountedAsTheHtmlNests_data() {
  QTest::addColumn<QString>("html");
  QTest::addColumn<bool>("shown");
  // Elements a later one of their kind closes, as HTML written by hand leaves them.
  QTest::newRow("unclosed paragraphs") << QStringLiteral("<p>para").repeated(400) << true;
  QTest::newRow("unclosed list items")
      << QStringLiteral("<ul>") + QStringLiteral("<li>item").repeated(400) + QStringLiteral("</ul>")
      << true;
  QTest::newRow("unclosed table cells")
      << QStringLiteral("<table>") + QStringLiteral("<tr><td>a<td><b>b</b><th>c").repeated(150) +
             QStringLiteral("</table>")
      << true;
  QTest::newRow("unclosed terms") << QStringLiteral("<dl>") + QStringLiteral("<dt>t<dd>d").repeated(300)
                                  << true;
  QTest::newRow("empty elements, comments and declarations")
      << QStringLiteral("<!DOCTYPE html>") +
             QStringLiteral("a<br>b<BR/><img src=\"x.gif\"><hr><!-- <div> -->").repeated(300)
      << true;
  QTest::newRow("closing tags in capitals")
      << QStringLiteral("<DIV><span>x</SPAN></div>").repeated(300) << true;
  QTest::newRow("lists a person nests") << QStringLiteral("<ul><li>x").repeated(90) << true;
  // A closing tag with no element open of its name closes nothing.
  QTest::newRow("stray closing tags between quotes")
      << QStringLiteral("<blockquote></p></b>").repeated(300) + QStringLiteral("deep x") << false;
  QTest::newRow("unclosed quotes") << QStringLiteral("<blockquote>").repeated(300) << false;
  QTest::newRow("items in paragraphs") << QStringLiteral("<li><p>x").repeated(150) << false;
}

void FormattedMessageViewTest::DepthIsCountedAsTheHtmlNests() {
  QFETCH(QString, html);
  QFETCH(bool, shown);
  FormattedMessageView view;
  view.SetParts(html, QStringLiteral("x\n"), {});
  const QString shownText = view.htmlView()->document()->toPlainText();
  QCOMPARE(shownText.contains(QStringLiteral("too deep to show")), !shown);
}

void FormattedMessageViewTest::CarriedPictureThatWillNotDecodeIsToldInItsPlace_data() {
  QTest::addColumn<QByteArray>("picture");
  QTest::addColumn<QString>("told");
  QByteArray png;
  {
    QImage wide(2000, 1000, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(wide.save(&buffer, "PNG"));
  }
  QTest::newRow("a picture that fits") << kGif << QString();
  // Beyond the image memory this test allows, as a poster-sized photo is
  // beyond Qt's default.
  QTest::newRow("too large for image memory")
      << png << QStringLiteral("[A picture of 2000 \u00d7 1000 pixels, too large to show here");
  QTest::newRow("no picture at all")
      << QByteArray("GIF89a but not really") << QStringLiteral("[A picture that cannot be shown here");
}

void FormattedMessageViewTest::CarriedPictureThatWillNotDecodeIsToldInItsPlace() {
  QFETCH(QByteArray, picture);
  QFETCH(QString, told);
  const int limit = QImageReader::allocationLimit();
  QImageReader::setAllocationLimit(1);
  struct RestoreLimit {
    int limit;
    ~RestoreLimit() { QImageReader::setAllocationLimit(limit); }
  } restore{limit};

  FormattedMessageView view;
  view.SetParts(QStringLiteral("<p>Before <img src=\"cid:p1@x\" alt=\"map\"> after.</p>"
                               "<p><img src=\"cid:p1@x\"></p>"),
                QStringLiteral("Before after."), {{QStringLiteral("p1@x"), picture}});
  view.resize(400, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  const QString shown = view.htmlView()->document()->toPlainText();
  if (told.isEmpty()) {
    QVERIFY2(!shown.contains(u'['), qPrintable(shown));
    QVERIFY(!view.htmlView()->document()->resource(QTextDocument::ImageResource,
                                                   QUrl(QStringLiteral("cid:p1@x"))).isNull());
    return;
  }
  // Each place the picture stood says so; the words around it stay.
  QVERIFY2(shown.startsWith(QStringLiteral("Before ") + told), qPrintable(shown));
  QVERIFY2(shown.contains(QStringLiteral(" after.\n") + told), qPrintable(shown));
  QCOMPARE(shown.count(QStringLiteral("it is sent as it is.]")), 2);
  QCOMPARE(view.textView()->toPlainText(), QStringLiteral("Before after."));
}

QTEST_MAIN(FormattedMessageViewTest)
#include "formatted_message_view_test.moc"
