#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace postrider {

// Help > About Postrider: the program icon, its name and version, and OK.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QLabel* versionLabel() const { return version_; }
  QPushButton* okButton() const { return ok_; }

 private:
  QLabel* version_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// The version line of the About box.
QString VersionLine();

}  // namespace postrider
