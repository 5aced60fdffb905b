#pragma once

#include <string>

namespace postrider {

enum class MessageFormat { Text, Markdown };

// How each recipient's message is made beyond the letter itself. Every
// option is off by default, and a project that turns none on sends exactly
// the plain message it always sent.
struct LetterOptions {
  MessageFormat format = MessageFormat::Text;  // MessageFormat: text or markdown
  bool mergeSubject = false;                   // MergeSubject: fields filled in the subject
  std::string ccField;            // CcField: the list field with each entry's Cc addresses
  std::string bccField;           // BccField: the same, for the envelope only
  std::string bcc;                // Bcc: a fixed address every message also goes to
  std::string replyTo;            // ReplyTo
  std::string unsubscribeMailto;  // UnsubscribeMailto: an address, merge fields allowed
  std::string unsubscribeUrl;     // UnsubscribeUrl: an https address, merge fields allowed

  bool operator==(const LetterOptions&) const = default;
  // Whether any option is on; asked for every message, so no default
  // instance is built to compare with.
  bool AnyOn() const {
    return format != MessageFormat::Text || mergeSubject || !ccField.empty() ||
           !bccField.empty() || !bcc.empty() || !replyTo.empty() || !unsubscribeMailto.empty() ||
           !unsubscribeUrl.empty();
  }
};

}  // namespace postrider
