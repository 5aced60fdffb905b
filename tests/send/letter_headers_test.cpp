#include "send/letter_headers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/address_list.h"
#include "support/python_mail_parser.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::HeaderParsedByPython;
using testing::TempDir;
using Strings = std::vector<std::string>;

std::string Listed(const std::vector<ListedAddress>& addresses) {
  std::string out;
  for (const ListedAddress& a : addresses) out += "[" + a.name + "|" + a.address + "]";
  return out;
}

// A header as a mail program reads it, from a message that holds it.
std::string ReadBack(const std::string& headerLines, const std::string& name) {
  TempDir dir;
  const std::string message =
      "From: a@x.org\r\nTo: b@x.org\r\n" + headerLines + "Subject: s\r\n\r\nHi\r\n";
  return HeaderParsedByPython(dir.Write("m.eml", message), name);
}

TEST(AddressListTest, ReadsCommaSeparatedAddressesWithOrWithoutNames) {
  const struct {
    std::string value;
    std::string listed;
  } cases[] = {
      {"", ""},
      {" , ;", ""},
      {"ann@x.org", "[|ann@x.org]"},
      {"ann@x.org, bob@y.org;cy@z.org", "[|ann@x.org][|bob@y.org][|cy@z.org]"},
      {"Ann Smith <ann@x.org>", "[Ann Smith|ann@x.org]"},
      {"\"Smith, Ann\" <ann@x.org>, Bob <bob@y.org>", "[Smith, Ann|ann@x.org][Bob|bob@y.org]"},
      {"\"Say \\\"hi\\\"\" <ann@x.org>", "[Say \"hi\"|ann@x.org]"},
      {"<ann@x.org>", "[|ann@x.org]"},
  };
  for (const auto& c : cases) {
    Result<std::vector<ListedAddress>> listed = ParseAddressList(c.value);
    ASSERT_TRUE(listed.ok()) << c.value << ": " << listed.status().message();
    EXPECT_EQ(Listed(*listed), c.listed) << c.value;
  }
  for (const std::string bad : {"\"Ann <ann@x.org>", "Ann <ann@x.org", "ann@x.org>",
                                "Ann <ann@x.org> more", "Ann <>"}) {
    EXPECT_FALSE(ParseAddressList(bad).ok()) << bad;
  }
}

TEST(AddressListTest, AnAddressIsUsableOnlyWhenItCanGoIntoTheEnvelope) {
  EXPECT_TRUE(CheckUsableAddress("ann@x.org").ok());
  EXPECT_TRUE(CheckUsableAddress("ann@münchen.de").ok());
  for (const std::string& bad : Strings{"ann", "ann@x", "ann@x.org\r\nRCPT TO:<eve@y.org>",
                                "a b@x.org", std::string(300, 'a') + "@x.org"}) {
    const Status status = CheckUsableAddress(bad);
    EXPECT_FALSE(status.ok()) << bad;
    EXPECT_EQ(status.message().find('\n'), std::string::npos) << status.message();
  }
}

