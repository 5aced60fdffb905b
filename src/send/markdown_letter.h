#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "send/letter_pictures.h"

namespace postrider {

// A Markdown letter rendered once for a whole run: the HTML document with
// the places where each recipient's values go, and the letter's pictures.
// The letter is parsed without any value in it, so no value can become
// markup; each one is filled in escaped for the place it lands in.
struct LetterTemplate {
  enum class Place { Html, Url };
  struct Slot {
    std::size_t offset = 0;  // in html
    int field = 0;           // the list field's index
    Place place = Place::Html;
  };
  std::string html;  // the document without the values
  std::vector<Slot> places;
  std::vector<InlinePicture> pictures;  // in the order the letter shows them, each once
  // The letter holds HTML tags of its own, which are left out: the message
  // carries only what its Markdown says.
  bool rawHtmlLeftOut = false;
};

// What a letter is rendered from, all of it UTF-8.
struct MarkdownLetterSource {
  std::string_view body;     // CommonMark; attachment lines are left out
  std::string_view subject;  // the document's title
  bool mergeSubject = false; // the subject's merge fields are filled too
  const std::vector<std::string>* fieldNames = nullptr;
  std::string letterFolder;  // where relative picture paths start
};

// Renders the letter as a small HTML document (UTF-8, inline styles only, a
// column that fits a phone): a line break in the letter stays one, raw HTML
// is left out, and `javascript:` links lose their address. A picture written
// ![text](path) with a local path is read and goes in by its cid:. An error
// names the picture that cannot go: one missing or unreadable, one that is no
// picture, one whose path holds a merge field (a picture comes from the
// letter, never from the list).
Result<LetterTemplate> RenderMarkdownLetter(const MarkdownLetterSource& source);

// One recipient's HTML: the template with the values (in list field order)
// escaped as HTML text or attribute, or percent-encoded inside an address.
// A value the record lacks is empty. `out` is cleared first.
void FillLetterHtml(const LetterTemplate& letter, const std::vector<std::string>& values,
                    std::string& out);

}  // namespace postrider
