#include "platform/curl_functions.h"

namespace postrider {
namespace {

Result<CurlFunctions> Load() {
  Result<CurlFunctions> table = LoadFunctionTable<CurlFunctions>(POSTRIDER_CURL_SONAME);
  if (!table) return table;
  if (table->curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    return Status::Error("The library " POSTRIDER_CURL_SONAME " could not be started.");
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
