#include "send/message_preview.h"

#include "project/address_check.h"
#include "project/postridr_doc.h"
#include "send/attachment_file.h"
#include "send/attachment_lines.h"
#include "send/attachment_path.h"
#include "send/attachment_run_check.h"
#include "send/content_type.h"
#include "send/message_composer.h"
#include "smtp/envelope_address.h"
#include "smtp/smtp_wording.h"

namespace postrider {

namespace {

constexpr const char* kShownHeaders[] = {"To", "From", "Subject", "Date"};

// The same checks the run makes before a message goes, in its order.
std::string SkipReason(const CPostridrDoc& document, int entry, const std::string& address,
                       bool listChanged) {
  if (document.IsEntrySelected(entry) == 0) return "This entry is not selected: Send passes it by.";
  // Values read from a rewritten list are not this entry's: they settle
  // nothing about it.
  if (listChanged) return "Send would stop at this entry: " + document.ListChangedText();
  const std::string shown = "\"" + PrintableText(address) + "\"";
  if (!IsValidAddress(address)) {
    return "Send would skip this entry: " + shown + " is not a valid e-mail address.";
  }
  if (!IsSafeEnvelopeAddress(address)) {
    return "Send would skip this entry: " + shown +
           " holds characters that cannot go into a mail command.";
  }
  if (Result<EnvelopeAddress> envelope = PrepareEnvelopeAddress(address); !envelope) {
    return "Send would skip this entry: " + envelope.status().message();
  }
  return {};
}

// The files as the check before a run finds them for this entry.
std::vector<PreviewAttachment> AttachmentsOf(const ComposedMessage& composed,
                                             const MessageAttachments& files) {
  std::vector<PreviewAttachment> attachments;
  const std::vector<AttachmentPath> paths = files.PathsOf(composed);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    PreviewAttachment shown{paths[i].FileName(), paths[i].path, {}, 0, {}};
    if (i >= kMaxAttachmentLines) {
      shown.problem = "a message carries at most " + std::to_string(kMaxAttachmentLines) + " files";
    } else if (Status types = ContentTypesAvailable(); !types) {
      shown.problem = types.message();
    } else if (Result<AttachmentFile> file = OpenAttachmentFile(paths[i]); file) {
      shown.contentType = ContentTypeOfFile(file->fd());
      shown.size = file->size();
    } else {
      shown.problem = file.status().message();
    }
    attachments.push_back(std::move(shown));
  }
  return attachments;
}

}  // namespace

MessagePreview PreviewMessage(CPostridrDoc& document, int entry, const UserSettings& settings) {
  MessagePreview preview;
  preview.entry = entry;
  ComposedMessage composed;
  ComposeMessage(document, entry, settings, composed);
  preview.recipient = composed.recipient;
  preview.listChanged = composed.listChanged;
  // The composer's words for a changed list speak of a run already going.
  preview.problem = composed.listChanged ? document.ListChangedText() : composed.problem;
  preview.skipReason = SkipReason(document, entry, composed.recipient, composed.listChanged);
  preview.attachments = AttachmentsOf(composed, AttachmentsOfDocument(document));
  if (preview.skipReason.empty()) {
    for (const PreviewAttachment& attachment : preview.attachments) {
      if (attachment.problem.empty()) continue;
      preview.skipReason =
          "An attachment of this entry cannot go (listed below): Send names it before the run "
          "begins, to unselect this entry or to cancel.";
      break;
    }
  }
  preview.message = ReadMimeMessage(composed.text);
  for (const char* name : kShownHeaders) {
    preview.text += std::string(name) + ": " + preview.message.Header(name) + "\n";
  }
  preview.text += "\n" + preview.message.body;
  preview.formatted = ReadFormattedParts(composed.text);
  return preview;
}

int NextSelectedEntry(const CPostridrDoc& document, int from, int step) {
  const int entries = document.GetEntryCount();
  for (int i = from + step; i >= 0 && i < entries; i += step) {
    if (document.IsEntrySelected(i) != 0) return i;
  }
  return -1;
}

}  // namespace postrider
