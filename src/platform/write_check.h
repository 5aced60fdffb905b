#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// Whether a file can be written at path the way the program writes it:
// a new file made in its folder (and renamed over it, or removed later), and,
// when the file exists and appendToo is set, opened to add to it; a symbolic
// link at path never passes, since nothing is written through one. Asked
// before work whose results must reach the file; the answer names the path
// and the reason ("Cannot write "/p/june.prh": Read-only file system").
Status CheckCanWrite(const std::string& path, bool appendToo = false);

}  // namespace postrider
