#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace postrider {
namespace {

using namespace std::string_literals;

TEST(ProfileFileRead, MatchesNamesWithoutCaseAndTrimsBlanks) {
  const ProfileFile profile = ProfileFile::FromText(
      "\xEF\xBB\xBF[Settings]\r\n"
      "  RealName \t=  Ann Smith \t\r\n"
      "[ Other ]\n"
      "Key=other");
  EXPECT_EQ(profile.Find("settings", "REALNAME"), "Ann Smith");
  EXPECT_EQ(profile.Find(" SETTINGS ", " realname "), "Ann Smith");
  EXPECT_EQ(profile.Find("other", "key"), "other");
  EXPECT_EQ(profile.Find("Settings", "Key"), std::nullopt);
  EXPECT_EQ(profile.Find("Missing", "Key"), std::nullopt);
}

TEST(ProfileFileRead, OnlyKeyLinesInsideASectionAreKeys) {
  const ProfileFile profile = ProfileFile::FromText(
      "Loose=before any section\n"
      "[S]\n"
      "; Comment=not a key\n"
      "NoEquals\n"
      "=no name\n"
      "Empty=\n");
  EXPECT_EQ(profile.Find("", "Loose"), std::nullopt);
  EXPECT_EQ(profile.Find("S", "Loose"), std::nullopt);
  EXPECT_EQ(profile.Find("S", "; Comment"), std::nullopt);
  EXPECT_EQ(profile.Find("S", "NoEquals"), std::nullopt);
  EXPECT_EQ(profile.Find("S", ""), std::nullopt);
  EXPECT_EQ(profile.Find("S", "Empty"), "");
  EXPECT_EQ(profile.GetString("S", "Empty", "fallback"), "");
}

TEST(ProfileFileRead, RemovesOnePairOfMatchingQuotes) {
  const ProfileFile profile = ProfileFile::FromText(
      "[S]\nA=\"double\"\nB='single'\nC=\"mixed'\nD=\"\"inner\"\"\nE=\"\nF= \" padded \" \n");
  EXPECT_EQ(profile.Find("S", "A"), "double");
  EXPECT_EQ(profile.Find("S", "B"), "single");
  EXPECT_EQ(profile.Find("S", "C"), "\"mixed'");
  EXPECT_EQ(profile.Find("S", "D"), "\"inner\"");
  EXPECT_EQ(profile.Find("S", "E"), "\"");
  EXPECT_EQ(profile.Find("S", "F"), " padded ");
}

TEST(ProfileFileRead, GetStringCutsValueAndFallbackToTheBuffer) {
  const ProfileFile profile = ProfileFile::FromText("[S]\nLong=" + std::string(300, 'x') + "\n");
  EXPECT_EQ(profile.GetString("S", "Long", ""), std::string(255, 'x'));
  EXPECT_EQ(profile.GetString("S", "Long", "", 4), "xxx");
  EXPECT_EQ(profile.GetString("S", "Missing", "abcdef", 4), "abc");
  EXPECT_EQ(profile.GetString("S", "Missing", " kept as given "), " kept as given ");
  EXPECT_EQ(profile.GetString("S", "Long", "", 1), "");
  EXPECT_EQ(profile.GetString("S", "Long", "", 0), "");
}

TEST(ProfileFileRead, GetIntTakesTheLeadingDecimalNumber) {
  const ProfileFile profile = ProfileFile::FromText(
      "[S]\nPlain=42\nSigned=-7 apples\nPlus=+5\nQuoted=\" 12\"\nEmpty=\nBlank=\"  \"\n"
      "Words=abc\nSign=-\nHuge=99999999999\nTiny=-99999999999\nMax=2147483647\nMin=-2147483648\n");
  EXPECT_EQ(profile.GetInt("S", "Plain", 9), 42);
  EXPECT_EQ(profile.GetInt("S", "Signed", 9), -7);
  EXPECT_EQ(profile.GetInt("S", "Plus", 9), 5);
  EXPECT_EQ(profile.GetInt("S", "Quoted", 9), 12);
  EXPECT_EQ(profile.GetInt("S", "Empty", 9), 9);
  EXPECT_EQ(profile.GetInt("S", "Blank", 9), 9);
  EXPECT_EQ(profile.GetInt("S", "Missing", -1), -1);
  EXPECT_EQ(profile.GetInt("S", "Words", 9), 0);
  EXPECT_EQ(profile.GetInt("S", "Sign", 9), 0);
  EXPECT_EQ(profile.GetInt("S", "Huge", 9), INT_MAX);
  EXPECT_EQ(profile.GetInt("S", "Tiny", 9), INT_MIN);
  EXPECT_EQ(profile.GetInt("S", "Max", 9), INT_MAX);
  EXPECT_EQ(profile.GetInt("S", "Min", 9), INT_MIN);
}

TEST(ProfileFileRead, FirstDuplicateSectionAndKeyWin) {
  ProfileFile profile = ProfileFile::FromText("[S]\nK=first\nK=second\n[s]\nK=third\nOnlyHere=x\n");
  EXPECT_EQ(profile.Find("S", "K"), "first");
  EXPECT_EQ(profile.Find("S", "OnlyHere"), std::nullopt);

  ASSERT_TRUE(profile.SetString("S", "K", "new"));
  ASSERT_TRUE(profile.SetString("S", "OnlyHere", "y"));
  EXPECT_EQ(profile.Text(), "[S]\nK=new\nK=second\nOnlyHere=y\n[s]\nK=third\nOnlyHere=x\n");
}

TEST(ProfileFileWrite, ReplacesValueWhereItStandsAndKeepsEverythingElse) {
  ProfileFile profile = ProfileFile::FromText(
      "; settings\r\n"
      "[Settings]\r\n"
      "  realname = Old Name\r\n"
      "Other=kept as it was   \r\n"
      "\r\n"
      "[More]\r\n"
      "garbage line\r\n"
      "RealName=untouched");
  ASSERT_TRUE(profile.SetString("SETTINGS", "RealName", "New Name"));
  EXPECT_EQ(profile.Text(),
            "; settings\n"
            "[Settings]\n"
            "  realname = New Name\n"
            "Other=kept as it was   \n"
            "\n"
            "[More]\n"
            "garbage line\n"
            "RealName=untouched\n");
  ASSERT_TRUE(profile.SetString("Settings", "RealName", ""));
  EXPECT_EQ(profile.Find("Settings", "RealName"), "");
}

TEST(ProfileFileWrite, AddsMissingKeyAfterTheSectionsLastKey) {
  ProfileFile profile = ProfileFile::FromText(
      "[A]\na=1\n; about B\n\n[B]\n\n[Empty]\n\n[C]\nc=3");
  ASSERT_TRUE(profile.SetString("A", "a2", "x"));
  ASSERT_TRUE(profile.SetString("Empty", "e", "y"));
  ASSERT_TRUE(profile.SetString("C", "c2", "z"));
  EXPECT_EQ(profile.Text(),
            "[A]\na=1\na2=x\n; about B\n\n[B]\n\n[Empty]\ne=y\n\n[C]\nc=3\nc2=z\n");
}

TEST(ProfileFileWrite, AddsMissingSectionAtTheEndAfterOneEmptyLine) {
  ProfileFile empty;
  ASSERT_TRUE(empty.SetInt("Settings", "Log", 1));
  ASSERT_TRUE(empty.SetInt("Settings", "CurrentProjectIdx", -1));
  EXPECT_EQ(empty.Text(), "[Settings]\nLog=1\nCurrentProjectIdx=-1\n");

  ProfileFile noFinalLineEnd = ProfileFile::FromText("[A]\na=1");
  ASSERT_TRUE(noFinalLineEnd.SetString("B", "b", "2"));
  EXPECT_EQ(noFinalLineEnd.Text(), "[A]\na=1\n\n[B]\nb=2\n");

  ProfileFile endsBlank = ProfileFile::FromText("[A]\na=1\n\n");
  ASSERT_TRUE(endsBlank.SetString("B", "b", "2"));
  EXPECT_EQ(endsBlank.Text(), "[A]\na=1\n\n[B]\nb=2\n");

  ProfileFile onlyMark = ProfileFile::FromText("\xEF\xBB\xBF");
  ASSERT_TRUE(onlyMark.SetString("B", "b", "2"));
  EXPECT_EQ(onlyMark.Text(), "\xEF\xBB\xBF[B]\nb=2\n");
}

TEST(ProfileFileWrite, ValuesReadBackExactlyAsStored) {
  const std::string values[] = {"",        " leading",  "trailing\t", "  both  ", "\"quoted\"",
                                "'single'", "\"",        "'",          "\"half",   "\" mixed '",
                                "a=b;c[d]", "nul\0byte"s, "\xC3\xA9t\xE9"};
  ProfileFile profile = ProfileFile::FromText("[S]\nV=old\n");
  for (const std::string& value : values) {
    SCOPED_TRACE(value);
    ASSERT_TRUE(profile.SetString("S", "V", value));
    ASSERT_TRUE(profile.SetString("New", "V", value));
    EXPECT_EQ(profile.Find("S", "V"), value);
    const ProfileFile reread = ProfileFile::FromText(profile.Text());
    EXPECT_EQ(reread.Find("S", "V"), value);
    EXPECT_EQ(reread.Find("New", "V"), value);
  }
  ASSERT_TRUE(profile.SetString("S", "Plain", "no quotes needed"));
  EXPECT_NE(profile.Text().find("Plain=no quotes needed\n"), std::string::npos);
}

TEST(ProfileFileWrite, RefusesWhatTheFileCouldNotGiveBack) {
  const std::string original = "[S]\nK=v\n";
  ProfileFile profile = ProfileFile::FromText(original);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } refused[] = {
      {"S", "K", "two\nlines"}, {"S", "K", "cr\ronly"},   {"S", "new\nkey", "v"},
      {"S\r\n", "K", "v"},      {"A]B", "K", "v"},        {"S", "a=b", "v"},
      {"S", "[K]", "v"},        {"S", ";K", "v"},         {"S", "", "v"},
      {"S", "  ", "v"},
  };
  for (const auto& entry : refused) {
    SCOPED_TRACE(std::string(entry.section) + "/" + entry.key + "/" + entry.value);
    const Status status = profile.SetString(entry.section, entry.key, entry.value);
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(status.message().empty());
  }
  EXPECT_EQ(profile.Text(), original);

