#pragma once

// libsecret's functions, and GLib's that go with them, as the refresh token
// store uses them, from the library loaded when the store is first asked.
// GLib's are found through libsecret, which depends on it. The headers still
// give the types.

#include <libsecret/secret.h>

#include "platform/shared_library.h"
#include "platform/status.h"

#define POSTRIDER_SECRET_FUNCTIONS(X)                                                       \
  X(secret_password_lookupv_sync) X(secret_password_storev_sync)                            \
  X(secret_password_clearv_sync) X(secret_password_free) X(g_hash_table_new)                \
  X(g_hash_table_insert) X(g_hash_table_unref) X(g_str_hash) X(g_str_equal)                 \
  X(g_cancellable_new) X(g_cancellable_cancel) X(g_cancellable_is_cancelled)               \
  X(g_object_unref) X(g_error_free)

namespace postrider {

POSTRIDER_FUNCTION_TABLE(SecretFunctions, POSTRIDER_SECRET_FUNCTIONS)

// Loads libsecret once; later calls give the same table, or the same error,
// which names the library.
Result<const SecretFunctions*> LoadSecret();

}  // namespace postrider
