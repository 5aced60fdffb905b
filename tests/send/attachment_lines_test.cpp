#include "send/attachment_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "send/merge_fields.h"

namespace postrider {
namespace {

const std::vector<std::string> kFields = {"Name", "Invoice", "a]b", "Attachment:  x"};
const std::vector<std::string> kValues = {"Ann", "INV-17", "odd", "weird"};

struct TodaysReading {
  std::string body;
  std::vector<std::string> paths;
};

// How composition read a letter before paths could hold fields: a line's path
// ends at its first ']'. Kept here as the yardstick every such line is held to.
TodaysReading ReadAsBefore(std::string_view text) {
  constexpr std::string_view kStart = "[[Attachment:  ";
  TodaysReading before;
  std::size_t p = 0;
  while (p < text.size()) {
    if (text.compare(p, 2, "[[") != 0) {
      before.body += text[p++];
      continue;
    }
    if (text.compare(p, kStart.size(), kStart) == 0) {
      const std::size_t close = text.find(']', p + kStart.size());
      if (close != std::string_view::npos) {
        if (before.paths.size() < kMaxAttachments) {
          before.paths.emplace_back(text.substr(p + kStart.size(), close - p - kStart.size()));
        }
        p = close + 1;
        if (p < text.size() && text[p] == ']') ++p;
        if (text.compare(p, 2, "\r\n") == 0) {
          p += 2;
        } else if (p < text.size() && text[p] == '\n') {
          ++p;
        }
        continue;
      }
    }
    bool merged = false;
    for (std::size_t q = p + 2; q < text.size() && text[q] != '['; ++q) {
      if (text.compare(q, 2, "]]") != 0) continue;
      const std::string_view name = text.substr(p + 2, q - p - 2);
      for (std::size_t k = 0; k < kFields.size() && !merged; ++k) {
        if (kFields[k] != name) continue;
        before.body += kValues[k];
        p = q + 2;
        merged = true;
      }
      break;
    }
    if (!merged) before.body += text[p++];
  }
  return before;
}

TodaysReading ReadAsComposedToday(std::string_view letter) {
  TodaysReading today;
  MergeFields(letter, kFields, kValues, today.body, today.paths);
  return today;
}

// The body with the lines taken out where the spans say, each gap merged on
// its own: what composition makes of the letter when it reads the lines as
// the spans do.
std::string BodyBetweenSpans(std::string_view letter, const std::vector<AttachmentLineSpan>& spans) {
  std::string body;
  std::size_t from = 0;
  std::string merged;
  std::vector<std::string> ignored;
  for (const AttachmentLineSpan& span : spans) {
    MergeFields(letter.substr(from, span.start - from), kFields, kValues, merged, ignored);
    body += merged;
    from = span.end;
  }
  MergeFields(letter.substr(from), kFields, kValues, merged, ignored);
  return body + merged;
}

bool PathsHoldNoListField(std::string_view letter, const std::vector<AttachmentLineSpan>& spans) {
  for (const AttachmentLineSpan& span : spans) {
    if (span.pathEnd != letter.find(']', span.pathBegin)) return false;
  }
  return true;
}

void ExpectReadAsToday(const std::string& letter) {
  const std::vector<AttachmentLineSpan> spans = FindAttachmentLines(letter, kFields);
  const TodaysReading today = ReadAsComposedToday(letter);
  const TodaysReading before = ReadAsBefore(letter);
  EXPECT_EQ(today.paths, before.paths) << letter;
  EXPECT_EQ(today.body, before.body) << letter;
  std::vector<std::string> paths = AttachmentPathsAsWritten(letter, kFields);
  if (paths.size() > kMaxAttachments) paths.resize(kMaxAttachments);
  EXPECT_EQ(paths, today.paths) << letter;
  EXPECT_EQ(BodyBetweenSpans(letter, spans), today.body) << letter;
}

TEST(AttachmentLines, LinesWithoutAListFieldInTheirPathReadAsCompositionReadsThem) {
  for (const std::string letter : {
           "",
           "[[Attachment:  /tmp/a b.pdf]]\r\nDear [[Name]]",
           "[[Attachment:  /a]]\nDear",
           "Hi\n[[Attachment:  /a]]",
           "[[Attachment:  /a]]\r\r\nX",
           "[[Attachment:  /a]x]]\nY",
           "[[Attachment:  /a]]]\nZ",
           "[[Attachment:  /a]][[Name]]",
           "[[Attachment:  /a]][[Attachment:  /b]]\n",
           "[[Attachment: /one/blank]]\r\nNext",
           "[[[Attachment:  /inside]]",
           "Dear [[Name]]\n[[Attachment:  /a\n[[Attachment:  /b",
           "[[Attachment:  /spans\ntwo lines]]\nafter",
           "[[Attachment:  /x/[[name]].pdf]]\n",       // not a list field: as written
           "[[Attachment:  /x/[[Na[me]].pdf]]\n",
           "[[Attachment:  [[Name]]",                  // nothing closes it after the field
           "[[Attachment:  /a[[Name]]\r\n[[Attachment:  /b]]\r\n",  // nor on its own line
           "[[Na[[Attachment:  /gap]]me]]",
       }) {
    ExpectReadAsToday(letter);
  }
  std::string many;
  for (int i = 0; i < 12; ++i) many += "[[Attachment:  /file" + std::to_string(i) + "]]\r\n";
  ExpectReadAsToday(many + "Body");
  EXPECT_EQ(FindAttachmentLines(many, kFields).size(), 12u);
}

TEST(AttachmentLines, GeneratedLettersReadAsToday) {
  // Pieces that make attachment lines, fields and stray brackets touch in
  // every way; letters whose paths hold a list field read otherwise on purpose.
  const std::vector<std::string> pieces = {"[[Attachment:  ", "[[Attachment: ", "[[", "]]", "]",
                                           "[", "Name", "Invoice", "/x", "\r\n", "\n", " ", "a"};
  std::mt19937 random(18);
  int compared = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string letter;
    const int length = 1 + static_cast<int>(random() % 14);
    for (int i = 0; i < length; ++i) letter += pieces[random() % pieces.size()];
    const std::vector<AttachmentLineSpan> spans = FindAttachmentLines(letter, kFields);
    if (!PathsHoldNoListField(letter, spans)) continue;
    ++compared;
    ExpectReadAsToday(letter);
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(compared, 2000);
}

TEST(AttachmentLines, APathWithListFieldsEndsAtTheBracketsThatCloseTheLine) {
  const std::string letter =
      "Dear [[Name]],\n[[Attachment:  /home/ann/invoices/[[Invoice]].pdf]]\nregards\n"
      "[[Attachment:  /x/[[Name]]-[[Invoice]]/[[a]b]].txt]][[Attachment:  /fixed]]\n";
  EXPECT_EQ(AttachmentPathsAsWritten(letter, kFields),
            (std::vector<std::string>{"/home/ann/invoices/[[Invoice]].pdf",
                                      "/x/[[Name]]-[[Invoice]]/[[a]b]].txt", "/fixed"}));
  const std::vector<AttachmentLineSpan> spans = FindAttachmentLines(letter, kFields);
  ASSERT_EQ(spans.size(), 3u);
  // The whole line leaves the body, line end and all, as composition reads it.
  EXPECT_EQ(BodyBetweenSpans(letter, spans), "Dear Ann,\nregards\n");
  const TodaysReading composed = ReadAsComposedToday(letter);
  EXPECT_EQ(composed.body, "Dear Ann,\nregards\n");
  EXPECT_EQ(composed.paths, AttachmentPathsAsWritten(letter, kFields));
  MergeTemplate once;
  once.Read(letter, kFields);
  std::string merged;
  once.AppendMerged(kValues, merged);
  EXPECT_EQ(merged, "Dear Ann,\nregards\n");
  // A field only a path holds is filled for the path, not counted in the text's.
  once.Read("[[Attachment:  /x/[[Invoice]].pdf]]\nHi", kFields);
  EXPECT_EQ(once.attachmentFields(), std::vector<std::size_t>{1});
  EXPECT_TRUE(once.usedFields().empty());
}

TEST(AttachmentLines, AttachWritesALineOnlyForAPathALineCanCarry) {
  EXPECT_EQ(AttachmentLineFor("/home/ann/Übersicht 2024.pdf").value(),
            "[[Attachment:  /home/ann/Übersicht 2024.pdf]]\r\n");
  for (const std::string path : {"/tmp/a]b.pdf", "/tmp/[[Name]].pdf", "/tmp/line\nbreak", "/tmp/caf\xe9.pdf"}) {
    const Result<std::string> line = AttachmentLineFor(path);
    ASSERT_FALSE(line.ok()) << path;
    EXPECT_NE(line.status().message().find("cannot be attached"), std::string::npos);
  }
  // What it writes reads back as the same path.
  const std::string written = *AttachmentLineFor("/srv/a [b c.pdf");
  EXPECT_EQ(AttachmentPathsAsWritten(written + "Body", kFields),
            std::vector<std::string>{"/srv/a [b c.pdf"});
}

}  // namespace
}  // namespace postrider
