#include "send/merge_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/mime_encoding.h"

namespace postrider {
namespace {

const std::vector<std::string> kFields = {"Name", "Email", "a]b", "Name", "Note"};

struct Merged {
  std::string text;
  std::vector<std::string> attachments;
};

Merged Merge(const std::string& text,
             const std::vector<std::string>& values = {"Ann", "ann@example.com", "odd", "second"}) {
  Merged merged;
  MergeFields(text, kFields, values, merged.text, merged.attachments);
  return merged;
}

TEST(MergeFields, ReplacesEveryKnownFieldWhereverItStands) {
  EXPECT_EQ(Merge("").text, "");
  EXPECT_EQ(Merge("Dear [[Name]], [[Email]]").text, "Dear Ann, ann@example.com");
  EXPECT_EQ(Merge("[[Name]][[Email]]").text, "Annann@example.com");
  EXPECT_EQ(Merge("[[[Name]]]").text, "[Ann]");
  EXPECT_EQ(Merge("[[a]b]]").text, "odd");
  // Of two fields with one name the first wins.
  EXPECT_EQ(Merge("[[Name]]").text, "Ann");
  // A record shorter than the list: the missing value is empty.
  EXPECT_EQ(Merge("<[[Note]]>").text, "<>");
}

TEST(MergeFields, LeavesWhatIsNoKnownFieldAsWritten) {
  for (const std::string text :
       {"[[name]]", "[[ Name]]", "[[Na[me]]", "[[Name", "[[Name]", "[[]]", "[ [Name]]", "a[b]c[[",
        "[[Attachment: /one/blank]]\r\nNext"}) {
    EXPECT_EQ(Merge(text).text, text);
  }
}

// What the check before a run names: exactly the fields merging leaves as written.
TEST(MergeFields, UnknownNamesAreTheFieldsMergingLeavesAsWritten) {
  using Names = std::vector<std::string>;
  const struct {
    std::string text;
    Names unknown;
  } rows[] = {
      {"Dear [[Name]], [[Email]] [[a]b]]", {}},
      {"[[name]] [[Frist]] [[name]]", {"name", "Frist"}},
      {"[[ Name]][[Code]]", {" Name", "Code"}},
      {"[[[Code]]]", {"Code"}},
      // No field at all: an opening [[ with no ]], a name holding '[', an empty name.
      {"[[Na[me]] [[Name] [[]] [ [Code]] a[b]c[[ [[Code", {}},
      // Attachment lines, their paths' fields included, are no merge fields.
      {"[[Attachment:  /tmp/[[Code]].pdf]]\nHi [[Name]]", {}},
      {"[[Attachment:  /a]]\n[[Attachment: /one/blank]]\n", {"Attachment: /one/blank"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(UnknownFieldNames(row.text, kFields), row.unknown) << row.text;
    // Each goes as written.
    for (const std::string& name : row.unknown) {
      EXPECT_NE(Merge(row.text).text.find("[[" + name + "]]"), std::string::npos) << name;
    }
  }
}

TEST(MergeFields, ValuesAreNotScannedAgain) {
  EXPECT_EQ(Merge("[[Name]] [[Email]]", {"[[Email]]", "[[Attachment:  /x]]"}).text,
            "[[Email]] [[Attachment:  /x]]");
}

TEST(MergeFields, AttachmentLineEndsAtItsBracketsAndLineEndWhateverItIs) {
  Merged crlf = Merge("[[Attachment:  /tmp/a b.pdf]]\r\nDear [[Name]]");
  EXPECT_EQ(crlf.text, "Dear Ann");
  EXPECT_EQ(crlf.attachments, std::vector<std::string>{"/tmp/a b.pdf"});

  EXPECT_EQ(Merge("[[Attachment:  /a]]\nDear").text, "Dear");
  EXPECT_EQ(Merge("Hi\n[[Attachment:  /a]]").text, "Hi\n");
  EXPECT_EQ(Merge("[[Attachment:  /a]]\r\r\nX").text, "\r\r\nX");
  EXPECT_EQ(Merge("[[Attachment:  /a]x]]\nY").text, "x]]\nY");
  EXPECT_EQ(Merge("[[Attachment:  /a]]]\nZ").text, "]\nZ");
  EXPECT_EQ(Merge("[[Attachment:  /a]][[Name]]").text, "Ann");
  EXPECT_EQ(Merge("[[Attachment:  [[Name]]").attachments,
            std::vector<std::string>{"[[Name"});
}

TEST(MergeFields, UnclosedAttachmentLineIsPlainText) {
  const Merged merged = Merge("Dear [[Name]]\n[[Attachment:  /a\n[[Attachment:  /b");
  EXPECT_EQ(merged.text, "Dear Ann\n[[Attachment:  /a\n[[Attachment:  /b");
  EXPECT_TRUE(merged.attachments.empty());
}

// Ten go with a message; the eleventh is kept so that it can be told.
TEST(MergeFields, RemovesEveryAttachmentLineAndCollectsOnePastTheTenThatGo) {
  std::string text;
  for (int i = 0; i < 12; ++i) text += "[[Attachment:  /file" + std::to_string(i) + "]]\r\n";
  const Merged merged = Merge(text + "Body");
  EXPECT_EQ(merged.text, "Body");
  ASSERT_EQ(merged.attachments.size(), 11u);
  EXPECT_EQ(merged.attachments.front(), "/file0");
  EXPECT_EQ(merged.attachments.back(), "/file10");
}

TEST(MergeFields, OutputAndPathsAreReplacedOnEveryCall) {
  std::string out = "old";
  std::vector<std::string> paths = {"/old"};
  MergeFields("[[Name]]", kFields, {"Bob"}, out, paths);
  EXPECT_EQ(out, "Bob");
  EXPECT_TRUE(paths.empty());
}

// A letter read once and merged for many recipients comes out exactly as a
// merge of the whole text, and so does the encoding it needs.
TEST(MergeTemplate, MergesAndDecidesTheEncodingAsAMergeOfTheWholeTextWould) {
  const std::string line998(998, 'l');
  const std::vector<std::string> letters = {
      "", "Dear [[Name]], [[Email]]", "[[Name]][[Email]]", "[[[Name]]]", "[[a]b]]", "<[[Note]]>",
      "[[name]] [[Na[me]] [[Name", "a[b]c[[", "[[Attachment: /one/blank]]\r\nNext",
      "[[Attachment:  /a]]\r\nDear [[Name]]\n[[Attachment:  /b]x]]\nY[[Attachment:  /c",
      "caf\xC3\xA9 [[Name]]", std::string("nul\0[[Name]]", 12),
      // Lines whose length the values decide, around the 998 bytes a line may hold.
      std::string(990, 'x') + "[[Name]]", "[[Name]]" + std::string(995, 'x') + "\r\nshort",
      "a\n" + std::string(500, 'x') + "[[Name]][[Email]]" + std::string(480, 'y') + "\nb",
      line998 + "\r\n[[Name]]\r" + line998, line998 + "x\n[[Name]]",
      std::string(600, 'x') + "[[Attachment:  /a]]\n" + std::string(600, 'y'),
      "[[Name]]\n" + std::string(997, 'z') + "[[Note]]"};
  const std::vector<std::vector<std::string>> recipients = {
      {},
      {"Ann", "ann@example.com", "odd", "second", ""},
      {"Bob" + std::string(10, 'b'), "bob@example.org"},
      {"", "x", "", "", "note"},
      {"line\r\nbreak" + std::string(990, 'v'), "e"},
      {std::string(2, 'w') + "\n" + std::string(2, 'w'), "e", "", "", std::string(990, 'n')},
      {"M\xC3\xBCller", "m@example.de"},
      {std::string("n\0l", 3), "e"}};

  MergeTemplate merge;
  for (const std::string& letter : letters) {
    merge.Read(letter, kFields);
    for (const std::vector<std::string>& values : recipients) {
      const Merged whole = Merge(letter, values);
      std::string merged = "kept ";
      merge.AppendMerged(values, merged);
      EXPECT_EQ(merged, "kept " + whole.text) << letter.substr(0, 60);
      EXPECT_EQ(merge.attachments(), whole.attachments) << letter.substr(0, 60);
      EXPECT_EQ(merge.MergedNeedsTransferEncoding(values), NeedsTransferEncoding(whole.text))
          << letter.substr(0, 60) << " with " << (values.empty() ? "" : values[0].substr(0, 20));
    }
  }
}

}  // namespace
}  // namespace postrider
