#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "send/markdown_letter.h"
#include "send/markup_escape.h"
#include "support/html5_outline.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::HtmlOutline;
using testing::ParseHtml5;
using testing::TempDir;
using Strings = std::vector<std::string>;

// The smallest GIF there is: one transparent pixel.
const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02" "D\x01\x00;",
    43);

const Strings kFields = {"Name", "Id", "Email"};

// A letter that puts the Name field in every place a value can land: a
// heading, bold text, a link's text, address and title, a picture's text,
// a code span and a code block; Id in the link's address.
constexpr const char* kLetter =
    "# Hello [[Name]]\n"
    "\n"
    "Dear **[[Name]]**, see [your page, [[Name]]](https://example.org/p?id=[[Id]]&n=[[Name]] "
    "\"Page of [[Name]]\").\n"
    "\n"
    "![Logo for [[Name]]](logo.gif)\n"
    "\n"
    "`[[Name]]`\n"
    "\n"
    "```\n"
    "[[Name]]\n"
    "```\n";

Result<LetterTemplate> Render(const std::string& body, const std::string& folder,
                              const std::string& subject = "Spring readings",
                              bool mergeSubject = false) {
  MarkdownLetterSource source;
  source.body = body;
  source.subject = subject;
  source.mergeSubject = mergeSubject;
  source.fieldNames = &kFields;
  source.letterFolder = folder;
  return RenderMarkdownLetter(source);
}

std::string Filled(const LetterTemplate& letter, const Strings& values) {
  std::string html;
  FillLetterHtml(letter, values, html);
  return html;
}

std::string PercentEncoded(const std::string& text) {
  std::string out;
  AppendPercentEncoded(text, out);
  return out;
}

