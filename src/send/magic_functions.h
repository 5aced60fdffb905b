#pragma once

// libmagic's functions as an attachment's or picture's type needs them, from
// the library loaded when the first type is asked for. Its header still
// gives the types.

#include <magic.h>

#include "platform/shared_library.h"
#include "platform/status.h"

#define POSTRIDER_MAGIC_FUNCTIONS(X) X(magic_open) X(magic_load) X(magic_close) X(magic_buffer)

namespace postrider {

POSTRIDER_FUNCTION_TABLE(MagicFunctions, POSTRIDER_MAGIC_FUNCTIONS)

// Loads libmagic once; later calls give the same table, or the same error,
// which names the library.
Result<const MagicFunctions*> LoadMagic();

}  // namespace postrider
