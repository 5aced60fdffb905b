#pragma once

// cmark-gfm's functions as a Markdown letter's rendering uses them, from the
// library loaded when the first such letter is rendered. Its header still
// gives the types.

#include <cmark-gfm.h>

#include "platform/shared_library.h"
#include "platform/status.h"

#define POSTRIDER_CMARK_FUNCTIONS(X)                                                    \
  X(cmark_parse_document) X(cmark_render_html) X(cmark_node_free) X(cmark_node_get_type) \
  X(cmark_node_get_url) X(cmark_node_set_url) X(cmark_iter_new) X(cmark_iter_next)       \
  X(cmark_iter_get_node) X(cmark_iter_free)

namespace postrider {

POSTRIDER_FUNCTION_TABLE(CmarkFunctions, POSTRIDER_CMARK_FUNCTIONS)

// Loads cmark-gfm once; later calls give the same table, or the same error,
// which names the library.
Result<const CmarkFunctions*> LoadCmark();

}  // namespace postrider
