#include "send/merge_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(MergeFields, RemovesEveryAttachmentLineButCollectsTenPaths) {
  std::string text;
  for (int i = 0; i < 12; ++i) text += "[[Attachment:  /file" + std::to_string(i) + "]]\r\n";
  const Merged merged = Merge(text + "Body");
  EXPECT_EQ(merged.text, "Body");
  ASSERT_EQ(merged.attachments.size(), 10u);
  EXPECT_EQ(merged.attachments.front(), "/file0");
  EXPECT_EQ(merged.attachments.back(), "/file9");
}

TEST(MergeFields, OutputAndPathsAreReplacedOnEveryCall) {
  std::string out = "old";
  std::vector<std::string> paths = {"/old"};
  MergeFields("[[Name]]", kFields, {"Bob"}, out, paths);
  EXPECT_EQ(out, "Bob");
  EXPECT_TRUE(paths.empty());
}

}  // namespace
}  // namespace postrider
