#include "send/cmark_functions.h"

namespace postrider {

Result<const CmarkFunctions*> LoadCmark() {
  return LoadFunctionTableOnce<CmarkFunctions>(POSTRIDER_CMARK_SONAME);
}

}  // namespace postrider
