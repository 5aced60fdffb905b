#include "send/letter_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace postrider {
namespace {

using Strings = std::vector<std::string>;

const Strings kFields = {"Email", "Name", "Copies", "Hidden", "Id"};

Result<LetterRun> Prepare(const LetterOptions& options, const std::string& body = "Hi") {
  LetterRunSource source;
  source.options = &options;
  source.fieldNames = &kFields;
  source.body = body;
  source.subject = "News";
  return PrepareLetterRun(source);
}

TEST(LetterRunTest, OptionsThatCannotWorkAreRefusedBeforeTheRunByName) {
  const struct {
    LetterOptions options;
    std::string refusal;
  } cases[] = {
      {{.ccField = "Cc"}, "The Cc field \"Cc\" is not a field of the mailing list."},
      {{.bccField = "email"}, "The Bcc field \"email\" is not a field of the mailing list."},
      {{.bcc = "me@x"}, "The Bcc address: \"me@x\" is not a valid e-mail address."},
      {{.replyTo = "office@x.org\r\nBcc: eve@y.org"}, "The Reply-To address: "},
      {{.unsubscribeMailto = "[[Name]]"}, "is not an e-mail address"},
      {{.unsubscribeUrl = "http://x.org/u"}, "is not an https address"},
      {{.unsubscribeUrl = "javascript:alert(1)"}, "is not an https address"},
      {{.unsubscribeUrl = "https:///u"}, "is not an https address"},
  };
  for (const auto& c : cases) {
    Result<LetterRun> run = Prepare(c.options);
    ASSERT_FALSE(run.ok()) << c.refusal;
    EXPECT_NE(run.status().message().find(c.refusal), std::string::npos)
        << run.status().message();
  }
  const LetterOptions good{.ccField = "Copies",
                           .bccField = "Hidden",
                           .bcc = "me@x.org",
                           .replyTo = "office@x.org",
                           .unsubscribeMailto = "mailto:off+[[Id]]@x.org",
                           .unsubscribeUrl = "HTTPS://x.org/u?id=[[Id]]"};
  EXPECT_TRUE(Prepare(good).ok());
  EXPECT_TRUE(Prepare({}).ok());
  // A Markdown letter that cannot be rendered stops the run too.
  EXPECT_FALSE(Prepare({.format = MessageFormat::Markdown}, "![x](/no/such/picture.png)").ok());
  Result<LetterRun> markdown = Prepare({.format = MessageFormat::Markdown}, "# Hi [[Name]]");
  ASSERT_TRUE(markdown.ok());
  EXPECT_TRUE(markdown->html.has_value());
  EXPECT_FALSE(Prepare({}, "# Hi")->html.has_value());
}

TEST(LetterRunTest, EachEntryGetsItsCcAndBccInTheEnvelopeOnceAndItsOwnUnsubscribeLinks) {
  const LetterOptions options{.ccField = "Copies",
                              .bccField = "Hidden",
                              .bcc = "me@x.org",
                              .replyTo = "office@x.org",
                              .unsubscribeMailto = "off@x.org?subject=[[Id]]",
                              .unsubscribeUrl = "https://x.org/u?id=[[Id]]&n=[[Name]]"};
  Result<LetterRun> run = Prepare(options);
  ASSERT_TRUE(run.ok()) << run.status().message();

  const Strings values = {"ann@x.org", "Ann & Co", "\"Smith, Bo\" <bo@y.org>, ANN@x.org",
                          "me@X.org; cy@z.org", "7&admin=1#\r\nX: y"};
  Result<RecipientExtras> extras = PrepareRecipientExtras(*run, values, "ann@x.org");
  ASSERT_TRUE(extras.ok()) << extras.status().message();
  // Cc first, then the Bcc field's, then the fixed Bcc; the main recipient
  // and repeats (in any case) are left out.
  EXPECT_EQ(extras->envelope, (Strings{"bo@y.org", "me@X.org", "cy@z.org"}));
  EXPECT_EQ(extras->unsubscribeMailto, "mailto:off@x.org?subject=7%26admin%3D1%23%0D%0AX%3A%20y");
  EXPECT_EQ(extras->unsubscribeUrl,
            "https://x.org/u?id=7%26admin%3D1%23%0D%0AX%3A%20y&n=Ann%20%26%20Co");

  std::string headers;
  AppendLetterOptionHeaders(*run, *extras, headers);
  EXPECT_EQ(headers,
            "Cc: \"Smith, Bo\" <bo@y.org>, ANN@x.org\r\n"
            "Reply-To: office@x.org\r\n"
            "List-Unsubscribe: <mailto:off@x.org?subject=7%26admin%3D1%23%0D%0AX%3A%20y>,\r\n"
            " <https://x.org/u?id=7%26admin%3D1%23%0D%0AX%3A%20y&n=Ann%20%26%20Co>\r\n"
            "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n");
  EXPECT_EQ(headers.find("cy@z.org"), std::string::npos);
  EXPECT_EQ(headers.find("me@x.org"), std::string::npos);

  // No options: nothing more in the envelope or the headers.
  Result<LetterRun> none = Prepare({});
  ASSERT_TRUE(none.ok());
  Result<RecipientExtras> noExtras = PrepareRecipientExtras(*none, values, "ann@x.org");
  ASSERT_TRUE(noExtras.ok());
  EXPECT_TRUE(noExtras->envelope.empty());
  headers.clear();
  AppendLetterOptionHeaders(*none, *noExtras, headers);
  EXPECT_EQ(headers, "");
}

TEST(LetterRunTest, AnEntryWithAnUnusableCcOrBccIsReportedWithTheFieldAndTheValue) {
  Result<LetterRun> run = Prepare({.ccField = "Copies", .bccField = "Hidden"});
  ASSERT_TRUE(run.ok());
  std::string many;
  for (int i = 0; i <= static_cast<int>(kMaxExtraRecipients); ++i) {
    many += "p" + std::to_string(i) + "@x.org,";
  }
  const struct {
    Strings values;
    std::string refusal;
  } cases[] = {
      {{"a@x.org", "", "bo@y", ""}, "The Cc field \"Copies\": \"bo@y\" is not a valid"},
      {{"a@x.org", "", "", "Bo <bo@y.org"}, "The Bcc field \"Hidden\": "},
      {{"a@x.org", "", "bo@y.org\r\nRCPT TO:eve@y.org", ""}, "The Cc field \"Copies\": "},
      {{"a@x.org", "", many, ""}, "at most 50 beside its main recipient"},
  };
  for (const auto& c : cases) {
    Result<RecipientExtras> extras = PrepareRecipientExtras(*run, c.values, "a@x.org");
    ASSERT_FALSE(extras.ok()) << c.refusal;
    EXPECT_NE(extras.status().message().find(c.refusal), std::string::npos)
        << extras.status().message();
    EXPECT_EQ(extras.status().message().find('\n'), std::string::npos);
  }
  // An empty value, or a record too short to have the field: no Cc at all.
  EXPECT_TRUE(PrepareRecipientExtras(*run, {"a@x.org", "", "", ""}, "a@x.org").ok());
  EXPECT_TRUE(PrepareRecipientExtras(*run, {"a@x.org"}, "a@x.org").ok());
}

}  // namespace
}  // namespace postrider
