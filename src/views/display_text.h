#pragma once

#include <QString>
#include <QStringView>
#include <QTextOption>

#include <string>
#include <string_view>

namespace postrider {

// Text from a list, a letter or a file name, as the window shows it: UTF-8
// when the bytes are valid UTF-8, else read as Windows-1252, the way messages
// are composed, so a Latin-1 list shows its accented letters instead of
// replacement marks.
QString ShownText(std::string_view bytes);

// A file name given to the core as the bytes the file system knows it by.
std::string PathBytes(const QString& path);
QString ShownPath(const std::string& path);

// How a text view should wrap `text`: at word boundaries, or anywhere once
// a word is so long that Qt's search for a boundary in it would hold the
// window for minutes (a letter or value of one long line).
QTextOption::WrapMode WrapModeFor(QStringView text);

// Text for a tool tip, shown as it is: a tip that looks like markup is
// rendered as HTML, and a value such as <img src="/dev/zero"> would hang the
// window reading it the moment the mouse rests on it.
QString PlainTip(const QString& text);

// Text for a menu item: '&' shown as itself, not taken for a mnemonic, and no
// tab, which a menu would take for the start of a shortcut.
QString PlainMenuText(QString text);

}  // namespace postrider
