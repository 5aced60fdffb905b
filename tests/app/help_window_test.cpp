// The help window and the help pages built into the program.

#include <QAccessible>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

#include "app/help_window.h"
#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"

using postrider::HelpBrowser;
using postrider::HelpWindow;
using postrider::ShowHelp;

namespace {

const QStringList kAgreedPages = {
    QStringLiteral("index.html"),      QStringLiteral("wizard.html"),
    QStringLiteral("letter.html"),     QStringLiteral("recipients.html"),
    QStringLiteral("query.html"),      QStringLiteral("sending.html"),
    QStringLiteral("statuses.html"),   QStringLiteral("lists.html"),
    QStringLiteral("settings.html"),   QStringLiteral("files.html"),
};

QUrl PageUrl(const QString& page) { return QUrl(QStringLiteral("qrc:/help/") + page); }

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

QStringList AllPages() {
  return QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files);
}

// Every value of `attribute` in the page's markup.
QStringList AttributeValues(const QString& html, const QString& attribute) {
  QStringList values;
  const QRegularExpression pattern(QStringLiteral("\\b%1=\"([^\"]*)\"").arg(attribute));
  for (const QRegularExpressionMatch& match : pattern.globalMatch(html)) {
    values << match.captured(1);
  }
  return values;
}

// The anchors Qt's rich text made of a page, as links to it will look for them.
QSet<QString> DocumentAnchors(const QTextDocument& document) {
  QSet<QString> anchors;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (const QString& name : block.charFormat().anchorNames()) anchors.insert(name);
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
      for (const QString& name : fragment.fragment().charFormat().anchorNames()) anchors.insert(name);
    }
  }
  return anchors;
}

// Records whether the window was last told it is blocked by a modal dialog.
class BlockedWatcher : public QObject {
 public:
  bool blocked = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::WindowBlocked) blocked = true;
    if (event->type() == QEvent::WindowUnblocked) blocked = false;
    return false;
  }
};

}  // namespace

class HelpWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { environment_ = std::make_unique<postrider::testing::DesktopTestEnvironment>(); }
  void cleanup() {
    frame_.reset();  // the help window goes with it
    QVERIFY(HelpWindow::Current() == nullptr);
    environment_.reset();
  }

  void EveryAgreedPageLoadsWithItsTitleAndStyle();
  void EveryLinkAndPictureStaysInsideTheResources();
  void EveryLinkedAnchorExistsInItsPage();
  void EveryPageIsReachableFromTheContents();
  void ShowHelpOpensThePageAndReusesTheWindow();
  void UnknownPageShowsTheContents();
  void ButtonsWalkTheHistoryAndHaveAccessibleNames();
  void LinksLeavingTheHelpAreNotFollowed();
  void PicturesComeOnlyFromTheResources();
  void HelpOpenedFromAModalDialogOutlivesIt();
  void HelpRaisedFromAModalDialogIsNotBlockedByIt();

 private:
  QWidget* Frame() {
    if (!frame_) frame_ = std::make_unique<QWidget>();
    return frame_.get();
  }

  std::unique_ptr<postrider::testing::DesktopTestEnvironment> environment_;
  std::unique_ptr<QWidget> frame_;
};

// The heading colour comes from the shared stylesheet only.
QColor HeadingColour(const QTextDocument& document) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 1 && !block.begin().atEnd()) {
      return block.begin().fragment().charFormat().foreground().color();
    }
  }
  return {};
}

void HelpWindowTest::EveryAgreedPageLoadsWithItsTitleAndStyle() {
  HelpWindow shared;
  for (const QString& page : kAgreedPages) {
    QVERIFY2(QFile::exists(QStringLiteral(":/help/") + page), qPrintable(page));
    // A page shown first, and one shown after another page.
    HelpWindow fresh;
    for (HelpWindow* window : {&fresh, &shared}) {
      window->ShowPage(page);
      QCOMPARE(window->browser()->source(), PageUrl(page));
      const QTextDocument* document = window->browser()->document();
      QVERIFY2(!document->metaInformation(QTextDocument::DocumentTitle).isEmpty(), qPrintable(page));
      QVERIFY2(document->toPlainText().size() > 200, qPrintable(page));
      QCOMPARE(HeadingColour(*document), QColor(0x1a, 0x5f, 0xb4));
    }
  }
}

void HelpWindowTest::EveryLinkAndPictureStaysInsideTheResources() {
  const QStringList pages = AllPages();
  QVERIFY(pages.size() >= kAgreedPages.size());
  for (const QString& page : pages) {
    const QString html = ReadText(QStringLiteral(":/help/") + page);
    QVERIFY2(!html.contains(QLatin1String("<script"), Qt::CaseInsensitive), qPrintable(page));
    for (const QString& link : AttributeValues(html, QStringLiteral("href"))) {
      const QUrl url(link);
      QVERIFY2(url.isRelative(), qPrintable(page + ": " + link));
      const QUrl target = PageUrl(page).resolved(url);
      QVERIFY2(QFile::exists(QLatin1Char(':') + target.path()), qPrintable(page + ": " + link));
    }
    for (const QString& picture : AttributeValues(html, QStringLiteral("src"))) {
      const QUrl target = PageUrl(page).resolved(QUrl(picture));
      QVERIFY2(QUrl(picture).isRelative(), qPrintable(page + ": " + picture));
      QVERIFY2(QFile::exists(QLatin1Char(':') + target.path()), qPrintable(page + ": " + picture));
    }
  }
}

