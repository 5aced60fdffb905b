#include <gtest/gtest.h>

#include "platform/base64.h"
#include "platform/url_text.h"

namespace postrider {
namespace {

TEST(UrlText, FormsAndQueriesRoundTripWhateverTheyHold) {
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"scope", "https://mail.google.com/ openid"},
      {"redirect_uri", "http://127.0.0.1:40123/"},
      {"odd", "a&b=c+d%e\xc3\xa9~._-"},
      {"empty", ""}};
  const std::string form = FormEncode(fields);
  EXPECT_EQ(form.rfind("scope=https%3A%2F%2Fmail.google.com%2F%20openid&redirect_uri=", 0), 0u);
  const auto parsed = ParseQuery(form);
  ASSERT_TRUE(parsed);
  for (const auto& [name, value] : fields) EXPECT_EQ(parsed->at(name), value) << name;

  struct Case {
    std::string query;
    bool ok;
    std::string code;
  };
  const Case cases[] = {
      {"code=a+b%2Fc&state=x", true, "a b/c"},
      {"state=x&code=1&code=2", true, "1"},  // the first of two
      {"&&code=z&", true, "z"},
      {"code=%zz", false, ""},
      {"code=%4", false, ""},
      {"code=%", false, ""},
  };
  for (const Case& c : cases) {
    const auto query = ParseQuery(c.query);
    ASSERT_EQ(query.has_value(), c.ok) << c.query;
    if (query) {
      EXPECT_EQ(query->at("code"), c.code);
    }
  }
}

TEST(UrlText, OnlyHttpsAddressesWithAHostCount) {
  EXPECT_TRUE(IsHttpsUrl("https://login.microsoftonline.com/common/oauth2/v2.0/token"));
  EXPECT_TRUE(IsHttpsUrl("HTTPS://127.0.0.1:8443/token"));
  EXPECT_FALSE(IsHttpsUrl("http://login.example.com/token"));
  EXPECT_FALSE(IsHttpsUrl("https://"));
  EXPECT_FALSE(IsHttpsUrl("https:///token"));
  EXPECT_FALSE(IsHttpsUrl("file:///etc/passwd"));
  EXPECT_FALSE(IsHttpsUrl(""));
}

TEST(Base64, DecodesBothAlphabetsWithOrWithoutPaddingAndRefusesAnythingElse) {
  EXPECT_EQ(Base64Url("\xfb\xff"), "-_8");
  EXPECT_EQ(DecodeBase64("-_8"), std::string("\xfb\xff"));
  EXPECT_EQ(DecodeBase64("+/8="), std::string("\xfb\xff"));
  EXPECT_EQ(DecodeBase64(Base64(std::string_view("any bytes\x01\x00", 11))),
            std::string("any bytes\x01\x00", 11));
  EXPECT_EQ(DecodeBase64(""), std::string());
  EXPECT_FALSE(DecodeBase64("AQ= ="));
  EXPECT_FALSE(DecodeBase64("A"));
  EXPECT_FALSE(DecodeBase64("AQ\n=="));
}

}  // namespace
}  // namespace postrider
