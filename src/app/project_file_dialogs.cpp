#include "app/project_file_dialogs.h"

#include <QFileDialog>

namespace postrider {

namespace {

std::optional<QString> RunDialog(QFileDialog& dialog) {
  dialog.setNameFilter(QStringLiteral("Project (*.prj)"));
  dialog.setDefaultSuffix(QStringLiteral("prj"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return chosen.first();
}

}  // namespace

std::optional<QString> ChooseProjectToOpen(QWidget* parent, const QString& startFolder) {
  QFileDialog dialog(parent, QStringLiteral("Open"), startFolder);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return RunDialog(dialog);
}

std::optional<QString> ChooseProjectToSave(QWidget* parent, const QString& suggested) {
  QFileDialog dialog(parent, QStringLiteral("Save As"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.selectFile(suggested);
  return RunDialog(dialog);
}

}  // namespace postrider
