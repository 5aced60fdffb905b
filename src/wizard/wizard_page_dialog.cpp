#include "wizard/wizard_page_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

#include "views/display_text.h"
#include "views/shared_fonts.h"

namespace postrider {

namespace {

constexpr int kDialogWidth = 290;
constexpr int kDialogHeight = 150;
constexpr int kRuleTop = 127;
constexpr int kButtonTop = 132;
constexpr int kButtonWidth = 35;
constexpr int kButtonHeight = 14;
constexpr int kHelpColumn = 138;
constexpr int kNextColumn = 250;

// The picture's place in pixels, drawn for a dialog font 13 pixels high
// with letters 6 pixels wide on average.
constexpr int kPictureLeft = 20;
constexpr int kPictureTop = 10;
constexpr int kPictureWidth = 150;
constexpr int kPictureHeight = 185;
constexpr double kPictureFontHeight = 13.0;
constexpr double kPictureCharWidth = 6.0;

}  // namespace

CWizardPageDialog::CWizardPageDialog(QWidget* parent, const QString& picture,
                                     WizardButtonColumns columns, const ShowHelpFunction& showHelp)
    : QDialog(parent),
      units_(font()),
      picture_(new QSvgRenderer(this)),
      help_(new QPushButton(QStringLiteral("Help"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      back_(new QPushButton(QStringLiteral("< Back"), this)),
      next_(new QPushButton(QStringLiteral("Next >"), this)) {
  setWindowTitle(QStringLiteral("Postrider Project Wizard"));
  setAccessibleName(windowTitle());
  setFixedSize(units_.ToPixels(kDialogWidth, kDialogHeight));
  setSizeGripEnabled(false);

  // A missing picture is drawn as nothing.
  if (QFile::exists(picture)) picture_->load(picture);

  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule->setGeometry(0, units_.ToPixelsY(kRuleTop), width(), std::max(2, units_.ToPixelsY(1)));
  rule->setAccessibleName(QStringLiteral("Separator"));

  Place(help_, kHelpColumn, kButtonTop, kButtonWidth, kButtonHeight);
  Place(cancel_, columns.cancel, kButtonTop, kButtonWidth, kButtonHeight);
  Place(back_, columns.back, kButtonTop, kButtonWidth, kButtonHeight);
  Place(next_, kNextColumn, kButtonTop, kButtonWidth, kButtonHeight);
  Name(help_, QStringLiteral("Help"));
  Name(cancel_, QStringLiteral("Cancel"));
  Name(back_, QStringLiteral("Back"));
  Name(next_, QStringLiteral("Next"));
  next_->setDefault(true);

  help_->setEnabled(static_cast<bool>(showHelp));
  if (showHelp) {
    connect(help_, &QPushButton::clicked, this,
            [showHelp] { showHelp(QStringLiteral("wizard.html")); });
  }
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(back_, &QPushButton::clicked, this, &CWizardPageDialog::OnBack);
  connect(next_, &QPushButton::clicked, this, &CWizardPageDialog::OnNext);
}

CWizardPageDialog::~CWizardPageDialog() = default;

WizardPageResult CWizardPageDialog::RunModal() {
  // At start-up the main window is not shown yet; centring on it would put
  // the page wherever the hidden window happens to be.
  QWidget* owner = parentWidget();
  if (owner == nullptr || !owner->isVisible()) {
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  }
  switch (exec()) {
    case kBackResult:
      return WizardPageResult::Back;
    case kNextResult:
      return WizardPageResult::Next;
    default:
      return WizardPageResult::Cancel;  // Cancel, Esc or the window's close button
  }
}

void CWizardPageDialog::OnBack() {
  SaveValues();
  done(kBackResult);
}

void CWizardPageDialog::OnNext() {
  SaveValues();
  if (CanGoOn()) done(kNextResult);
}

QLabel* CWizardPageDialog::AddText(const QString& text, int x, int y, int width, int height) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(label, x, y, width, height);
  Name(label, text);
  return label;
}

void CWizardPageDialog::Place(QWidget* control, int x, int y, int width, int height) const {
  control->setGeometry(units_.ToPixels(x, y, width, height));
}

void CWizardPageDialog::Name(QWidget* control, const QString& accessibleName) const {
  control->setAccessibleName(accessibleName);
}

void CWizardPageDialog::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Postrider"), ShownText(text),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

std::optional<QString> CWizardPageDialog::BrowseForFile(const QString& title,
                                                        const QString& filters,
                                                        const QString& currentPath) {
  QFileDialog dialog(this, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  // The dialog only names a file: nothing is written to it.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters(filters.split(QStringLiteral(";;")));
  if (!currentPath.isEmpty()) {
    const QFileInfo current(currentPath);
    if (current.absoluteDir().exists()) dialog.setDirectory(current.absoluteDir());
    dialog.selectFile(current.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front();
}

std::optional<QString> CWizardPageDialog::BrowseForExistingFile(const QString& title,
                                                                const QString& filters,
                                                                const QString& currentPath) {
  QFileDialog dialog(this, title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(filters.split(QStringLiteral(";;")));
  const QFileInfo current(currentPath);
  if (!currentPath.isEmpty() && current.absoluteDir().exists()) {
    dialog.setDirectory(current.absoluteDir());
    dialog.selectFile(current.fileName());
  } else {
    dialog.setDirectory(QDir::homePath());
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front();
}

QRect CWizardPageDialog::pictureRect() const {
  // A larger dialog font (or the desktop's font scaling) enlarges the
  // picture with the controls, so it keeps clear of them.
  const double fontScale = std::min(units_.baseHeight() / kPictureFontHeight,
                                    units_.baseWidth() / kPictureCharWidth);
  const double scale = std::max({1.0, DesktopFontScale(), fontScale});
  const auto scaled = [scale](int pixels) { return static_cast<int>(std::lround(pixels * scale)); };
  return QRect(scaled(kPictureLeft), scaled(kPictureTop), scaled(kPictureWidth),
               scaled(kPictureHeight));
}

bool CWizardPageDialog::hasPicture() const { return picture_->isValid(); }

void CWizardPageDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!picture_->isValid()) return;
  QPainter painter(this);
  picture_->render(&painter, QRectF(pictureRect()));
}

std::string WizardPathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString WizardPathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace postrider