// What an HTML parser makes of a value's line ends.
std::string AsParsed(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

class MarkdownLetterTest : public ::testing::Test {
 protected:
  void SetUp() override { dir.Write("logo.gif", kGif); }
  TempDir dir;
};

TEST_F(MarkdownLetterTest, HostileValuesChangeNothingButTheirOwnText) {
  Result<LetterTemplate> letter = Render(kLetter, dir.path());
  ASSERT_TRUE(letter.ok()) << letter.status().message();
  const HtmlOutline plain = ParseHtml5(Filled(*letter, {"Ann", "7", "ann@x.org"}));
  ASSERT_TRUE(plain.parsed);
  ASSERT_TRUE(plain.HasTag("strong"));
  ASSERT_TRUE(plain.HasTag("pre"));

  const std::string hostileId = "1&admin=1#x y/../\"><script>";
  const Strings hostile = {
      "<script>alert(1)</script>",
      "](javascript:alert(1))",
      "**not bold** _nor this_",
      "a\n---\nb",
      "one\r\ntwo\rthree",
      "\" onmouseover=\"alert(1)\" x='",
      "[[Id]] <!-- -->  &amp; &lt;",
      "\xEE\x80\x80" "1\xEE\x80\x81 and %EE%80%801%EE%80%81",
      "<img src=x onerror=alert(1)>",
      "Zoë Ångström 東京",
  };
  for (const std::string& name : hostile) {
    SCOPED_TRACE(name);
    const HtmlOutline got = ParseHtml5(Filled(*letter, {name, hostileId, "x"}));
    ASSERT_TRUE(got.parsed);
    // The same elements with the same attributes as with a plain name: the
    // value made no markup.
    EXPECT_EQ(got.tags, plain.tags);
    ASSERT_EQ(got.attributes.size(), plain.attributes.size());
    for (std::size_t i = 0; i < got.attributes.size(); ++i) {
      EXPECT_EQ(got.attributes[i].first, plain.attributes[i].first);
    }
    // The value is there as text, in every place it went.
    const std::string shown = AsParsed(name);
    EXPECT_NE(got.text.find("Hello " + shown), std::string::npos) << got.text;
    EXPECT_NE(got.text.find("Dear " + shown + ", see your page, " + shown), std::string::npos);
    EXPECT_EQ(got.Attribute("a.title"), Strings{"Page of " + shown});
    EXPECT_EQ(got.Attribute("img.alt"), Strings{"Logo for " + shown});
    // In the address, every value is percent-encoded: it cannot end it.
    EXPECT_EQ(got.Attribute("a.href"),
              Strings{"https://example.org/p?id=" + PercentEncoded(hostileId) +
                      "&n=" + PercentEncoded(name)});
    EXPECT_FALSE(got.HasTag("script"));
  }
}

TEST_F(MarkdownLetterTest, TheDocumentIsSmallUtf8ReadableOnAPhoneAndStyledInline) {
  Result<LetterTemplate> letter =
      Render("Line one\nline two, [[Name]]\n\n> quoted\n", dir.path(), "Hi [[Name]] & co", true);
  ASSERT_TRUE(letter.ok()) << letter.status().message();
  const std::string html = Filled(*letter, {"Åsa", "", ""});
  EXPECT_EQ(html.rfind("<!DOCTYPE html>\n", 0), 0u);
  const HtmlOutline got = ParseHtml5(html);
  ASSERT_TRUE(got.parsed);
  // The parser took the encoding from the document: Å came through.
  EXPECT_EQ(got.title, "Hi Åsa & co");
  EXPECT_EQ(got.Attribute("meta.charset"), Strings{"utf-8"});
  EXPECT_EQ(got.Attribute("meta.content"), Strings{"width=device-width, initial-scale=1"});
  // No style sheet of any kind; the column's width is its own.
  EXPECT_FALSE(got.HasTag("style"));
  EXPECT_FALSE(got.HasTag("link"));
  EXPECT_NE(got.Attribute("div.style").at(0).find("max-width:640px"), std::string::npos);
  EXPECT_EQ(got.Attribute("blockquote.style").size(), 1u);
  // A line break of the letter stays one, as in the plain part.
  EXPECT_TRUE(got.HasTag("br"));
  EXPECT_NE(got.text.find("Line one\nline two, Åsa"), std::string::npos);

  // Without MergeSubject the subject's fields stay as written.
  Result<LetterTemplate> unmerged = Render("x", dir.path(), "Hi [[Name]]", false);
  ASSERT_TRUE(unmerged.ok());
  EXPECT_EQ(ParseHtml5(Filled(*unmerged, {"Åsa"})).title, "Hi [[Name]]");
}

// Styling each tag used to move the rest of the document every time: a long
// letter of quotes, pictures and code took many minutes and froze the preview.
TEST_F(MarkdownLetterTest, ALetterOfAGreatManyQuotesPicturesAndCodeIsAllStyled) {
  constexpr int kEach = 300000;
  std::string body;
  for (int i = 0; i < kEach; ++i) body += "> q [[Name]]\n\n![](logo.gif)\n\n    code\n\n";
  Result<LetterTemplate> letter = Render(body, dir.path());
  ASSERT_TRUE(letter.ok()) << letter.status().message();
  EXPECT_EQ(letter->pictures.size(), 1u);
  const std::string html = Filled(*letter, {"Ann"});
  const auto count = [&html](std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = html.find(what); at != std::string::npos; at = html.find(what, at + 1)) {
      ++n;
    }
    return n;
  };
  EXPECT_EQ(count("<blockquote style=\""), std::size_t{kEach});
  EXPECT_EQ(count("<img style=\"max-width:100%;height:auto;\" "), std::size_t{kEach});
  EXPECT_EQ(count("<pre style=\""), std::size_t{kEach});
  EXPECT_EQ(count("<p>q Ann</p>"), std::size_t{kEach});
  EXPECT_EQ(count("<blockquote>"), 0u);
}

TEST_F(MarkdownLetterTest, TheLettersOwnHtmlAndScriptLinksAreLeftOut) {
  Result<LetterTemplate> letter = Render(
      "<script>alert(1)</script>\n\nSee <b>this</b> and [that](javascript:alert(1)).\n",
      dir.path());
  ASSERT_TRUE(letter.ok());
  EXPECT_TRUE(letter->rawHtmlLeftOut);
  const HtmlOutline got = ParseHtml5(Filled(*letter, {}));
  EXPECT_FALSE(got.HasTag("script"));
  EXPECT_FALSE(got.HasTag("b"));
  EXPECT_EQ(got.Attribute("a.href"), Strings{""});
  EXPECT_NE(got.text.find("See this and that."), std::string::npos);

  Result<LetterTemplate> clean = Render("Plain *letter*.", dir.path());
  ASSERT_TRUE(clean.ok());
  EXPECT_FALSE(clean->rawHtmlLeftOut);
}

