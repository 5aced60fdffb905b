#pragma once

#include <QString>
#include <QTextCursor>
#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QToolButton;

namespace postrider {

struct MarkedText;

// A row of buttons over a Markdown letter: bold, italic, heading, list, link
// and picture. Each writes its marks around the selection of the letter's
// edit, as one step of Undo.
class FormatBar : public QWidget {
  Q_OBJECT

 public:
  // Asks for a picture file; an empty string when the user chose none.
  using PictureChooser = std::function<QString()>;

  FormatBar(QPlainTextEdit& edit, QWidget* parent = nullptr);

  // The folder the picture dialog opens in: the letter's, as its relative
  // paths start there; an empty string for the home folder.
  using FolderFunction = std::function<QString()>;

  // Replaces the file dialog (tests).
  void SetPictureChooser(PictureChooser chooser) { choosePicture_ = std::move(chooser); }
  void SetPictureFolder(FolderFunction folder) { pictureFolder_ = std::move(folder); }

  QToolButton* boldButton() const { return bold_; }
  QToolButton* italicButton() const { return italic_; }
  QToolButton* headingButton() const { return heading_; }
  QToolButton* listButton() const { return list_; }
  QToolButton* linkButton() const { return link_; }
  QToolButton* pictureButton() const { return picture_; }

 private:
  QToolButton* MakeButton(const QString& text, const QString& name, const QString& tip);
  // Puts `marked` where the cursor's selection was and selects its part.
  void Replace(QTextCursor cursor, const MarkedText& marked);
  void Wrap(const QString& mark);
  void Prefix(const QString& prefix);
  void Link();
  void Picture();

  QPlainTextEdit& edit_;
  PictureChooser choosePicture_;
  FolderFunction pictureFolder_;
  QToolButton* bold_ = nullptr;
  QToolButton* italic_ = nullptr;
  QToolButton* heading_ = nullptr;
  QToolButton* list_ = nullptr;
  QToolButton* link_ = nullptr;
  QToolButton* picture_ = nullptr;
};

}  // namespace postrider
