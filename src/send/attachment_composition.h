#pragma once

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

// A composed message's files, filled with its recipient's values; relative
// paths start from `relativeTo` (AttachmentFolderOf the project).
std::vector<AttachmentPath> AttachmentPathsOf(const ComposedMessage& composed,
                                              std::string_view relativeTo);

// The message that carries `files` for a plain composed message: its header
// lines, then the multipart body whose first part is its merged text. Fails
// when a file cannot go (see AttachmentMessageWriter::Write).
Status ComposeAttachmentMessage(const ComposedMessage& composed,
                                const std::vector<AttachmentPath>& files,
                                AttachmentMessageWriter& writer, std::string& out);

}  // namespace postrider
