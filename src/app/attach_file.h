#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace postrider {

class CPostridrDoc;
class IUserPrompts;

// Message > Attach...: an Open dialog titled "Attach" for an existing file,
// starting in `startFolder`. Nothing when the user cancels.
std::optional<QString> ChooseFileToAttach(QWidget* parent, const QString& startFolder);

// Attach... as a whole: the chosen file's attachment line goes at the very
// start of the letter's text. A path an attachment line cannot carry is
// refused with a message saying why.
void AttachFile(CPostridrDoc& document, IUserPrompts& prompts, QWidget* parent);

}  // namespace postrider
