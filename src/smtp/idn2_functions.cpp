#include "smtp/idn2_functions.h"

namespace postrider {

Result<const Idn2Functions*> LoadIdn2() {
  return LoadFunctionTableOnce<Idn2Functions>(POSTRIDER_IDN2_SONAME);
}

}  // namespace postrider
