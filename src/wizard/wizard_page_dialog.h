#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>

#include "project/project_wizard.h"
#include "views/dialog_units.h"

class QAbstractButton;
class QLabel;
class QPushButton;
class QSvgRenderer;

namespace postrider {

using ShowHelpFunction = std::function<void(const QString& page)>;

// Where a page's Cancel and "< Back" buttons sit (dialog units): the pages'
// templates differ by a unit.
struct WizardButtonColumns {
  int cancel = 176;
  int back = 215;
};

// What the four wizard pages share: the caption and size, the picture on the
// left, the rule and the Help, Cancel, "< Back" and "Next >" buttons. A page
// ends with Cancel, Back or, once its own check passes, Next.
class CWizardPageDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kBackResult = 3;
  static constexpr int kNextResult = 1000;

  ~CWizardPageDialog() override;

  // One modal run of the page.
  WizardPageResult RunModal();

  QPushButton* helpButton() const { return help_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* backButton() const { return back_; }
  QPushButton* nextButton() const { return next_; }
  const DialogUnits& units() const { return units_; }
  // Where the picture is painted, in the dialog's pixels.
  QRect pictureRect() const;
  bool hasPicture() const;

 protected:
  CWizardPageDialog(QWidget* parent, const QString& picture, WizardButtonColumns columns,
                    const ShowHelpFunction& showHelp);

  // The controls' values into the page's answers.
  virtual void SaveValues() = 0;
  // Whether Next may end the page; a page that refuses tells the user why.
  virtual bool CanGoOn() = 0;

  // Controls at their template places.
  QLabel* AddText(const QString& text, int x, int y, int width, int height);
  void Place(QWidget* control, int x, int y, int width, int height) const;
  void Name(QWidget* control, const QString& accessibleName) const;

  // A message box with an OK button; the page stays.
  void ShowMessage(const std::string& text);
  // The save kind of file dialog, so a name that does not exist yet may be given.
  std::optional<QString> BrowseForFile(const QString& title, const QString& filters,
                                       const QString& currentPath);
  // The open kind, for a file that must exist: in the folder of
  // `currentPath` when it has one, else in the home folder.
  std::optional<QString> BrowseForExistingFile(const QString& title, const QString& filters,
                                               const QString& currentPath);

  void paintEvent(QPaintEvent* event) override;

 private:
  void OnBack();
  void OnNext();

  DialogUnits units_;
  QSvgRenderer* picture_;
  QPushButton* help_;
  QPushButton* cancel_;
  QPushButton* back_;
  QPushButton* next_;
};

// A path as the user typed or chose it, as the bytes the file system knows.
std::string WizardPathBytes(const QString& path);
QString WizardPathText(const std::string& path);

}  // namespace postrider
