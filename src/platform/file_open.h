#pragma once

#include <string>

namespace postrider {

// Opens a regular file for reading without ever blocking on it: a named pipe
// or a socket would hang the program until something wrote to it, a device
// such as /dev/zero never ends, and a folder cannot be read as one. Returns
// the descriptor, or -1 with errno set (EISDIR for a folder, ENXIO for
// anything else that is not a regular file).
int OpenFileForReading(const std::string& path);

// What errno after OpenFileForReading means, for the user.
std::string DescribeOpenError(int error);

}  // namespace postrider
