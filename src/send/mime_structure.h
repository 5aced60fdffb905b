#pragma once

#include <span>
#include <string>
#include <string_view>

#include "send/letter_pictures.h"

namespace postrider {

// The parts of one formatted message.
struct MessageParts {
  std::string_view text;  // the plain part: the merged letter as written
  std::string_view html;  // the formatted part, UTF-8; empty for none
  std::span<const InlinePicture> pictures;  // shown by the HTML through cid:
  // Each a whole MIME part (its headers, an empty line, its encoded body),
  // as the attachments are made.
  std::span<const std::string_view> attachments;
};

// Appends "MIME-Version", the top "Content-Type" with its boundary, the
// empty line that ends the headers, and the body:
//   multipart/alternative (the text part first, the HTML second),
//   inside multipart/related when there are pictures,
//   inside multipart/mixed when there are attachments.
// Without HTML the text part stands where the alternative would. A part goes
// as it is when it is 7-bit with lines of at most 998 bytes and no NUL, else
// quoted-printable, as a plain message's body; the text part's charset is
// UTF-8, or ISO-8859-1 when it is not UTF-8. Every boundary is one that
// occurs nowhere in what it encloses.
void AppendMessageParts(const MessageParts& parts, std::string& out);

}  // namespace postrider
