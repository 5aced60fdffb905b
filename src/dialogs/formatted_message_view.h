#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTextBrowser>
#include <QWidget>

#include <map>

class QPlainTextEdit;
class QRadioButton;
class QStackedWidget;

namespace postrider {

// Shows a message's HTML as a mail program would, with the pictures it
// carries (cid:) and nothing fetched from anywhere else: no remote picture,
// no local file, no link followed.
class CarriedContentBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  explicit CarriedContentBrowser(QWidget* parent = nullptr);

  // Content-ID (without angle brackets) to the picture's bytes.
  void SetCarried(std::map<QString, QByteArray> pictures);

  QVariant loadResource(int type, const QUrl& name) override;
  // Puts a short text where a carried picture of the shown document will not
  // decode (too large for Qt's image memory, or no picture at all).
  void ReplaceUnshownPictures();

 private:
  struct Decoded {
    QByteArray bytes;
    QImage image;  // null when the bytes are no picture Qt can show
  };

  std::map<QString, QByteArray> carried_;
  // The letter's pictures come with every entry's message: stepping through
  // the entries decodes them once, not again at every step.
  std::map<QString, Decoded> decoded_;
};

// A formatted message in Preview: its HTML part as it renders, and, on a
// switch, its plain text part.
class FormattedMessageView : public QWidget {
  Q_OBJECT

 public:
  explicit FormattedMessageView(QWidget* parent = nullptr);

  void SetParts(const QString& html, const QString& text,
                std::map<QString, QByteArray> pictures);
  void ShowTextPart(bool text);

  CarriedContentBrowser* htmlView() const { return html_; }
  QPlainTextEdit* textView() const { return text_; }
  QRadioButton* formattedButton() const { return formatted_; }
  QRadioButton* textButton() const { return plain_; }

 private:
  CarriedContentBrowser* html_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QRadioButton* formatted_ = nullptr;
  QRadioButton* plain_ = nullptr;
};

}  // namespace postrider
