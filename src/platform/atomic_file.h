#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace postrider {

// Replaces the file at path with bytes so that a crash or a full disk leaves
// either the old file or the new one, never a mixture: the bytes go to a
// temporary file in the same folder, are flushed to disk and renamed over the
// old file. An existing file keeps its permission bits (and, where allowed,
// its owner); a new one gets 0666 less the umask. A symbolic link at path is
// refused, neither followed nor replaced. A failure names the path and the
// reason.
Status WriteFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of a file; a failure names the path and the reason.
Result<std::string> ReadWholeFile(const std::string& path);

// As ReadWholeFile, but a file that does not exist is no error: nothing.
Result<std::optional<std::string>> ReadFileIfPresent(const std::string& path);

}  // namespace postrider
