#include "app/attach_file.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "platform/user_prompts.h"
#include "project/postridr_doc.h"
#include "send/attachment_lines.h"
#include "views/display_text.h"

namespace postrider {

std::optional<QString> ChooseFileToAttach(QWidget* parent, const QString& startFolder) {
  QFileDialog dialog(parent, QStringLiteral("Attach"), startFolder);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QStringLiteral("All Files (*)"));
  dialog.setOption(QFileDialog::ReadOnly);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return chosen.first();
}

void AttachFile(CPostridrDoc& document, IUserPrompts& prompts, QWidget* parent) {
  if (document.IsReadOnly()) return;
  // Files usually sit near the project; a new one starts at home.
  const std::string& project = document.GetPathName();
  const QString start = project.empty() ? QDir::homePath() : QFileInfo(ShownPath(project)).absolutePath();
  const std::optional<QString> chosen = ChooseFileToAttach(parent, start);
  if (!chosen) return;
  const Result<std::string> line = AttachmentLineFor(PathBytes(QFileInfo(*chosen).absoluteFilePath()));
  if (!line) {
    prompts.ShowMessage(line.status().message(), MessageIcon::Warning);
    return;
  }
  document.InsertAtMessageStart(*line);
}

}  // namespace postrider