TEST(LetterHeadersTest, CcLineCarriesEachNameAndAddressAsAMailProgramReadsThem) {
  std::string line;
  AppendCcLine({}, line);
  EXPECT_EQ(line, "");

  AppendCcLine({{"", "ann@x.org"}, {"Bob Brown", "bob@y.org"}}, line);
  EXPECT_EQ(line, "Cc: ann@x.org, Bob Brown <bob@y.org>\r\n");

  const std::vector<ListedAddress> hostile = {
      {"Smith, Ann", "ann@x.org"},
      {"Zoë \"Z\" Ångström", "zoe@münchen.de"},
      {"Eve\r\nBcc: all@y.org", "eve@y.org"},
      {std::string("Bo\0\x1b[1m", 7), "bo@y.org"},
      {"=?UTF-8?B?G1szMW0=?= Cy", "cy@y.org"},
      {std::string(90, 'n'), "long@y.org"},
      {std::string(900, 'm'), "longer@y.org"},
  };
  line.clear();
  AppendCcLine(hostile, line);
  // Folded where it can be; a word of 90 letters cannot, but no line passes 998.
  for (std::size_t at = 0, end; (end = line.find("\r\n", at)) != std::string::npos; at = end + 2) {
    EXPECT_LE(end - at, line.compare(at, 3, " nn") == 0 ? 998u : 78u) << line;
  }
  EXPECT_EQ(line.find("\r\nBcc"), std::string::npos);
  std::string read = ReadBack(line, "Cc");
  // Python keeps the blanks between a display name's encoded words.
  std::erase(read, ' ');
  EXPECT_EQ(read,
            "Smith,Ann\tann@x.org\n"
            "Zoë\"Z\"Ångström\tzoe@xn--mnchen-3ya.de\n"
            "EveBcc:all@y.org\teve@y.org\n"
            "Bo[1m\tbo@y.org\n"
            "=?UTF-8?B?G1szMW0=?=Cy\tcy@y.org\n" +
                std::string(90, 'n') + "\tlong@y.org\n" + std::string(900, 'm') +
                "\tlonger@y.org");
}

TEST(LetterHeadersTest, ReplyToAndUnsubscribeLinesAreExact) {
  std::string out;
  AppendReplyToLine("", out);
  AppendListUnsubscribeLines("", "", out);
  EXPECT_EQ(out, "");

  AppendReplyToLine("office@münchen.de", out);
  EXPECT_EQ(out, "Reply-To: office@xn--mnchen-3ya.de\r\n");

  const struct {
    std::string mailto;
    std::string https;
    std::string lines;
  } cases[] = {
      {"mailto:off@x.org?subject=7", "",
       "List-Unsubscribe: <mailto:off@x.org?subject=7>\r\n"},
      {"", "https://x.org/u?id=7",
       "List-Unsubscribe: <https://x.org/u?id=7>\r\n"
       "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"},
      {"mailto:off@x.org", "https://x.org/u",
       "List-Unsubscribe: <mailto:off@x.org>, <https://x.org/u>\r\n"
       "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"},
      {"mailto:off@x.org", "https://x.org/" + std::string(80, 'u'),
       "List-Unsubscribe: <mailto:off@x.org>,\r\n <https://x.org/" + std::string(80, 'u') +
           ">\r\nList-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"},
  };
  for (const auto& c : cases) {
    out.clear();
    AppendListUnsubscribeLines(c.mailto, c.https, out);
    EXPECT_EQ(out, c.lines);
  }
}

TEST(LetterHeadersTest, MergedSubjectTakesEachValueAsTextOnItsOwnLine) {
  const Strings fields = {"Name", "Town"};
  const struct {
    std::string subject;
    Strings values;
    std::string line;
  } cases[] = {
      {"Hello [[Name]] from [[Town]]", {"Ann", "Bonn"}, "Subject: Hello Ann from Bonn\r\n"},
      {"Hello [[Name]] [[Other]]", {"Ann"}, "Subject: Hello Ann [[Other]]\r\n"},
      {"Hi [[Name]]", {"Ann\r\nBcc: eve@y.org"}, "Subject: Hi Ann  Bcc: eve@y.org\r\n"},
      {"Hi [[Name]]", {"Zoë"}, "Subject: =?UTF-8?B?SGkgWm/Dqw==?=\r\n"},
      {"Hi [[Name]]", {std::string("Ann\0\x1b\x7f", 6)}, "Subject: Hi Ann   \r\n"},
      // Shaped like an encoded word: encoded itself, so no reader decodes the value.
      {"Hi [[Name]]", {"=?UTF-8?B?G1szMW0=?="},
       "Subject: =?UTF-8?B?SGkgPT9VVEYtOD9CP0cxc3pNVzA9Pz0=?=\r\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendMergedSubjectLine(c.subject, fields, c.values, out);
    EXPECT_EQ(out, c.line);
  }
}

}  // namespace
}  // namespace postrider
