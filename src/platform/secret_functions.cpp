#include "platform/secret_functions.h"

namespace postrider {
namespace {

Result<SecretFunctions> Load() {
  Result<SharedLibrary> library = SharedLibrary::Open(POSTRIDER_SECRET_SONAME);
  if (!library) return library.status();
  SecretFunctions table;
  Status found = Status::Ok();
#define POSTRIDER_FIND(name) \
  if (found) found = library->Find(#name, table.name);
  POSTRIDER_SECRET_FUNCTIONS(POSTRIDER_FIND)
#undef POSTRIDER_FIND
  if (!found) return found;
  return table;
}

}  // namespace

Result<const SecretFunctions*> LoadSecret() {
  static const Result<SecretFunctions> loaded = Load();
  if (!loaded) return loaded.status();
  return &*loaded;
}

}  // namespace postrider
