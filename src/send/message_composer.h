#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "project/postridr_doc.h"
#include "send/letter_composer.h"
#include "send/merge_fields.h"
#include "send/message_date.h"
#include "send/message_id.h"
#include "send/user_settings.h"

namespace postrider {

// One recipient's message, and the buffers composing it reuses from one
// message to the next.
struct ComposedMessage {
  std::string text;                      // what goes after DATA, before dot-stuffing
  std::string recipient;                 // the envelope recipient (UTF-8), as the To: line names it
  bool recipientValid = false;           // IsValidAddress(recipient), asked once a message
  // With letter options: the Cc and Bcc recipients, RCPT TO after the main
  // one; and why the options cannot make this message (it must not go).
  std::vector<std::string> copies;
  std::string problem;
  // The list file was written to before the entry's values were read: they
  // may be someone else's, so the message must not go (problem says why).
  bool listChanged = false;
  bool formatted = false;  // the body is multipart/alternative or multipart/related
  std::vector<std::string> attachments;  // the attachment lines' paths as written, at most 11
  // Why the files it carries cannot go (a run's message only); empty when they can.
  std::string attachmentFault;

  // Working buffers: the entry's values; those the letter merges in, as
  // UTF-8 (the others empty); the merged body before encoding, when the
  // body does not go as it is (encoded, formatted, or with attachments).
  ListRecord record;
  std::vector<std::string> values;
  std::string body;
};

// The envelope recipient: the entry's value of the email field, "" when the
// project has no email field or the entry cannot be read.
std::string GetRecipientAddress(CPostridrDoc& doc, int entry);

// Composes the messages of a send run. What every recipient's message shares
// (the letter read as UTF-8 with its merge fields found, how far the letter
// alone decides the transfer encoding, the From and Subject lines, the Date
// within one second, the Message-ID's domain) is worked out once, and again
// whenever the letter, the field names, the subject or the sender differ
// from the last message's: an edit made during a run reaches the next
// message. Every message is byte for byte what a fresh composer makes.
class MessageComposer {
 public:
  // Composes entry `entry`'s message into `out`, after the document has
  // taken the message views' contents. Headers, in order: To, From, Subject,
  // Date, Message-ID, and the MIME headers when the body needs
  // quoted-printable (it has 8-bit bytes, a NUL or a line over 998 bytes);
  // then an empty line and the merged body. Date is the current local time;
  // Message-ID is new. Each piece (the letter, the subject, every field name
  // and value, the sender's name) is read as UTF-8 when it is valid UTF-8,
  // else as Windows-1252, so the message is UTF-8 throughout whatever mix of
  // encodings the letter and the list were saved in. The To: line gives a
  // non-ASCII domain in its ASCII form.
  void Compose(CPostridrDoc& doc, int entry, const UserSettings& settings, ComposedMessage& out);
  // The same with a given time for Date and a given Message-ID value (with
  // its angle brackets), so that a message can be compared byte for byte.
  void Compose(CPostridrDoc& doc, int entry, const UserSettings& settings, std::time_t date,
               std::string_view messageId, ComposedMessage& out);

 private:
  // Composes all but the Date and Message-ID lines, which `stamp` appends.
  template <typename Stamp>
  void ComposeWith(CPostridrDoc& doc, int entry, const UserSettings& settings, Stamp stamp,
                   ComposedMessage& out);
  void TakeLetter(const CPostridrDoc& doc);
  void TakeSender(const UserSettings& settings);
  void TakeSubject(const std::string& subject);

  // Each as the document or the settings held it when it was worked out.
  bool haveLetter_ = false;
  std::string body_;
  std::vector<std::string> fieldNames_;
  MergeTemplate letter_;

  bool haveSender_ = false;
  std::string realName_;
  std::string returnAddress_;
  std::string fromLine_;
  std::string returnAddressUtf8_;

  bool haveSubject_ = false;
  std::string subject_;
  std::string subjectLine_;

  // Only called when the project sets letter options.
  LetterComposer letterOptions_;

  MessageDateText date_;
  MessageIds ids_;
};

// One message composed by a composer of its own, for a preview or a single
// message.
void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings,
                    ComposedMessage& out);
void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings, std::time_t date,
                    std::string_view messageId, ComposedMessage& out);

}  // namespace postrider
