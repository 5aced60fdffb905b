#include "app/help_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace postrider {

namespace {

const QString kHelpFolder = QStringLiteral("/help/");
const QString kContentsPage = QStringLiteral("index.html");

QUrl HelpUrl(const QString& page) { return QUrl(QStringLiteral("qrc:") + kHelpFolder + page); }

bool IsResource(const QUrl& url) { return url.scheme() == QLatin1String("qrc"); }

bool IsHelpPage(const QUrl& url) {
  const QString path = url.path();
  return IsResource(url) && path.startsWith(kHelpFolder) &&
         path.endsWith(QLatin1String(".html")) && QFile::exists(QLatin1Char(':') + path);
}

// An SVG drawn for the screen's pixel ratio, so icons in the help text stay
// sharp on a HiDPI screen.
QImage RenderSvg(const QByteArray& bytes, qreal ratio) {
  QSvgRenderer renderer(bytes);
  if (!renderer.isValid()) return {};
  const QSize size = renderer.defaultSize();
  QImage image(QSize(static_cast<int>(std::lround(size.width() * ratio)),
                     static_cast<int>(std::lround(size.height() * ratio))),
               QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  image.setDevicePixelRatio(ratio);
  return image;
}

// The window a help window may belong to: not a dialog, which is gone as
// soon as it closes, but the window under it.
QWidget* LastingOwner(QWidget* parent) {
  QWidget* owner = parent != nullptr ? parent->window() : nullptr;
  while (owner != nullptr && qobject_cast<QDialog*>(owner) != nullptr) {
    QWidget* under = owner->parentWidget();
    owner = under != nullptr ? under->window() : nullptr;
  }
  return owner;
}

QPushButton* MakeButton(const QString& text, const QString& accessibleName,
                        const QString& description, QStyle::StandardPixmap icon, QWidget* parent) {
  auto* button = new QPushButton(parent->style()->standardIcon(icon), text, parent);
  button->setAccessibleName(accessibleName);
  button->setAccessibleDescription(description);
  button->setToolTip(description);
  button->setAutoDefault(false);
  return button;
}

// Forgets the modal dialog the help window was kept usable above, once it is gone.
class ModalWatcher : public QObject {
 public:
  static constexpr const char* kName = "postrider-help-modal-watcher";

  ModalWatcher(QWidget* modal, QWidget* helpWindow) : QObject(modal), helpWindow_(helpWindow) {
    setObjectName(QLatin1String(kName));
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched == parent()) {
      if (helpWindow_ != nullptr && helpWindow_->windowHandle() != nullptr) {
        QWidget* owner = helpWindow_->parentWidget();
        helpWindow_->windowHandle()->setTransientParent(
            owner != nullptr ? owner->window()->windowHandle() : nullptr);
      }
      deleteLater();
    }
    return false;
  }

 private:
  QPointer<QWidget> helpWindow_;
};

// Qt gives a plain widget window the role of a pane, so a screen reader
// would not announce the help as a window of its own.
QAccessibleInterface* HelpWindowFactory(const QString& className, QObject* object) {
  if (className != QLatin1String(HelpWindow::staticMetaObject.className())) return nullptr;
  auto* window = qobject_cast<QWidget*>(object);
  return window != nullptr ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
}

}  // namespace

// ---- browser ------------------------------------------------------------------

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
  // Links are judged here rather than by QTextBrowser, which would try any URL.
  setOpenLinks(false);
  setOpenExternalLinks(false);
  setAccessibleName(QStringLiteral("Help page"));
  connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::FollowLink);
}

// A relative name is taken from the page shown, or from the help folder
// before any page is: every page lies there.
QUrl HelpBrowser::Resolved(const QUrl& name) const {
  if (!name.isRelative()) return name;
  return (source().isEmpty() ? HelpUrl(kContentsPage) : source()).resolved(name);
}

QUrl HelpBrowser::HelpTarget(const QUrl& link) const {
  const QUrl target = Resolved(link);
  return IsHelpPage(target) ? target : QUrl();
}

