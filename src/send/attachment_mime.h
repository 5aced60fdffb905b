#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace postrider {

// The MIME pieces of a message that carries files: the letter's text as its
// first part, then one part a file.

// The text part's headers, each ended by CR LF, before its empty line: the
// same decision and the same headers as a plain message's body gets (none
// for 7-bit text within line limits, else UTF-8 in quoted-printable).
void AppendTextPartHeaders(std::string_view body, std::string& out);
// The text part's content: the body as it is, or in quoted-printable.
void AppendTextPartBody(std::string_view body, std::string& out);

// A file's part headers and the empty line after them: its type, its name
// (as a quoted string when it is printable ASCII without "=?"; else per
// RFC 2231 in Content-Disposition, "filename*=UTF-8''...", beside RFC 2047
// encoded words in Content-Type's name, which older mail programs read), and
// base64. `fileName` is UTF-8.
void AppendAttachmentPartHeaders(std::string_view fileName, std::string_view contentType,
                                 std::string& out);

// What a file's part takes in a message: its headers and its content in
// base64 lines.
std::uint64_t AttachmentPartSize(std::string_view fileName, std::string_view contentType,
                                 std::uint64_t fileSize);

// At most this many bytes of a message's MIME structure beside its parts:
// MIME-Version and the multipart Content-Type, the boundary lines, and the
// text part's headers.
inline constexpr std::uint64_t kMultipartOverhead = 512;

// The largest message with files Postrider builds, whatever the server
// takes: each is made whole in memory, and a list value naming a file of
// many gigabytes must not exhaust it. No mail service takes anything near.
inline constexpr std::uint64_t kMaxMessageWithFiles = 250 * 1000 * 1000;

}  // namespace postrider
