#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "send/attachment_mime.h"

namespace postrider {

// A picture of the letter's own, carried in the message and shown where the
// letter puts it (cid:).
struct InlinePicture {
  std::string path;       // the file it was read from
  std::string contentId;  // without its angle brackets
  std::string mediaType;  // image/...
  std::string fileName;   // the file's own name
  std::string base64;     // the bytes in base64, lines of 76 ended by CR LF
};

// Whether a picture address of the letter names a local file: it has no
// scheme (http:, data:, cid: ...), or it is a file: address.
bool IsLocalPicture(std::string_view written);

// Reads the picture the letter names `written`: an absolute path, or one
// relative to the letter's folder (refused when there is none); a file: address; %XX taken for the byte it
// stands for when the path as written does not exist. An error says which
// picture and why: missing, unreadable, not a picture libmagic knows, or
// larger in base64 than `room`, what the message has left for its pictures
// (a picture too large for it is not read).
Result<InlinePicture> ReadLetterPicture(std::string_view written, const std::string& letterFolder,
                                        std::uint64_t room = kMaxMessageWithFiles);

}  // namespace postrider
