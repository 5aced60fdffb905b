#include "send/markdown_letter.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "send/cmark_functions.h"
#include "send/markup_escape.h"
#include "send/field_marks.h"

namespace postrider {

namespace {

// How the marks of the fields look inside the addresses cmark writes.
constexpr std::string_view kOpenInUrl = "%EE%80%80";
constexpr std::string_view kCloseInUrl = "%EE%80%81";

// The letter and its values are UTF-8; a line break in the letter is one in
// the message, as in its plain part. Raw HTML and javascript: links are left
// out (cmark's safe rendering, its default).
constexpr int kCmarkOptions = CMARK_OPT_VALIDATE_UTF8 | CMARK_OPT_HARDBREAKS;

// Readable on a phone without style sheets: the text in one column that
// narrows with the screen, pictures and code no wider than it.
constexpr std::string_view kDocumentStart =
    "<!DOCTYPE html>\n"
    "<html>\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>";
constexpr std::string_view kDocumentBody =
    "</title>\n"
    "</head>\n"
    "<body style=\"margin:0;padding:0;\">\n"
    "<div style=\"max-width:640px;margin:0 auto;padding:16px;"
    "font-family:Helvetica,Arial,sans-serif;font-size:16px;line-height:1.5;"
    "overflow-wrap:break-word;\">\n";
constexpr std::string_view kDocumentEnd = "</div>\n</body>\n</html>\n";

struct TagStyle {
  std::string_view tag;
  std::string_view styled;
};
// The renderer writes these tags exactly so; any '<' of the letter's text or
// of a value is escaped, so they are found only where the renderer put them.
constexpr TagStyle kTagStyles[] = {
    {"<img ", "<img style=\"max-width:100%;height:auto;\" "},
    {"<pre>", "<pre style=\"white-space:pre-wrap;overflow-wrap:break-word;\">"},
    {"<blockquote>",
     "<blockquote style=\"margin:0 0 0 4px;padding-left:12px;border-left:3px solid #999;\">"},
};

struct CmarkFree {
  const CmarkFunctions* cmark;
  void operator()(cmark_node* node) const { cmark->cmark_node_free(node); }
  void operator()(cmark_iter* iter) const { cmark->cmark_iter_free(iter); }
  void operator()(char* text) const { std::free(text); }
};

// Into a new string in one pass: replacing in place moves the rest of the
// document at every tag, and a letter may hold a great many of them.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t at = text.find(from);
  if (at == std::string::npos) return;
  std::string replaced;
  replaced.reserve(text.size() + text.size() / 4);
  std::size_t done = 0;
  for (; at != std::string::npos; at = text.find(from, done)) {
    replaced.append(text, done, at - done);
    replaced += to;
    done = at + from.size();
  }
  replaced.append(text, done, std::string::npos);
  text = std::move(replaced);
}

// Turns the letter's local pictures into cid: addresses, reading each once;
// notes raw HTML.
Status TakePictures(const CmarkFunctions& cmark, cmark_node* document,
                    const std::string& letterFolder, LetterTemplate& letter) {
  std::unique_ptr<cmark_iter, CmarkFree> iter(cmark.cmark_iter_new(document), CmarkFree{&cmark});
  // Each picture as the letter names it, with its place in letter.pictures.
  std::vector<std::pair<std::string, std::size_t>> writtenPaths;
  std::uint64_t picturesSize = 0;  // their base64 lines, in every message
  for (cmark_event_type event = cmark.cmark_iter_next(iter.get()); event != CMARK_EVENT_DONE;
       event = cmark.cmark_iter_next(iter.get())) {
    if (event != CMARK_EVENT_ENTER) continue;
    cmark_node* node = cmark.cmark_iter_get_node(iter.get());
    const cmark_node_type type = cmark.cmark_node_get_type(node);
    if (type == CMARK_NODE_HTML_BLOCK || type == CMARK_NODE_HTML_INLINE) {
      letter.rawHtmlLeftOut = true;
      continue;
    }
    if (type != CMARK_NODE_IMAGE) continue;
    const char* url = cmark.cmark_node_get_url(node);
    const std::string written = url != nullptr ? url : "";
    if (HasFieldMark(written)) {
      return Status::Error("The letter's picture \"" + written +
                           "\" has a merge field in its address; a picture comes from the "
                           "letter itself, never from the mailing list.");
    }
    if (written.empty() || !IsLocalPicture(written)) continue;
    // A picture the letter shows twice, however it names it, goes once.
    std::size_t index = 0;
    while (index < writtenPaths.size() && writtenPaths[index].first != written) ++index;
    if (index == writtenPaths.size()) {
      const std::uint64_t room =
          picturesSize < kMaxMessageWithFiles ? kMaxMessageWithFiles - picturesSize : 0;
      Result<InlinePicture> read = ReadLetterPicture(written, letterFolder, room);
      if (!read) return read.status();
      std::size_t known = 0;
      while (known < letter.pictures.size() &&
             letter.pictures[known].contentId != read->contentId) {
        ++known;
      }
      if (known == letter.pictures.size()) {
        picturesSize += read->base64.size();
        letter.pictures.push_back(std::move(*read));
      }
      writtenPaths.emplace_back(written, known);
    }
    const InlinePicture& picture = letter.pictures[writtenPaths[index].second];
    cmark.cmark_node_set_url(node, ("cid:" + picture.contentId).c_str());
  }
  return Status::Ok();
}

void StyleTags(std::string& html) {
  for (const TagStyle& style : kTagStyles) ReplaceAll(html, style.tag, style.styled);
}

// Takes every mark out of the rendered document and notes its place.
void FindSlots(const std::string& rendered, LetterTemplate& letter) {
  letter.html.clear();
  letter.html.reserve(rendered.size());
  std::size_t at = 0;
  while (at < rendered.size()) {
    const std::size_t next = rendered.find_first_of("\xEE%", at);
    if (next == std::string::npos) break;
    letter.html.append(rendered, at, next - at);
    FieldMark mark = ReadFieldMark(rendered, next, kFieldMarkOpen, kFieldMarkClose);
    LetterTemplate::Place place = LetterTemplate::Place::Html;
    if (mark.field < 0) {
      mark = ReadFieldMark(rendered, next, kOpenInUrl, kCloseInUrl);
      place = LetterTemplate::Place::Url;
    }
    if (mark.field < 0) {
      letter.html += rendered[next];
      at = next + 1;
      continue;
    }
    letter.places.push_back({letter.html.size(), mark.field, place});
    at = next + mark.length;
  }
  if (at < rendered.size()) letter.html.append(rendered, at, std::string::npos);
}

}  // namespace

