#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "project/postridr_doc.h"
#include "send/user_settings.h"

namespace postrider {

// One recipient's message, and the buffers composing it reuses from one
// message to the next.
struct ComposedMessage {
  std::string text;                      // what goes after DATA, before dot-stuffing
  std::string recipient;                 // the envelope recipient (UTF-8), as the To: line names it
  std::vector<std::string> attachments;  // paths of the attachment lines, at most 10

  // Working buffers: the entry's values, and every piece of the message as
  // UTF-8, then the merged body before encoding.
  ListRecord record;
  std::vector<std::string> values;
  std::vector<std::string> fieldNames;
  std::string letter;
  std::string body;
};

// The envelope recipient: the entry's value of the email field, "" when the
// project has no email field or the entry cannot be read.
std::string GetRecipientAddress(CPostridrDoc& doc, int entry);

// Composes entry `entry`'s message into `out`, after the document has taken
// the message views' contents. Headers, in order: To, From, Subject, Date,
// Message-ID, and the MIME headers when the body needs quoted-printable (it
// has 8-bit bytes, a NUL or a line over 998 bytes); then an empty line and
// the merged body. Date is the current local time; Message-ID is new.
// Each piece (the letter, the subject, every field name and value, the
// sender's name) is read as UTF-8 when it is valid UTF-8, else as
// Windows-1252, so the message is UTF-8 throughout whatever mix of
// encodings the letter and the list were saved in. The To: line gives a
// non-ASCII domain in its ASCII form.
void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings,
                    ComposedMessage& out);

// The same with a given time for Date and a given Message-ID value (with its
// angle brackets), so that a message can be compared byte for byte.
void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings, std::time_t date,
                    std::string_view messageId, ComposedMessage& out);

}  // namespace postrider