void HelpWindowTest::EveryLinkedAnchorExistsInItsPage() {
  HelpWindow window;
  int anchorsChecked = 0;
  for (const QString& page : AllPages()) {
    const QString html = ReadText(QStringLiteral(":/help/") + page);
    for (const QString& link : AttributeValues(html, QStringLiteral("href"))) {
      const QUrl target = PageUrl(page).resolved(QUrl(link));
      if (!target.hasFragment()) continue;
      window.ShowPage(target.fileName() + QLatin1Char('#') + target.fragment());
      QCOMPARE(window.browser()->source().fileName(), target.fileName());
      const QSet<QString> anchors = DocumentAnchors(*window.browser()->document());
      QVERIFY2(anchors.contains(target.fragment()), qPrintable(page + ": " + link));
      ++anchorsChecked;
    }
  }
  QVERIFY(anchorsChecked > 5);
}

void HelpWindowTest::EveryPageIsReachableFromTheContents() {
  HelpWindow window;
  QSet<QString> reached{QStringLiteral("index.html")};
  QStringList toVisit{QStringLiteral("index.html")};
  while (!toVisit.isEmpty()) {
    const QString page = toVisit.takeFirst();
    const QString html = ReadText(QStringLiteral(":/help/") + page);
    for (const QString& link : AttributeValues(html, QStringLiteral("href"))) {
      const QUrl target = window.browser()->HelpTarget(PageUrl(page).resolved(QUrl(link)));
      if (!target.isValid()) continue;  // the stylesheet
      const QString name = target.fileName();
      if (!reached.contains(name)) {
        reached.insert(name);
        toVisit << name;
      }
    }
  }
  const QStringList all = AllPages();
  QCOMPARE(reached, QSet<QString>(all.begin(), all.end()));
}

void HelpWindowTest::ShowHelpOpensThePageAndReusesTheWindow() {
  ShowHelp(Frame(), QStringLiteral("letter.html"));
  HelpWindow* window = HelpWindow::Current();
  QVERIFY(window != nullptr);
  QVERIFY(window->isWindow());
  QVERIFY(window->isVisible());
  QCOMPARE(window->windowTitle(), QStringLiteral("Postrider Help"));
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("letter.html")));

  window->close();
  ShowHelp(Frame(), QStringLiteral("sending.html#pausing"));
  QCOMPARE(HelpWindow::Current(), window);
  QVERIFY(window->isVisible());
  QCOMPARE(window->browser()->source().fileName(), QStringLiteral("sending.html"));
  QCOMPARE(window->browser()->source().fragment(), QStringLiteral("pausing"));
  QCOMPARE(Frame()->findChildren<HelpWindow*>().size(), 1);

  ShowHelp(nullptr);  // from anywhere: still the same window
  QCOMPARE(HelpWindow::Current(), window);
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("index.html")));
}

void HelpWindowTest::UnknownPageShowsTheContents() {
  HelpWindow window;
  for (const QString& page : {QStringLiteral("nothing.html"), QStringLiteral("../icons/postrider.svg"),
                              QStringLiteral("help.css"), QString()}) {
    window.ShowPage(QStringLiteral("letter.html"));
    window.ShowPage(page);
    QCOMPARE(window.browser()->source(), PageUrl(QStringLiteral("index.html")));
  }
}

void HelpWindowTest::ButtonsWalkTheHistoryAndHaveAccessibleNames() {
  ShowHelp(Frame());
  HelpWindow* window = HelpWindow::Current();
  QVERIFY(window != nullptr);
  QCOMPARE(window->contentsButton()->accessibleName(), QStringLiteral("Contents"));
  QCOMPARE(window->backButton()->accessibleName(), QStringLiteral("Back"));
  QCOMPARE(window->forwardButton()->accessibleName(), QStringLiteral("Forward"));
  QVERIFY(!window->browser()->accessibleName().isEmpty());
  QVERIFY(!window->accessibleName().isEmpty());
  // A window of its own to a screen reader, not a pane of the main window.
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(window);
  QVERIFY(accessible != nullptr);
  QCOMPARE(accessible->role(), QAccessible::Window);
  QCOMPARE(accessible->text(QAccessible::Name), window->accessibleName());
  QVERIFY(!window->backButton()->isEnabled());
  QVERIFY(!window->forwardButton()->isEnabled());

  emit window->browser()->anchorClicked(QUrl(QStringLiteral("lists.html")));
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("lists.html")));
  QTRY_VERIFY(window->backButton()->isEnabled());

  QTest::mouseClick(window->backButton(), Qt::LeftButton);
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("index.html")));
  QTRY_VERIFY(window->forwardButton()->isEnabled());
  QVERIFY(!window->backButton()->isEnabled());

  QTest::mouseClick(window->forwardButton(), Qt::LeftButton);
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("lists.html")));

  QTest::mouseClick(window->contentsButton(), Qt::LeftButton);
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("index.html")));
  QTRY_VERIFY(window->backButton()->isEnabled());
}

