#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace postrider {

inline constexpr std::size_t kMaxAttachments = 10;

// Writes a message text with one recipient's values merged in, in one pass:
// - "[[Name]]", where Name equals a list field name byte for byte (the first
//   such field wins), becomes that field's value, not scanned again; a value
//   the record lacks is empty;
// - an attachment line, "[[Attachment:" and two blanks, a path up to the next
//   ']', then one more ']' if there is one and the line end (CR LF or LF) if
//   there is one, is left out; the paths of the first 10 are collected;
// - everything else, unmatched fields and stray brackets included, goes as
//   written.
// `out` and `attachments` are cleared first and keep their capacity.
void MergeFields(std::string_view text, const std::vector<std::string>& fieldNames,
                 const std::vector<std::string>& values, std::string& out,
                 std::vector<std::string>& attachments);

}  // namespace postrider
