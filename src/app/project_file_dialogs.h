#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace postrider {

// The file dialogs for project files: the "Project (*.prj)" filter, and a
// name typed without an extension gets ".prj". The desktop's own dialog is
// used when there is one (tests ask for Qt's with AA_DontUseNativeDialogs).
// Nothing when the user cancels.
std::optional<QString> ChooseProjectToOpen(QWidget* parent, const QString& startFolder);
// `suggested` is a file name, or a whole path whose folder the dialog opens in.
std::optional<QString> ChooseProjectToSave(QWidget* parent, const QString& suggested);

}  // namespace postrider
