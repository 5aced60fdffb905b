#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "send/attachment_message.h"
#include "send/attachment_path.h"

namespace postrider {

struct ComposedMessage;

// The header lines of a plain composed message without the MIME headers of
// its body (MIME-Version, Content-Type, Content-Transfer-Encoding), each
// ended by CR LF: what a message that carries files starts with.
std::string HeadLinesOf(std::string_view plainMessage);

// A composed formatted message's body as one MIME part: its Content-Type
// (and Content-Transfer-Encoding) lines, the empty line and the body.
std::string LetterPartOf(std::string_view formattedMessage);

// Turns composed messages into messages that carry their files: one for a
// whole run (a file every message carries is encoded once), or for a single
// message (Preview, compose).
class MessageAttachments {
 public:
  // `fieldNames` as composition reads them (UTF-8); relative paths start
  // from `relativeTo`; with `checked`, a file not as checked is refused.
  MessageAttachments(std::vector<std::string> fieldNames, std::string relativeTo,
                     std::shared_ptr<const CheckedFiles> checked = nullptr);

  // The files of a composed message's attachment lines, filled with its values.
  std::vector<AttachmentPath> PathsOf(const ComposedMessage& composed) const;

  // When `composed` has attachment lines, its text becomes the message that
  // carries the files: its header lines, then the multipart body whose first
  // part is its merged text. A message without them is left as it is. Fails,
  // naming the file and why, when one cannot go; the text is then the plain
  // message still, and must not be sent.
  Status Carry(ComposedMessage& composed);

  const AttachmentMessageWriter& writer() const { return writer_; }

 private:
  std::vector<std::string> fieldNames_;
  std::string relativeTo_;
  AttachmentMessageWriter writer_;
  std::string message_;
};

}  // namespace postrider
