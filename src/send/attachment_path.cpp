#include "send/attachment_path.h"

#include <algorithm>
#include <cstdlib>

#include "send/attachment_lines.h"

namespace postrider {
namespace {

// The index of the list field named by the "[[" at p and the position past
// its "]]", as the body's merge fields are read; index -1 when there is none.
struct FieldAt {
  int index = -1;
  std::size_t end = 0;
};

FieldAt FindField(std::string_view text, std::size_t p, const std::vector<std::string>& names) {
  for (std::size_t q = p + 2; q + 1 < text.size(); ++q) {
    if (text[q] == '[') return {};
    if (text[q] != ']' || text[q + 1] != ']') continue;
    const std::string_view name = text.substr(p + 2, q - p - 2);
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return {};
    return {static_cast<int>(found - names.begin()), q + 2};
  }
  return {};
}

// Where the user's own spelling of a path starts from: the home folder for a
// leading "~/", the project's folder for a relative path. Returns that folder
// and leaves in `written` what follows it.
std::string AnchorOf(std::string_view& written, std::string_view relativeTo) {
  if (written.substr(0, 2) == "~/") {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
      written.remove_prefix(1);
      return home;
    }
  }
  if (written.empty() || written.front() == '/' || relativeTo.empty()) return {};
  std::string anchor(relativeTo);
  if (anchor.back() != '/') anchor += '/';
  return anchor;
}

// Why a list value may not go into a path; empty when it may.
std::string RefusedValue(std::string_view value) {
  const std::string shown = "the list's value \"" + ShownPathText(value) + "\" ";
  if (value.find('/') != std::string_view::npos) return shown + "holds \"/\"";
  if (value.find("..") != std::string_view::npos) return shown + "holds \"..\"";
  if (!value.empty() && value.front() == '~') return shown + "starts with \"~\"";
  if (value.find('\0') != std::string_view::npos) return shown + "holds a NUL";
  return {};
}

// Values side by side may still make a ".." of their own ("." and ".").
bool HasParentStep(std::string_view beneath) {
  std::size_t start = 0;
  while (start <= beneath.size()) {
    std::size_t end = beneath.find('/', start);
    if (end == std::string_view::npos) end = beneath.size();
    if (beneath.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string AttachmentPath::FileName() const {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

AttachmentPath FillAttachmentPath(std::string_view written,
                                  const std::vector<std::string>& fieldNames,
                                  const std::vector<std::string>& values,
                                  std::string_view relativeTo) {
  AttachmentPath result;
  result.written = written;
  // Only the written part is scanned for fields: a folder name of the
  // project's or the home folder is never one.
  std::string_view rest = written;
  std::string filled = AnchorOf(rest, relativeTo);
  const std::string_view anchored = rest;
  filled.reserve(filled.size() + anchored.size() + 64);
  std::size_t firstField = std::string::npos;
  bool wroteFolder = false;  // the line itself names a folder before its first field
  std::size_t p = 0;
  while (p < anchored.size()) {
    const std::size_t open = anchored.find("[[", p);
    if (open == std::string::npos) break;
    const FieldAt field = FindField(anchored, open, fieldNames);
    if (field.index < 0) {
      filled.append(anchored, p, open + 1 - p);
      p = open + 1;
      continue;
    }
    filled.append(anchored, p, open - p);
    if (firstField == std::string::npos) {
      firstField = filled.size();
      wroteFolder = anchored.substr(0, open).find('/') != std::string_view::npos;
    }
    const auto index = static_cast<std::size_t>(field.index);
    const std::string_view value = index < values.size() ? values[index] : std::string_view();
    if (result.unsafe.empty()) result.unsafe = RefusedValue(value);
    filled += value;
    p = field.end;
  }
  if (p < anchored.size()) filled.append(anchored.substr(p));
  result.path = std::move(filled);
  if (firstField == std::string::npos) {
    // Not the working folder's file: that is wherever the program started,
    // and the same line names another file once the project is saved.
    if (!result.path.empty() && result.path.front() != '/') {
      result.unsafe = "the path is relative and the project has no folder yet: save the "
                      "project, or write the file's whole path";
    }
    return result;
  }
  result.hasFields = true;

  const std::size_t slash = result.path.rfind('/', firstField == 0 ? 0 : firstField - 1);
  if (!wroteFolder || slash == std::string::npos || result.path.front() != '/') {
    result.unsafe = "the path names no folder before its first merge field, so the list's "
                    "values would choose the folder";
    return result;
  }
  result.folder = result.path.substr(0, slash + 1);
  result.beneath = result.path.substr(slash + 1);
  if (result.unsafe.empty() && HasParentStep(result.beneath)) {
    result.unsafe = "the list's values make a \"..\" that would leave " + ShownPathText(result.folder);
  }
  if (!result.unsafe.empty() && result.unsafe.rfind("the list's value \"", 0) == 0) {
    result.unsafe += ", which could lead out of " + ShownPathText(result.folder);
  }
  return result;
}

std::vector<AttachmentPath> FillLetterAttachments(std::string_view letter,
                                                  const std::vector<std::string>& fieldNames,
                                                  const std::vector<std::string>& values,
                                                  std::string_view relativeTo) {
  std::vector<AttachmentPath> paths;
  for (const std::string& written : AttachmentPathsAsWritten(letter, fieldNames)) {
    paths.push_back(FillAttachmentPath(written, fieldNames, values, relativeTo));
  }
  return paths;
}

std::string ShownPathText(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  return shown;
}

}  // namespace postrider
