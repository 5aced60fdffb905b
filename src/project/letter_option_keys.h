#pragma once

#include "platform/status.h"
#include "project/letter_options.h"

namespace postrider {

class ProfileFile;

// The letter options' keys in section "Settings", after the project's own.
// A missing key holds its default, and a key is written only when it holds
// something else or the file has it already, so a project that uses none of
// the options keeps the file it always had.
LetterOptions ReadLetterOptionKeys(const ProfileFile& profile);
Status WriteLetterOptionKeys(ProfileFile& profile, const LetterOptions& options);

}  // namespace postrider
