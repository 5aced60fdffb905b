#include "send/attachment_run_check.h"

#include "platform/utf8_text.h"
#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "send/content_type.h"
#include "send/message_composer.h"
#include "smtp/smtp_text_encoder.h"

namespace postrider {

std::string AttachmentFolderOf(const CPostridrDoc& document) {
  const std::string& project = document.GetPathName();
  const std::size_t slash = project.rfind('/');
  if (slash == std::string::npos) return {};
  return project.substr(0, slash + 1);
}

namespace {

std::vector<std::string> FieldNamesAsUtf8(const CPostridrDoc& document) {
  std::vector<std::string> names;
  for (const std::string& name : document.GetFieldNames()) names.push_back(AsUtf8(name));
  return names;
}

}  // namespace

MessageAttachments AttachmentsOfDocument(const CPostridrDoc& document,
                                         std::shared_ptr<const CheckedFiles> checked) {
  return MessageAttachments(FieldNamesAsUtf8(document), AttachmentFolderOf(document),
                            std::move(checked));
}

std::string AttachmentProblemsText(const std::vector<AttachmentProblem>& problems) {
  std::string text = "Nothing was sent: these attachments cannot go.";
  for (const AttachmentProblem& problem : problems) {
    text += "\n";
    text += problem.ForEveryEntry() ? std::string("Every entry")
                                    : "Entry " + EntryNumberText(problem.entry) + ", " + problem.recipient;
    if (!problem.path.empty()) text += ": " + problem.path;
    text += ": " + problem.reason;
  }
  return text;
}

int UnselectEntriesWithProblems(CPostridrDoc& document,
                                const std::vector<AttachmentProblem>& problems) {
  int unselected = 0;
  for (const AttachmentProblem& problem : problems) {
    // An entry with two problems is named twice, and unselected once.
    if (problem.ForEveryEntry() || document.IsEntrySelected(problem.entry) == 0) continue;
    document.ToggleEntrySelection(problem.entry);
    ++unselected;
  }
  return unselected;
}

RunAttachmentCheck CheckRunAttachments(CPostridrDoc& document, const std::vector<int>& entries,
                                       const UserSettings& settings,
                                       std::optional<std::uint64_t> sizeLimit) {
  document.UpdateFromMessageViews();
  AttachmentCheck check(AsUtf8(document.GetBody()), FieldNamesAsUtf8(document),
                        {AttachmentFolderOf(document), sizeLimit});
  RunAttachmentCheck result;
  result.hasAttachments = check.HasAttachments();
  // None checked: a line the letter gains during the run is refused, never
  // sent without its file.
  result.checked = std::make_shared<const CheckedFiles>();
  if (!check.HasAttachments()) return result;
  // Without libmagic no file can go; one problem says so, not one a file.
  if (Status types = ContentTypesAvailable(); !types) {
    result.problems.push_back({AttachmentProblem::kEveryEntry, {}, {}, types.message()});
    return result;
  }
  MessageComposer composer;
  ComposedMessage composed;
  for (const int entry : entries) {
    // A fixed date and identifier: only the message's size is wanted.
    composer.Compose(document, entry, settings, 0, "<check@postrider.invalid>", composed);
    check.CheckEntry(entry, composed.recipient, composed.values,
                     SmtpTextEncoder::MessageSize(composed.text));
  }
  result.problems = check.problems();
  result.checked = std::make_shared<const CheckedFiles>(check.TakeCheckedFiles());
  return result;
}

}  // namespace postrider
