#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTextDocument>

#include <memory>

#include "dialogs/formatted_message_view.h"
#include "dialogs/preview_dlg.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "support/recording_views.h"
#include "views/display_text.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

constexpr const char* kBody =
    "# Hello [[Name]]\n"
    "\n"
    "Our **spring readings** start next month:\n"
    "\n"
    "- Monday: *poetry*\n"
    "- Thursday: [the programme](https://example.org/programme)\n"
    "\n"
    "![Banner](banner.png)\n";

}  // namespace

class PreviewFormattedMessageTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    QImage banner(240, 48, QImage::Format_RGB32);
    banner.fill(QColor(0x2a, 0x6f, 0x97));
    QVERIFY(banner.save(env->File(QStringLiteral("banner.png"))));
    recorded = std::make_unique<RecordedDocument>();
    TestProject project("Name\tEmail\tCopies\n<b>Ann</b> **x**\tann@example.com\tbo@example.org\n");
    // A file goes with it: Preview lists it under the rendered letter.
    env->Write(QStringLiteral("Spring programme.pdf"),
               QByteArray("%PDF-1.4\n") + QByteArray(48000, '\x01') + "\n%%EOF\n");
    project.letterText = std::string("To: \nFrom:  \nSubject: News for [[Name]]\n") +
                         "[[Attachment:  " + PathBytes(env->File(QStringLiteral("Spring programme.pdf"))) +
                         "]]\n" + kBody;
    QVERIFY(recorded->Open(PathBytes(env->path()), project));
    settings.realName = "Harbour Library";
    settings.returnAddress = "library@example.com";
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void AMarkdownLetterShowsAsItRendersAndItsTextPartOnASwitch();
  void APlainLetterShowsAsBefore();
  void ALetterSendCannotMakeIsShownWithWhy_data();
  void ALetterSendCannotMakeIsShownWithWhy();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
  UserSettings settings;
};

void PreviewFormattedMessageTest::AMarkdownLetterShowsAsItRendersAndItsTextPartOnASwitch() {
  recorded->document.SetLetterOptions(
      {.format = MessageFormat::Markdown, .mergeSubject = true, .ccField = "Copies"});
  CPreviewDlg dialog(recorded->document, settings, 0);
  dialog.resize(640, 480);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(!dialog.messageText()->isVisible());
  QVERIFY(dialog.formattedView()->isVisible());
  const QString headers = dialog.headersLabel()->text();
  QVERIFY2(headers.contains(QStringLiteral("Subject: News for <b>Ann</b> **x**")),
           qPrintable(headers));
  CarriedContentBrowser* html = dialog.formattedView()->htmlView();
  QVERIFY(html->isVisible());
  // The value is text in the heading, and the letter's picture is there.
  QVERIFY(html->document()->toPlainText().startsWith(QStringLiteral("Hello <b>Ann</b> **x**")));
  QCOMPARE(html->document()->toHtml().count(QStringLiteral("<img")), 1);
  QVERIFY(!html->loadResource(QTextDocument::ImageResource,
                              QUrl(QStringLiteral("cid:") + QString::fromStdString(
                                                              dialog.preview().formatted.pictures
                                                                  .begin()
                                                                  ->first)))
               .isNull());
  // The file is listed; neither the HTML part nor the picture is.
  QVERIFY(dialog.attachmentList()->isVisible());
  QCOMPARE(dialog.attachmentList()->count(), 1);
  QVERIFY2(dialog.attachmentList()->item(0)->text().startsWith(
               QStringLiteral("Spring programme.pdf (application/pdf")),
           qPrintable(dialog.attachmentList()->item(0)->text()));
  if (const QByteArray shot = qgetenv("POSTRIDER_PREVIEW_SCREENSHOT"); !shot.isEmpty()) {
    dialog.grab().save(QString::fromLocal8Bit(shot));
  }

  QTest::mouseClick(dialog.formattedView()->textButton(), Qt::LeftButton);
  QTRY_VERIFY(dialog.formattedView()->textView()->isVisible());
  QString expected = QString::fromUtf8(kBody);
  expected.replace(QStringLiteral("[[Name]]"), QStringLiteral("<b>Ann</b> **x**"));
  QCOMPARE(dialog.formattedView()->textView()->toPlainText(), expected);
}

void PreviewFormattedMessageTest::APlainLetterShowsAsBefore() {
  recorded->document.SetLetterOptions({.ccField = "Copies"});
  CPreviewDlg dialog(recorded->document, settings, 0);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(dialog.messageText()->isVisible());
  QVERIFY(!dialog.formattedView()->isVisible());
  QVERIFY(!dialog.headersLabel()->isVisible());
  QVERIFY(dialog.messageText()->toPlainText().contains(QStringLiteral("# Hello <b>Ann</b>")));
}

void PreviewFormattedMessageTest::ALetterSendCannotMakeIsShownWithWhy_data() {
  QTest::addColumn<QString>("picture");
  QTest::addColumn<QString>("ccField");
  QTest::addColumn<QString>("why");
  QTest::newRow("picture missing") << "gone.png" << "" << "gone.png";
  QTest::newRow("picture not a picture") << "notes.png" << "" << "notes.png";
  QTest::newRow("Cc field not in the list") << "banner.png" << "Nowhere" << "Nowhere";
  QTest::newRow("Cc value no address") << "banner.png" << "Name" << "Cc";
  QTest::newRow("letter Send makes") << "banner.png" << "Copies" << "";
}

void PreviewFormattedMessageTest::ALetterSendCannotMakeIsShownWithWhy() {
  QFETCH(QString, picture);
  QFETCH(QString, ccField);
  QFETCH(QString, why);
  env->Write(QStringLiteral("notes.png"), QByteArray("Not a picture at all.\n").repeated(20));
  recorded->messageView.body = "# Hello\n\n![Banner](" + picture.toStdString() + ")\n";
  recorded->document.SetLetterOptions(
      {.format = MessageFormat::Markdown, .ccField = ccField.toStdString()});
  recorded->document.SelectAll();
  CPreviewDlg dialog(recorded->document, settings, 0);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  const QString shown = dialog.skipLabel()->text();
  QCOMPARE(dialog.skipLabel()->isVisible(), !why.isEmpty());
  QVERIFY2(shown.contains(why), qPrintable(shown));
  // What Send makes of it is shown formatted, the picture in place.
  if (why.isEmpty()) QVERIFY(dialog.formattedView()->isVisible());
}

QTEST_MAIN(PreviewFormattedMessageTest)
#include "preview_formatted_message_test.moc"
