#pragma once

// libcurl's functions as the sign-in's HTTPS requests use them, from the
// library loaded when the first request is made. Its header still gives the
// types.

#include <curl/curl.h>

#include "platform/shared_library.h"
#include "platform/status.h"

#define POSTRIDER_CURL_FUNCTIONS(X)                                                          \
  X(curl_global_init) X(curl_easy_init) X(curl_easy_cleanup) X(curl_easy_setopt)             \
  X(curl_easy_getinfo) X(curl_easy_strerror) X(curl_multi_init) X(curl_multi_cleanup)        \
  X(curl_multi_add_handle) X(curl_multi_remove_handle) X(curl_multi_perform)                 \
  X(curl_multi_info_read) X(curl_multi_poll) X(curl_slist_append) X(curl_slist_free_all)

namespace postrider {

POSTRIDER_FUNCTION_TABLE(CurlFunctions, POSTRIDER_CURL_FUNCTIONS)

// Loads libcurl once (curl_global_init done); later calls give the same
// table, or the same error, which names the library.
Result<const CurlFunctions*> LoadCurl();

}  // namespace postrider
