#pragma once

// libidn2's functions as an address with a domain beyond ASCII needs them,
// from the library loaded when the first such address is prepared. Its
// header still gives the types.

#include <idn2.h>

#include "platform/shared_library.h"
#include "platform/status.h"

#define POSTRIDER_IDN2_FUNCTIONS(X) X(idn2_to_ascii_8z) X(idn2_strerror) X(idn2_free)

namespace postrider {

POSTRIDER_FUNCTION_TABLE(Idn2Functions, POSTRIDER_IDN2_FUNCTIONS)

// Loads libidn2 once; later calls give the same table, or the same error,
// which names the library.
Result<const Idn2Functions*> LoadIdn2();

}  // namespace postrider
