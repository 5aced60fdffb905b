#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// The environment variable that names the command opening a web address,
// e.g. "firefox --new-window"; without it, xdg-open.
inline constexpr const char* kBrowserVariable = "POSTRIDER_BROWSER";

// Opens url in the user's own browser (never one of the program's own), and
// leaves it running. An error when the command cannot be started or reports
// a failure at once (xdg-open without a desktop, say); the caller then shows
// the address to open by hand. The short wait runs the blocking hook.
Status OpenInBrowser(const std::string& url);

}  // namespace postrider
