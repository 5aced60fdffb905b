#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace postrider {

// The three private-profile calls the program's files are read and written
// with. Each call reads the file afresh; each write replaces the file in one
// step. Semantics are those of ProfileFile.

// The value, or fallback when the file, section or key is missing or the file
// cannot be read; cut to bufferSize - 1 bytes.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path,
                                    std::size_t bufferSize = 256);

// The leading decimal number of the value; fallback when the file, section or
// key is missing, the value is empty, or the file cannot be read.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int fallback,
                         const std::string& path);

// Stores the value, creating the file when it does not exist (but not its
// folder). A failure names the path and the reason; the file is then as it was.
Status WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, const std::string& path);

}  // namespace postrider