void HelpBrowser::FollowLink(const QUrl& link) {
  const QUrl target = HelpTarget(link);
  if (target.isValid()) setSource(target);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
  const QUrl url = Resolved(name);
  if (!IsResource(url)) return {};
  QFile file(QLatin1Char(':') + url.path());
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  if (type == QTextDocument::ImageResource && url.path().endsWith(QLatin1String(".svg"))) {
    return RenderSvg(bytes, devicePixelRatioF());
  }
  if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource) {
    return QString::fromUtf8(bytes);
  }
  return bytes;
}

// ---- window -------------------------------------------------------------------

QPointer<HelpWindow> HelpWindow::current_;

HelpWindow* HelpWindow::Current() { return current_.data(); }

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  static const bool accessible = [] {
    QAccessible::installFactory(HelpWindowFactory);
    return true;
  }();
  (void)accessible;
  setWindowTitle(QStringLiteral("Postrider Help"));
  setAccessibleName(QStringLiteral("Postrider Help"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/postrider.svg")));
  // The help window alone never keeps the program running.
  setAttribute(Qt::WA_QuitOnClose, false);

  contentsButton_ = MakeButton(QStringLiteral("&Contents"), QStringLiteral("Contents"),
                               QStringLiteral("Show the list of help topics"),
                               QStyle::SP_DirHomeIcon, this);
  backButton_ = MakeButton(QStringLiteral("&Back"), QStringLiteral("Back"),
                           QStringLiteral("Show the page shown before"),
                           QStyle::SP_ArrowBack, this);
  forwardButton_ = MakeButton(QStringLiteral("&Forward"), QStringLiteral("Forward"),
                              QStringLiteral("Show the next page again"),
                              QStyle::SP_ArrowForward, this);
  backButton_->setEnabled(false);
  forwardButton_->setEnabled(false);

  browser_ = new HelpBrowser(this);
  browser_->setFrameShape(QFrame::StyledPanel);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(contentsButton_);
  buttons->addWidget(backButton_);
  buttons->addWidget(forwardButton_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_, 1);

  connect(contentsButton_, &QPushButton::clicked, this, [this] { ShowPage(kContentsPage); });
  connect(backButton_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forwardButton_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, backButton_, &QPushButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forwardButton_, &QPushButton::setEnabled);

  auto addShortcut = [this](QKeySequence::StandardKey key, auto slot) {
    auto* action = new QAction(this);
    action->setShortcuts(key);
    addAction(action);
    connect(action, &QAction::triggered, this, slot);
  };
  addShortcut(QKeySequence::Back, [this] { browser_->backward(); });
  addShortcut(QKeySequence::Forward, [this] { browser_->forward(); });
  addShortcut(QKeySequence::Close, [this] { close(); });

  // Room for a page of text, but never more than the screen holds.
  QSize size(760, 640);
  if (const QScreen* screen = this->screen(); screen != nullptr) {
    const QSize room = screen->availableSize() * 9 / 10;
    size = size.boundedTo(room);
  }
  resize(size);
}

void HelpWindow::ShowPage(const QString& page) {
  QUrl target = HelpUrl(page.section(QLatin1Char('#'), 0, 0));
  if (!IsHelpPage(target)) target = HelpUrl(kContentsPage);
  const QString anchor = page.section(QLatin1Char('#'), 1);
  if (!anchor.isEmpty()) target.setFragment(anchor);
  browser_->setSource(target);
}

void HelpWindow::KeepUsableAbove(QWidget* modal) {
  if (modal == nullptr || modal == this || windowHandle() == nullptr) return;
  modal->winId();  // makes its window handle
  if (modal->windowHandle() == nullptr) return;
  windowHandle()->setTransientParent(modal->windowHandle());
  const QString watcherName = QLatin1String(ModalWatcher::kName);
  if (modal->findChild<QObject*>(watcherName, Qt::FindDirectChildrenOnly) == nullptr) {
    modal->installEventFilter(new ModalWatcher(modal, this));
  }
}

void ShowHelp(QWidget* parent, const QString& page) {
  HelpWindow* window = HelpWindow::current_;
  if (window == nullptr) {
    QWidget* owner = LastingOwner(parent);
    window = new HelpWindow(owner);
    // Without an owner nothing else would ever delete it.
    if (owner == nullptr) window->setAttribute(Qt::WA_DeleteOnClose);
    HelpWindow::current_ = window;
  }
  window->ShowPage(page);
  window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->KeepUsableAbove(QApplication::activeModalWidget());
  window->raise();
  window->activateWindow();
}

}  // namespace postrider
