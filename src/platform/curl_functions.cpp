#include "platform/curl_functions.h"

namespace postrider {
namespace {

Result<CurlFunctions> Load() {
  Result<SharedLibrary> library = SharedLibrary::Open(POSTRIDER_CURL_SONAME);
  if (!library) return library.status();
  CurlFunctions table;
  Status found = Status::Ok();
#define POSTRIDER_FIND(name) \
  if (found) found = library->Find(#name, table.name);
  POSTRIDER_CURL_FUNCTIONS(POSTRIDER_FIND)
#undef POSTRIDER_FIND
  if (!found) return found;
  if (table.curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    return Status::Error("The library " + library->soname() + " could not be started.");
  }
  return table;
}

}  // namespace

Result<const CurlFunctions*> LoadCurl() {
  static const Result<CurlFunctions> loaded = Load();
  if (!loaded) return loaded.status();
  return &*loaded;
}

}  // namespace postrider
