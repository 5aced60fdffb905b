#include "send/letter_run_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/postridr_doc.h"
#include "send/letter_composer.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

TestProject CopiesProject() {
  TestProject project(
      "Name\tEmail\tCopies\n"
      "Ann\tann@example.com\tbo@example.org, \"Smith, Cy\" <cy@example.org>\n"
      "Bob\tbob@example.com\tnot an address\n"
      "Cleo\tcleo@example.com\t\n"
      "Dan\tdan@example.com\tBo <bo@example.org\n");
  project.letterText = "To: \nFrom:  \nSubject: Hi [[Name]]\n# Hello [[Name]]\n";
  return project;
}

class LetterRunCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(recorded.Open(dir.path(), CopiesProject())); }
  TempDir dir;
  RecordedDocument recorded;
};

TEST_F(LetterRunCheckTest, EntriesWithUnusableCopiesAreNamedBeforeTheRun) {
  CPostridrDoc& document = recorded.document;
  const std::vector<int> all = {0, 1, 2, 3};
  // Without options nothing is read or refused, whatever the list holds.
  EXPECT_TRUE(CheckLetterRun(document, all).empty());

  document.SetLetterOptions({.ccField = "Copies"});
  const std::vector<LetterRunProblem> problems = CheckLetterRun(document, all);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].entry, 1);
  EXPECT_EQ(problems[0].recipient, "bob@example.com");
  EXPECT_NE(problems[0].reason.find("The Cc field \"Copies\""), std::string::npos);
  EXPECT_EQ(problems[1].entry, 3);
  EXPECT_EQ(LetterRunProblemsText(problems, 1).substr(0, 26), "Entry 2 (bob@example.com):");
  EXPECT_NE(LetterRunProblemsText(problems, 1).find("... and 1 more."), std::string::npos);
  // Only the entries the run takes up count.
  EXPECT_TRUE(CheckLetterRun(document, {0, 2}).empty());
}

TEST_F(LetterRunCheckTest, OptionsOrAPictureThatCannotWorkStopTheWholeRun) {
  CPostridrDoc& document = recorded.document;
  document.SetLetterOptions({.ccField = "Gone"});
  std::vector<LetterRunProblem> problems = CheckLetterRun(document, {0});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].entry, -1);

  document.SetLetterOptions({.format = MessageFormat::Markdown});
  recorded.messageView.body = "![logo](missing.png)\r\n";
  problems = CheckLetterRun(document, {0});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].reason.find(dir.File("missing.png")), std::string::npos)
      << problems[0].reason;
}

// A field the list lacks would reach every recipient as written: named in the
// question before the run, from wherever the run would merge it.
TEST_F(LetterRunCheckTest, FieldsTheListLacksAreNamedWhereverTheRunMergesThem) {
  const struct {
    const char* body;
    const char* subject;
    LetterOptions options;
    std::string question;  // empty: nothing to ask
  } rows[] = {
      {"Hello [[Name]]\r\n[[Attachment:  /tmp/[[Name]].pdf]]\r\n", "Hi [[Frist]]", {}, ""},
      {"Your code is [[Code]], [[Frist]]; again [[Code]].", "", {},
       "The letter names fields the mailing list does not have: [[Code]], [[Frist]]. Each "
       "recipient would get them as written. Send anyway?"},
      // The list's own spelling is named when only case or blanks differ.
      {"Dear [[name]] [[ Email ]]", "", {},
       "The letter names fields the mailing list does not have: [[name]] (the list has Name), "
       "[[ Email ]] (the list has Email). Each recipient would get them as written. Send "
       "anyway?"},
      {"Hi", "Hi [[Frist]]", {.mergeSubject = true},
       "The letter names a field the mailing list does not have: [[Frist]]. Each recipient "
       "would get it as written. Send anyway?"},
      {"Hi", "", {.unsubscribeMailto = "[[List]]@example.org",
                  .unsubscribeUrl = "https://example.org/u?id=[[Id]]&n=[[Name]]"},
       "The letter names fields the mailing list does not have: [[List]], [[Id]]. Each "
       "recipient would get them as written. Send anyway?"},
  };
  CPostridrDoc& document = recorded.document;
  for (const auto& row : rows) {
    recorded.messageView.body = row.body;
    recorded.messageView.subject = row.subject;
    document.SetLetterOptions(row.options);
    const std::vector<UnknownLetterField> fields = FindUnknownLetterFields(document);
    EXPECT_EQ(fields.empty() ? "" : UnknownLetterFieldsQuestion(fields), row.question) << row.body;
  }

  // Ten are named, then a count; a name is shown on one line and cut short.
  std::string body;
  for (int i = 0; i < 12; ++i) body += "[[F" + std::to_string(i) + "]]";
  recorded.messageView.body = body + "[[Two\nLines]][[" + std::string(100, 'x') + "]]";
  document.SetLetterOptions({});
  const std::vector<UnknownLetterField> many = FindUnknownLetterFields(document);
  ASSERT_EQ(many.size(), 14u);
  EXPECT_NE(UnknownLetterFieldsQuestion(many).find("[[F9]] and 4 more. Each"), std::string::npos);
  EXPECT_NE(UnknownLetterFieldsQuestion({many.end() - 2, many.end()})
                .find("[[Two?Lines]], [[" + std::string(60, 'x') + "...]]."),
            std::string::npos);
}

TEST_F(LetterRunCheckTest, TheComposerPreparesAgainOnlyWhenTheLetterOrOptionsChange) {
  CPostridrDoc& document = recorded.document;
  document.SetLetterOptions({.format = MessageFormat::Markdown, .mergeSubject = true});
  LetterComposer composer;
  ASSERT_TRUE(composer.Take(document).ok());
  ASSERT_TRUE(composer.ForRecipient({"Ann\r\nBcc: x@y.org", "ann@example.com"}, "ann@example.com")
                  .ok());
  std::string out;
  composer.AppendSubjectLine(out);
  EXPECT_EQ(out, "Subject: Hi Ann  Bcc: x@y.org\r\n");
  EXPECT_TRUE(composer.MakesBody());

  document.SetLetterOptions({});
  ASSERT_TRUE(composer.Take(document).ok());
  out.clear();
  composer.AppendSubjectLine(out);
  EXPECT_EQ(out, "Subject: Hi [[Name]]\r\n");
  EXPECT_FALSE(composer.MakesBody());
}

}  // namespace
}  // namespace postrider