  ASSERT_TRUE(profile.SetString("S", "a]b", "v"));
  ASSERT_TRUE(profile.SetString("x=y", "K", "v"));
  EXPECT_EQ(profile.Find("S", "a]b"), "v");
  EXPECT_EQ(ProfileFile::FromText(profile.Text()).Find("x=y", "K"), "v");
}

TEST(ProfileFileRead, SurvivesBinaryGarbageAndHugeLines) {
  std::string garbage;
  unsigned state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    garbage += static_cast<char>(state >> 16);
  }
  const std::string text = garbage + "\n[S]\nK=" + std::string(1 << 20, 'v') + "\0x"s +
                           "\n[T]\nK=after garbage";
  ProfileFile profile = ProfileFile::FromText(text);
  EXPECT_EQ(profile.Find("S", "K"), std::string(1 << 20, 'v') + "\0x"s);
  EXPECT_EQ(profile.GetString("S", "K", ""), std::string(255, 'v'));
  EXPECT_EQ(profile.Find("T", "K"), "after garbage");
  ASSERT_TRUE(profile.SetString("T", "K", "changed"));
  EXPECT_EQ(ProfileFile::FromText(profile.Text()).Find("T", "K"), "changed");
  EXPECT_EQ(ProfileFile::FromText(std::string(5000, '\0')).Find("S", "K"), std::nullopt);
}

TEST(ProfileFileWrite, CarriageReturnsAtALineEndDoNotChangeFromSaveToSave) {
  for (const std::string text : {"[S]\nA=1\r\r", "[S]\r\nA=1\r\r\nB=2\r\n", "[S]\nA=1\r\r\r\n"}) {
    const ProfileFile read = ProfileFile::FromText(text);
    EXPECT_EQ(read.Find("S", "A"), "1") << text;
    const std::string saved = read.Text();
    EXPECT_EQ(ProfileFile::FromText(saved).Text(), saved) << text;
    EXPECT_EQ(ProfileFile::FromText(saved).Find("S", "A"), "1") << text;
  }
}

}  // namespace
}  // namespace postrider
