#include "platform/secret_functions.h"

namespace postrider {

Result<const SecretFunctions*> LoadSecret() {
  return LoadFunctionTableOnce<SecretFunctions>(POSTRIDER_SECRET_SONAME);
}

}  // namespace postrider
