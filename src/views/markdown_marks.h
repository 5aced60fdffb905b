#pragma once

#include <QString>

namespace postrider {

// The Markdown marks the format bar writes, as text changes: what replaces
// the selection, and what is selected afterwards (from `selectStart`, in the
// replacement, `selectLength` characters), so the user types on at once.
struct MarkedText {
  QString text;
  int selectStart = 0;
  int selectLength = 0;
};

// "**bold**", "*italic*": the marks go around the selected words, never
// around the blanks at either end (CommonMark would not see them as marks
// there); each line of a selection gets its own. With nothing selected, the
// marks alone, with the caret between them.
MarkedText WrapInMarks(const QString& selected, const QString& mark);

// "## " or "- " at the start of each line of `lines` (whole lines, "\n"
// between them); when every non-empty line starts with it already, it is
// taken away instead. Empty lines stay empty.
MarkedText PrefixLines(const QString& lines, const QString& prefix);

// "[text](https://)" with the address selected; the selection is the text
// ("link" when nothing is selected).
MarkedText MakeLink(const QString& selected);

// "![text](path)", the path in angle brackets when it holds a blank or a
// bracket, so CommonMark reads it whole; the text is the selection, else the
// file's name.
MarkedText MakePicture(const QString& selected, const QString& path);

}  // namespace postrider
