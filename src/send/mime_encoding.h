#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf8_text.h"

namespace postrider {

// Byte checks and the two MIME encodings a message needs to travel over a
// 7-bit SMTP session.

bool HasEightBitBytes(std::string_view text);
// "UTF-8" when the bytes are valid UTF-8, else "ISO-8859-1", where every byte
// is a character.
std::string_view CharsetOf(std::string_view text);

// A text can go as it is only when it is 7-bit, holds no NUL and no line is
// longer than 998 bytes (a CR, a LF or both end a line).
bool NeedsTransferEncoding(std::string_view text);

// Appends text in quoted-printable: CR LF and a lone LF are line breaks and
// come out as CR LF; every other byte outside 33..126, '=', and a blank or TAB
// just before a line break (or the end) become =XX; lines are at most 76
// characters, continued with a soft break "=" CR LF that never splits an =XX.
void AppendQuotedPrintable(std::string_view text, std::string& out);

// Appends text as "B" encoded words in charset, at most 75 characters each,
// separated by CR LF SP, split only between characters of that charset. No
// line holding a word is longer than 76 characters; the first word's line
// already holds lineUsed characters (at most 50). Returns the length of the
// last line written.
std::size_t AppendEncodedWords(std::string_view text, std::string_view charset,
                               std::size_t lineUsed, std::string& out);

}  // namespace postrider
