#pragma once

#include <sys/stat.h>

#include <string>

namespace postrider {

// Whether a symbolic link as the last part of a path is followed.
enum class FinalLink { kFollow, kRefuse };

// Opens a regular file for reading without ever blocking on it: a named pipe
// or a socket would hang the program until something wrote to it, a device
// such as /dev/zero never ends, and a folder cannot be read as one. Returns
// the descriptor, or -1 with errno set (EISDIR for a folder, ENXIO for
// anything else that is not a regular file, ELOOP for a link refused).
// `info`, when given, receives what fstat found for the descriptor.
int OpenFileForReading(const std::string& path, FinalLink link = FinalLink::kFollow,
                       struct stat* info = nullptr);

// The same for `beneath`, a relative path inside the folder open as
// `folder`: no step of the walk may leave the folder, be it through a
// symbolic link or "..". -1 with errno as above, EXDEV or ELOOP for a walk
// that would leave it, ENOSYS where the kernel or a sandbox offers no such
// open (before Linux 5.6).
int OpenFileForReadingBeneath(int folder, const std::string& beneath, struct stat* info = nullptr);

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
