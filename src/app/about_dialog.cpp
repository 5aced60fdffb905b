#include "app/about_dialog.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "views/dialog_units.h"
#include "app/version.h"

namespace postrider {

namespace {
constexpr int kWidthUnits = 217;
constexpr int kHeightUnits = 55;
}  // namespace

QString VersionLine() {
  return QStringLiteral("Version %1.%2").arg(kVersionMajor).arg(kVersionMinor);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Postrider"));
  setAccessibleName(windowTitle());
  const DialogUnits units(font());
  // The box ends a margin below the rule: the template's 123 units of height
  // left more than half of it empty.
  setFixedSize(units.ToPixels(kWidthUnits, kHeightUnits));

  auto* icon = new QLabel(this);
  const QRect iconBox = units.ToPixels(10, 10, 21, 20);
  icon->setGeometry(iconBox);
  // The window system draws a dialog's icon at its standard size, whatever the box.
  const int side = std::min({iconBox.width(), iconBox.height(), 32});
  icon->setPixmap(QIcon(QStringLiteral(":/icons/postrider.svg")).pixmap(side, side));
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  icon->setAccessibleName(QStringLiteral("Postrider icon"));

  auto* name = new QLabel(QStringLiteral("Postrider"), this);
  name->setGeometry(units.ToPixels(40, 10, 119, 8));
  name->setAccessibleName(name->text());

  version_ = new QLabel(VersionLine(), this);
  version_->setGeometry(units.ToPixels(40, 19, 119, 8));
  version_->setAccessibleName(version_->text());

  auto* rule = new QFrame(this);
  rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  QRect ruleBox = units.ToPixels(39, 47, 171, 1);
  ruleBox.setHeight(std::max(2, ruleBox.height()));
  rule->setGeometry(ruleBox);
  rule->setAccessibleName(QStringLiteral("Separator"));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(units.ToPixels(171, 7, 40, 14));
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  ok_->setAccessibleName(QStringLiteral("OK"));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  ok_->setFocus();
}

}  // namespace postrider
