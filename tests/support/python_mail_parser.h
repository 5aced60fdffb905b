#pragma once

#include <string>

namespace postrider::testing {

// What Python's mail parser (the email package, default policy) reads from
// a message file: its subject, sender, recipient and plain-text body, one per
// line, the body's line ends shown as '|'. Empty when it cannot parse it.
std::string ParsedByPython(const std::string& messagePath);

// The sender as Python's mail parser reads the From: line of a message file:
// its display name and its address, on two lines; empty when it cannot.
std::string SenderParsedByPython(const std::string& messagePath);

// One header of a message file as Python's mail parser reads it: for an
// address header each mailbox as "name<TAB>address" a line, else its
// decoded value; empty when it cannot.
std::string HeaderParsedByPython(const std::string& messagePath, const std::string& name);

// The MIME tree of a message file as Python's mail parser reads it, one part
// a line (see mime_outline.py); empty when it cannot parse it.
std::string MimeOutlineByPython(const std::string& messagePath);
// The files a message file carries as Python's mail parser reads them, one a
// line: the file's name as the parser gives it back, its content type, its
// size and the SHA-256 of its decoded bytes, separated by TABs. Empty when it
// cannot parse it.
std::string AttachmentsParsedByPython(const std::string& messagePath);

}  // namespace postrider::testing
