#pragma once

#include <QPointer>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

class QPushButton;

namespace postrider {

// Opens the program's help at `page` (a file of :/help/, with an optional
// "#anchor"), in the one help window: made on first use, raised afterwards.
// An unknown page shows the contents page instead.
void ShowHelp(QWidget* parent, const QString& page = QStringLiteral("index.html"));

// The page browser: it shows only what the program's resources hold, so no
// help page can make it read a file or reach the network.
class HelpBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  explicit HelpBrowser(QWidget* parent = nullptr);

  // Where a link leads, resolved against the page shown; empty when it
  // leaves the help pages or names none that exists.
  QUrl HelpTarget(const QUrl& link) const;

  QVariant loadResource(int type, const QUrl& name) override;

 private:
  QUrl Resolved(const QUrl& name) const;
  void FollowLink(const QUrl& link);
};

// The help window: Contents, Back and Forward over the page browser.
class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows `page`, or the contents page when there is no such page.
  void ShowPage(const QString& page);

  HelpBrowser* browser() const { return browser_; }
  QPushButton* contentsButton() const { return contentsButton_; }
  QPushButton* backButton() const { return backButton_; }
  QPushButton* forwardButton() const { return forwardButton_; }

  // The window ShowHelp uses; null before the first call and after it closed
  // with its parent.
  static HelpWindow* Current();

 private:
  friend void ShowHelp(QWidget* parent, const QString& page);

  // Lets the window be used while a modal dialog (one whose Help button
  // opened it, say) blocks every other window.
  void KeepUsableAbove(QWidget* modal);

  HelpBrowser* browser_ = nullptr;
  QPushButton* contentsButton_ = nullptr;
  QPushButton* backButton_ = nullptr;
  QPushButton* forwardButton_ = nullptr;

  static QPointer<HelpWindow> current_;
};

}  // namespace postrider
