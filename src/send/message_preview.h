#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "send/formatted_parts.h"
#include "send/mime_reader.h"
#include "send/user_settings.h"

namespace postrider {

class CPostridrDoc;

// One file an entry's message would carry, or why it cannot.
struct PreviewAttachment {
  std::string name;         // the file's own name
  std::string path;         // as filled for the entry
  std::string contentType;  // from its content; empty when it cannot go
  std::uint64_t size = 0;
  std::string problem;      // "the file does not exist", "unsafe: ..."; empty when it can go
};

// One entry's message as Send would compose it, decoded for the screen.
// Nothing is sent and no mark changes; the message views' contents are
// taken first, as for every composed message.
struct MessagePreview {
  int entry = -1;
  std::string recipient;   // the envelope recipient
  // Why Send would not send it; empty when it would. A list written to since
  // the project was opened (listChanged) comes first, as in a run: the values
  // read may be someone else's.
  std::string skipReason;
  bool listChanged = false;
  // Why Send could not make this message: the letter options cannot make it
  // (a picture that cannot go, a Cc value that is no address; it is then
  // composed as plain text), or the list changed. Empty when it can.
  std::string problem;
  MimeMessage message;
  std::vector<PreviewAttachment> attachments;
  // The headers a mail program shows (To, From, Subject, Date), an empty
  // line and the body.
  std::string text;
  // A formatted message's HTML, its text part and its pictures; html is
  // empty for a plain message.
  FormattedParts formatted;
};

MessagePreview PreviewMessage(CPostridrDoc& document, int entry, const UserSettings& settings);

// The next selected entry after `from` (step +1) or before it (step -1);
// -1 when there is none.
int NextSelectedEntry(const CPostridrDoc& document, int from, int step);

}  // namespace postrider
