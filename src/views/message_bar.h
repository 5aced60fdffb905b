#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QPushButton;
class QToolButton;

namespace postrider {

// A warning shown in the window itself, above what it is about, with one
// button that puts it right and one that puts the bar away: nothing modal,
// so the user may go on and answer it when they choose.
class MessageBar : public QFrame {
  Q_OBJECT

 public:
  // `name` is what a screen reader calls the bar; `actionText` the button's text.
  MessageBar(const QString& name, const QString& actionText, QWidget* parent = nullptr);

  void SetText(const QString& text);
  QString text() const;
  // Shows the bar and tells a screen reader of it; nothing when already shown.
  void Announce();

  QLabel* textLabel() const { return text_; }
  QPushButton* actionButton() const { return action_; }
  QToolButton* closeButton() const { return close_; }

 signals:
  void actionTriggered();
  // The user put the bar away.
  void dismissed();

 private:
  void ApplyColours();

  QLabel* icon_;
  QLabel* text_;
  QPushButton* action_;
  QToolButton* close_;
};

}  // namespace postrider
