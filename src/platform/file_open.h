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

// Opens a file to add to its end, making it with `mode` (less the umask) when
// it is not there. A symbolic link at path is never followed: what the
// program appends (a log with every address, say) must not land wherever
// someone pointed a link. Refuses as OpenFileForReading does what is not a
// regular file, without blocking on it. Returns the descriptor, or -1 with
// errno set (ELOOP for a link).
int OpenFileForAppending(const std::string& path, unsigned mode);

// Whether the last part of path is a symbolic link. The program replaces and
// appends to no file through one.
bool IsSymbolicLink(const std::string& path);

// What errno after a failed write or OpenFileForAppending means, for the
// user; ELOOP says the path is a link the program does not write through.
std::string DescribeWriteError(int error);

}  // namespace postrider
