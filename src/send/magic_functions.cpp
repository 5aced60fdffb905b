#include "send/magic_functions.h"

namespace postrider {

Result<const MagicFunctions*> LoadMagic() {
  return LoadFunctionTableOnce<MagicFunctions>(POSTRIDER_MAGIC_SONAME);
}

}  // namespace postrider