TEST_F(MarkdownLetterTest, LocalPicturesGoInlineOnceAndOthersAsWritten) {
  std::filesystem::create_directory(dir.File("sub dir"));
  dir.Write("sub dir/photo.gif", kGif);
  Result<LetterTemplate> letter = Render(
      "![a](logo.gif) ![b](" + dir.File("logo.gif") + ") ![c](<sub dir/photo.gif>) "
      "![d](sub%20dir/photo.gif) ![e](https://example.org/remote.png) ![f](file://" +
          dir.File("logo.gif") + ")",
      dir.path());
  ASSERT_TRUE(letter.ok()) << letter.status().message();
  // The same bytes named five ways: one picture, with the id its bytes give.
  ASSERT_EQ(letter->pictures.size(), 1u);
  const InlinePicture& picture = letter->pictures[0];
  EXPECT_EQ(picture.mediaType, "image/gif");
  EXPECT_EQ(picture.fileName, "logo.gif");
  EXPECT_EQ(picture.base64, "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==\r\n");
  const HtmlOutline got = ParseHtml5(Filled(*letter, {}));
  const std::string cid = "cid:" + letter->pictures[0].contentId;
  EXPECT_EQ(got.Attribute("img.src"),
            (Strings{cid, cid, cid, cid, "https://example.org/remote.png", cid}));
  for (const std::string& style : got.Attribute("img.style")) {
    EXPECT_NE(style.find("max-width:100%"), std::string::npos);
  }

  dir.Write("other.gif", kGif + "different");
  Result<LetterTemplate> two = Render("![a](logo.gif)\n![b](other.gif)", dir.path());
  ASSERT_TRUE(two.ok());
  ASSERT_EQ(two->pictures.size(), 2u);
  EXPECT_NE(two->pictures[0].contentId, two->pictures[1].contentId);
}

TEST_F(MarkdownLetterTest, PicturesThatCannotGoAreRefusedByName) {
  dir.Write("notes.txt", "just some words\n");
  // Sparse, so it costs no disk; read whole it would cost its size in memory.
  ASSERT_EQ(truncate(dir.Write("huge.png", "").c_str(), (std::int64_t{256} << 20) + 1), 0);
  // Within what one file may be, but too large for any message once in base64.
  ASSERT_EQ(truncate(dir.Write("large.gif", kGif).c_str(), std::int64_t{190} * 1000 * 1000), 0);
  const struct {
    std::string letter;
    std::string refusal;
  } cases[] = {
      {"![x](missing.png)", "\"missing.png\" cannot be sent: " + dir.File("missing.png") +
                                " does not exist."},
      {"![x](notes.txt)", "\"notes.txt\" cannot be sent: " + dir.File("notes.txt") +
                              " is not a picture (text/plain)."},
      {"![x](.)", "is not a file."},
      // Refused by its size alone, never read.
      {"![x](huge.png)", "\"huge.png\" cannot be sent: the letter's pictures would make each "
                         "message more than the 250.0 MB"},
      {"![x](large.gif)", "\"large.gif\" cannot be sent: the letter's pictures would make each "
                          "message more than the 250.0 MB Postrider sends in one message."},
      {"![x](/pictures/[[Name]].png)", "has a merge field in its address"},
      {"![x](https://example.org/[[Id]].png)", "has a merge field in its address"},
  };
  for (const auto& c : cases) {
    Result<LetterTemplate> letter = Render(c.letter, dir.path());
    ASSERT_FALSE(letter.ok()) << c.letter;
    EXPECT_NE(letter.status().message().find(c.refusal), std::string::npos)
        << letter.status().message();
  }

  // A project not saved yet has no folder: the picture that happens to lie
  // where the program was started is not the letter's.
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  Result<LetterTemplate> unsaved = Render("![x](logo.gif)", "");
  std::filesystem::current_path(started);
  ASSERT_FALSE(unsaved.ok());
  EXPECT_NE(unsaved.status().message().find("the project has no folder yet"), std::string::npos)
      << unsaved.status().message();
}

TEST_F(MarkdownLetterTest, TheLettersOwnMarkCharactersMakeNoPlaceForAValue) {
  Result<LetterTemplate> letter = Render(
      "Mark \xEE\x80\x80" "0\xEE\x80\x81 and [x](https://e.org/%EE%80%800%ee%80%81) [[Name]]",
      dir.path());
  ASSERT_TRUE(letter.ok());
  ASSERT_EQ(letter->places.size(), 1u);
  const HtmlOutline got = ParseHtml5(Filled(*letter, {"VALUE"}));
  EXPECT_EQ(got.text.find("VALUE"), got.text.rfind("VALUE"));
  EXPECT_EQ(got.Attribute("a.href"), Strings{"https://e.org/%EF%BF%BD0%EF%BF%BD"});
}

}  // namespace
}  // namespace postrider