void HelpWindowTest::LinksLeavingTheHelpAreNotFollowed() {
  HelpWindow window;
  window.ShowPage(QStringLiteral("letter.html"));
  HelpBrowser* browser = window.browser();
  for (const QString& link :
       {QStringLiteral("https://example.com/help.html"), QStringLiteral("mailto:someone@example.com"),
        QStringLiteral("file:///etc/passwd"), QStringLiteral("/etc/hostname"),
        QStringLiteral("../icons/postrider.svg"), QStringLiteral("help.css"),
        QStringLiteral("missing.html"), QStringLiteral("qrc:/pictures/intro.svg")}) {
    QVERIFY2(!browser->HelpTarget(QUrl(link)).isValid(), qPrintable(link));
    emit browser->anchorClicked(QUrl(link));
    QCOMPARE(browser->source(), PageUrl(QStringLiteral("letter.html")));
  }
  QCOMPARE(browser->HelpTarget(QUrl(QStringLiteral("sending.html#log"))),
           QUrl(QStringLiteral("qrc:/help/sending.html#log")));
  QCOMPARE(browser->HelpTarget(QUrl(QStringLiteral("#fields"))),
           QUrl(QStringLiteral("qrc:/help/letter.html#fields")));
}

void HelpWindowTest::PicturesComeOnlyFromTheResources() {
  HelpWindow window;
  window.ShowPage(QStringLiteral("statuses.html"));
  HelpBrowser* browser = window.browser();
  const QVariant icon =
      browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("../icons/status/sent.svg")));
  QVERIFY(icon.canConvert<QImage>());
  const QImage image = icon.value<QImage>();
  QVERIFY(!image.isNull());
  QCOMPARE(image.deviceIndependentSize().toSize(), QSize(14, 14));
  // The check mark's green is drawn, not just the white ground.
  bool green = false;
  for (int y = 0; y < image.height() && !green; ++y) {
    for (int x = 0; x < image.width() && !green; ++x) {
      const QColor pixel = image.pixelColor(x, y);
      green = pixel.green() > 100 && pixel.red() < 60 && pixel.blue() < 60;
    }
  }
  QVERIFY(green);

  const QString outside = environment_->Write(QStringLiteral("outside.html"), "<p>not help</p>");
  QVERIFY(browser->loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile(outside)).isNull());
  QVERIFY(browser->loadResource(QTextDocument::ImageResource,
                                QUrl(QStringLiteral("http://127.0.0.1:9/picture.png")))
              .isNull());
  QVERIFY(browser->loadResource(QTextDocument::ImageResource,
                                QUrl(QStringLiteral("../icons/status/missing.svg")))
              .isNull());
}

void HelpWindowTest::HelpOpenedFromAModalDialogOutlivesIt() {
  QWidget* frame = Frame();
  frame->show();
  QPointer<HelpWindow> window;
  {
    QDialog dialog(frame);
    postrider::testing::ModalDriver driver([&](QWidget* modal) {
      ShowHelp(modal, QStringLiteral("settings.html"));
      window = HelpWindow::Current();
      static_cast<QDialog*>(modal)->reject();
    });
    dialog.exec();
    QVERIFY(driver.acted());
  }
  QVERIFY(window != nullptr);
  QCOMPARE(window->parentWidget(), frame);
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("settings.html")));
}

void HelpWindowTest::HelpRaisedFromAModalDialogIsNotBlockedByIt() {
  QWidget* frame = Frame();
  frame->show();
  ShowHelp(frame);
  HelpWindow* window = HelpWindow::Current();
  QVERIFY(window != nullptr);
  BlockedWatcher watcher;
  window->installEventFilter(&watcher);

  bool blockedByTheDialog = false;
  bool blockedAfterShowHelp = true;
  QDialog dialog(frame);
  postrider::testing::ModalDriver driver([&](QWidget* modal) {
    blockedByTheDialog = watcher.blocked;
    ShowHelp(modal, QStringLiteral("settings.html"));
    blockedAfterShowHelp = watcher.blocked;
    static_cast<QDialog*>(modal)->reject();
  });
  dialog.exec();
  QVERIFY(driver.acted());
  QVERIFY(blockedByTheDialog);
  QVERIFY(!blockedAfterShowHelp);
  QVERIFY(!watcher.blocked);
  QCOMPARE(window->browser()->source(), PageUrl(QStringLiteral("settings.html")));
  window->removeEventFilter(&watcher);
}

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"
