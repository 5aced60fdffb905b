#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextDocument>

#include <memory>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

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

// Counts the times a file is opened, as the kernel reports them.
class OpenCounter {
 public:
  explicit OpenCounter(const QString& path)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
        // Closes too: the kernel folds an event into an unread one just like it.
        watch_(fd_ < 0 ? -1
                       : inotify_add_watch(fd_, QFile::encodeName(path).constData(),
                                           IN_OPEN | IN_CLOSE_NOWRITE | IN_CLOSE_WRITE)) {}
  ~OpenCounter() {
    if (fd_ >= 0) close(fd_);
  }
  bool watching() const { return watch_ >= 0; }
  // The opens since the last call.
  int Take() {
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) return opens;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & IN_OPEN) != 0) ++opens;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

 private:
  int fd_;
  int watch_;
};

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
  void SteppingReadsThePicturesOnceAndSeesOneThatWentMeanwhile();

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

void PreviewFormattedMessageTest::SteppingReadsThePicturesOnceAndSeesOneThatWentMeanwhile() {
  TestProject three("Name\tEmail\tCopies\nAnn\tann@example.com\t\nBob\tbob@example.com\t\n"
                    "Cy\tcy@example.com\t\n");
  const std::string body = "# Hello [[Name]]\n\n![Banner](banner.png)\n";
  three.letterText = "To: \nFrom:  \nSubject: News\n" + body;
  QVERIFY(recorded->Open(PathBytes(env->path()), three));
  recorded->messageView.body = body;
  recorded->document.SetLetterOptions({.format = MessageFormat::Markdown, .ccField = "Copies"});
  recorded->document.SelectAll();
  const QString picture = env->File(QStringLiteral("banner.png"));
  OpenCounter opens(picture);
  QVERIFY(opens.watching());

  // Composing the message shown reads the picture; checking the letter for
  // that entry must not read it all again, at the first entry or later.
  CPreviewDlg dialog(recorded->document, settings, 0);
  const int firstEntry = opens.Take();
  QVERIFY(firstEntry >= 1);
  QCOMPARE(dialog.preview().formatted.pictures.size(), std::size_t{1});
  const QUrl banner(QStringLiteral("cid:") +
                    QString::fromStdString(dialog.preview().formatted.pictures.begin()->first));
  auto shownPicture = [&dialog, &banner] {
    return dialog.formattedView()->htmlView()->loadResource(QTextDocument::ImageResource, banner)
        .value<QImage>();
  };
  const qint64 decoded = shownPicture().cacheKey();
  QVERIFY(!shownPicture().isNull());
  dialog.nextButton()->click();
  QCOMPARE(dialog.entry(), 1);
  // Nor is it decoded again for the screen.
  QCOMPARE(shownPicture().cacheKey(), decoded);
  QVERIFY(dialog.skipLabel()->isHidden());
  QVERIFY(dialog.formattedView()->isVisibleTo(&dialog));
  const int perStep = opens.Take();
  QVERIFY2(perStep >= 1 && perStep == firstEntry,
           qPrintable(QStringLiteral("%1 opens at a step, %2 at the first")
                          .arg(perStep)
                          .arg(firstEntry)));

  // A picture gone since the last step is still named.
  QVERIFY(QFile::remove(picture));
  dialog.nextButton()->click();
  QCOMPARE(dialog.entry(), 2);
  QVERIFY(dialog.skipLabel()->isVisibleTo(&dialog));
  QVERIFY2(dialog.skipLabel()->text().contains(QStringLiteral("banner.png")),
           qPrintable(dialog.skipLabel()->text()));
}

QTEST_MAIN(PreviewFormattedMessageTest)
#include "preview_formatted_message_test.moc"
