#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace postrider {

// The most files one message carries. A letter with more attachment lines is
// refused before a run, rather than sent without some of its files.
inline constexpr std::size_t kMaxAttachmentLines = 10;

// Where one attachment line lies in a letter.
struct AttachmentLineSpan {
  std::size_t start = 0;      // its "[[Attachment:"
  std::size_t pathBegin = 0;  // the path as written, merge fields and all
  std::size_t pathEnd = 0;
  std::size_t end = 0;  // past the line: its closing brackets and line end
};

// The attachment line that starts at p, if one does: "[[Attachment:", two
// blanks, a path up to the first ']' that does not close a merge field written
// in the path (a list field's name between "[[" and "]]"), then one more ']'
// when there is one and the line end (CR LF or LF) when there is one.
// A path without a list field's name in it ends at its first ']', as
// composition has always read it; one with a field name,
// "[[Attachment:  /home/ann/invoices/[[Invoice]].pdf]]", ends at the "]]"
// that closes the line (when none follows its fields, the path ends at its
// first ']' after all). Nothing without a ']' after the path is a line.
std::optional<AttachmentLineSpan> AttachmentLineAt(std::string_view text, std::size_t p,
                                                   const std::vector<std::string>& fieldNames);

// Every attachment line of a letter (the merged body leaves them all out), in
// order, more than kMaxAttachmentLines included, so that a check can say so.
std::vector<AttachmentLineSpan> FindAttachmentLines(std::string_view text,
                                                    const std::vector<std::string>& fieldNames);

// The paths of those lines as written.
std::vector<std::string> AttachmentPathsAsWritten(std::string_view text,
                                                  const std::vector<std::string>& fieldNames);

// The line Attach... puts at the start of the letter for a chosen file, or why
// that file's path cannot be written as one: a ']' or a line end in it would
// end the line early, and "[[" could be read as a merge field.
Result<std::string> AttachmentLineFor(std::string_view path);

}  // namespace postrider
