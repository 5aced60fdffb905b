#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace postrider {

inline constexpr std::string_view kUnknownContentType = "application/octet-stream";
// How much of a file's start tells its type: office files and archives name
// their parts near the start.
inline constexpr std::size_t kContentSniffBytes = 64 * 1024;

// Whether types can be told at all: libmagic is loaded by the first call; an
// error names the library when it is missing.
Status ContentTypesAvailable();

// The MIME type of content from its first kContentSniffBytes bytes, as
// libmagic knows it ("application/pdf", "image/png"); kUnknownContentType
// when it knows none or it or its database cannot be loaded (which
// ContentTypesAvailable tells first). The database is loaded once a process.
std::string ContentTypeOf(std::string_view firstBytes);

// The same for an open file, read from its start without moving its offset.
std::string ContentTypeOfFile(int fd);

}  // namespace postrider