Result<LetterTemplate> RenderMarkdownLetter(const MarkdownLetterSource& source) {
  const Result<const CmarkFunctions*> loaded = LoadCmark();
  if (!loaded) {
    return Status::Error("The letter could not be rendered as HTML: " + loaded.status().message());
  }
  const CmarkFunctions& cmark = **loaded;
  static const std::vector<std::string> kNoFields;
  const std::vector<std::string>& fieldNames =
      source.fieldNames != nullptr ? *source.fieldNames : kNoFields;
  const std::string body = WithFieldMarks(source.body, fieldNames);
  const std::string subject = source.mergeSubject ? WithFieldMarks(source.subject, fieldNames)
                                                  : WithoutFieldMarks(source.subject);

  std::unique_ptr<cmark_node, CmarkFree> document(
      cmark.cmark_parse_document(body.data(), body.size(), kCmarkOptions), CmarkFree{&cmark});
  if (!document) return Status::Error("The letter could not be read as Markdown.");
  LetterTemplate letter;
  if (Status status = TakePictures(cmark, document.get(), source.letterFolder, letter);
      !status) {
    return status;
  }
  std::unique_ptr<char, CmarkFree> html(
      cmark.cmark_render_html(document.get(), kCmarkOptions, nullptr), CmarkFree{&cmark});
  if (!html) return Status::Error("The letter could not be rendered as HTML.");

  std::string rendered(kDocumentStart);
  // A subject's line breaks are blanks, as in its header line.
  std::string title;
  AppendHtmlEscaped(subject, title);
  for (char& c : title) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  rendered += title;
  rendered += kDocumentBody;
  std::string bodyHtml(html.get());
  StyleTags(bodyHtml);
  rendered += bodyHtml;
  rendered += kDocumentEnd;
  FindSlots(rendered, letter);
  return letter;
}

void FillLetterHtml(const LetterTemplate& letter, const std::vector<std::string>& values,
                    std::string& out) {
  out.clear();
  out.reserve(letter.html.size() + 64 * letter.places.size());
  std::size_t at = 0;
  for (const LetterTemplate::Slot& slot : letter.places) {
    out.append(letter.html, at, slot.offset - at);
    at = slot.offset;
    if (slot.field < 0 || static_cast<std::size_t>(slot.field) >= values.size()) continue;
    const std::string& value = values[static_cast<std::size_t>(slot.field)];
    if (slot.place == LetterTemplate::Place::Url) {
      AppendPercentEncoded(value, out);
    } else {
      AppendHtmlEscaped(value, out);
    }
  }
  out.append(letter.html, at, std::string::npos);
}

}  // namespace postrider
