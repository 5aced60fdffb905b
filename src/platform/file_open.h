#pragma once

#include <string>

namespace postrider {

// Opens a file for reading without ever blocking on it: a named pipe or a
// socket would hang the program until something wrote to it, and a folder
// cannot be read as one. Returns the descriptor, or -1 with errno set
// (EISDIR for a folder, ENXIO for a pipe or socket).
int OpenFileForReading(const std::string& path);

}  // namespace postrider
