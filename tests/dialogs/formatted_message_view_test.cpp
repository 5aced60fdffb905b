#include <QImage>
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

QTEST_MAIN(FormattedMessageViewTest)
#include "formatted_message_view_test.moc"
