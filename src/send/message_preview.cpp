#include "send/message_preview.h"

#include "project/address_check.h"
#include "project/postridr_doc.h"
#include "send/message_composer.h"
#include "smtp/envelope_address.h"
#include "smtp/smtp_wording.h"

namespace postrider {

namespace {

constexpr const char* kShownHeaders[] = {"To", "From", "Subject", "Date"};

// The same checks the run makes before a message goes, in its order.
std::string SkipReason(const CPostridrDoc& document, int entry, const std::string& address) {
  if (document.IsEntrySelected(entry) == 0) return "This entry is not selected: Send passes it by.";
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

}  // namespace

MessagePreview PreviewMessage(CPostridrDoc& document, int entry, const UserSettings& settings) {
  MessagePreview preview;
  preview.entry = entry;
  ComposedMessage composed;
  ComposeMessage(document, entry, settings, composed);
  preview.recipient = composed.recipient;
  preview.skipReason = SkipReason(document, entry, composed.recipient);
  preview.message = DecodeMessage(composed.text);
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
