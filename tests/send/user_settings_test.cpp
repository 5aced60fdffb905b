#include "send/user_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

TEST(UserSettings, MissingFileGivesDefaults) {
  TempDir dir;
  const UserSettings settings = LoadSettings(dir.File("none/postrider.ini"));
  EXPECT_EQ(settings, UserSettings{});
  EXPECT_EQ(settings.log, 0);
  EXPECT_EQ(settings.currentProjectIdx, -1);
  // A folder where the file should be cannot be read: defaults as well.
  EXPECT_EQ(LoadSettings(dir.path()), UserSettings{});
}

TEST(UserSettings, SaveWritesTheSixValuesThenTheServersInOrderAndCreatesTheFolder) {
  TempDir dir;
  const std::string path = dir.File("config/postrider/postrider.ini");
  UserSettings settings{"Sam Sender", "sam@example.net", "smtp.example.net", 1, 3,
                        "/home/sam/letters/june.prj"};
  settings.security = "StartTLS";
  settings.userName = "sam";
  settings.passwordCommand = "secret-tool lookup host smtp.example.net";
  settings.tlsTrustFile = "/home/sam/ca.pem";
  settings.tlsFingerprint = "AB:CD";
  settings.allowPlainAuth = 1;
  settings.heloName = "laptop.example.net";
  settings.messagesPerMinute = 600;
  settings.messagesPerConnection = 50;
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(ReadFileBytes(path),
            "[Settings]\n"
            "RealName=Sam Sender\n"
            "ReturnAddress=sam@example.net\n"
            "SMTPServer=smtp.example.net\n"
            "Log=1\n"
            "CurrentProjectIdx=3\n"
            "CurrentProjectFile=/home/sam/letters/june.prj\n"
            "Security=StartTLS\n"
            "UserName=sam\n"
            "PasswordCommand=secret-tool lookup host smtp.example.net\n"
            "TLSTrustFile=/home/sam/ca.pem\n"
            "TLSFingerprint=AB:CD\n"
            "AllowPlainAuth=1\n"
            "HeloName=laptop.example.net\n"
            "MessagesPerMinute=600\n"
            "MessagesPerConnection=50\n");
  EXPECT_EQ(LoadSettings(path), settings);
}

TEST(UserSettings, AnOldFileMeansWhatItMeant) {
  TempDir dir;
  const std::string path = dir.Write("postrider.ini",
                                     "[Settings]\nReturnAddress=sam@example.net\n"
                                     "SMTPServer=mail.example.net\nLog=0\n");
  const UserSettings settings = LoadSettings(path);
  EXPECT_EQ(settings.security, "none");
  EXPECT_EQ(settings.userName, "");
  EXPECT_EQ(settings.allowPlainAuth, 0);
  EXPECT_EQ(settings.heloName, "");
  EXPECT_EQ(settings.tlsFingerprint, "");
  EXPECT_EQ(settings.messagesPerMinute, 0);
  EXPECT_EQ(settings.messagesPerConnection, 0);
  EXPECT_EQ(settings.authMethod, "password");
  EXPECT_EQ(settings.tokenCommand, "");
  EXPECT_EQ(settings.oauthClientId, "");
}

TEST(UserSettings, TheSignInsKeysAreWrittenOnceTheyMeanSomethingAndKeptAfter) {
  TempDir dir;
  const std::string path = dir.File("postrider.ini");
  UserSettings settings{"Sam", "sam@example.net", "smtp.gmail.com", 0, -1, ""};
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(ReadFileBytes(path).find("AuthMethod"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(path).find("OAuth"), std::string::npos);

  settings.authMethod = "oauth2";
  settings.tokenCommand = "oauth2-helper --account sam";
  settings.oauthClientId = "1234.apps.example";
  settings.oauthClientSecret = "GOCSPX-not-secret";
  settings.oauthAuthorizeUrl = "https://accounts.google.com/o/oauth2/v2/auth";
  settings.oauthTokenUrl = "https://oauth2.googleapis.com/token";
  settings.oauthScope = "https://mail.google.com/ openid email";
  settings.oauthTrustFile = "/etc/my-ca.pem";
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(LoadSettings(path), settings);
  // A file with a client secret in it is for its owner's eyes only.
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_NE(ReadFileBytes(path).find("MessagesPerConnection=0\n"
                                     "AuthMethod=oauth2\n"
                                     "TokenCommand=oauth2-helper --account sam\n"
                                     "OAuthClientId=1234.apps.example\n"
                                     "OAuthClientSecret=GOCSPX-not-secret\n"
                                     "OAuthAuthorizeUrl=https://accounts.google.com/o/oauth2/v2/auth\n"
                                     "OAuthTokenUrl=https://oauth2.googleapis.com/token\n"
                                     "OAuthScope=https://mail.google.com/ openid email\n"
                                     "OAuthTrustFile=/etc/my-ca.pem\n"),
            std::string::npos)
      << ReadFileBytes(path);

  // Back to the password: the keys stay, with what they now say.
  settings.authMethod = "password";
  settings.tokenCommand.clear();
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(LoadSettings(path), settings);
  EXPECT_NE(ReadFileBytes(path).find("AuthMethod=password\nTokenCommand=\n"), std::string::npos);
}

TEST(UserSettings, ALimitThatIsNoCountMeansNoLimit) {
  TempDir dir;
  const std::string path = dir.Write("postrider.ini",
                                     "[Settings]\nMessagesPerMinute=-30\n"
                                     "MessagesPerConnection=many\n");
  const UserSettings settings = LoadSettings(path);
  EXPECT_EQ(settings.messagesPerMinute, 0);
  EXPECT_EQ(settings.messagesPerConnection, 0);
}

TEST(UserSettings, ValuesComeBackExactlyAsTyped) {
  TempDir dir;
  const std::string path = dir.File("postrider.ini");
  UserSettings settings{"  Sam  ", "\"sam@example.net\"", " 'quoted' ", -7, -1, ""};
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(LoadSettings(path), settings);
}

TEST(UserSettings, SaveKeepsTheRecentFileListAndOtherLines) {
  TempDir dir;
  const std::string path = dir.Write("postrider.ini",
                                     "; my settings\n"
                                     "[Recent File List]\n"
                                     "File1=/home/sam/a.prj\n"
                                     "[settings]\n"
                                     "log=1\n"
                                     "Other=kept\n");
  UserSettings settings = LoadSettings(path);
  EXPECT_EQ(settings.log, 1);
  settings.realName = "Sam";
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(ReadFileBytes(path),
            "; my settings\n"
            "[Recent File List]\n"
            "File1=/home/sam/a.prj\n"
            "[settings]\n"
            "log=1\n"
            "Other=kept\n"
            "RealName=Sam\n"
            "ReturnAddress=\n"
            "SMTPServer=\n"
            "CurrentProjectIdx=-1\n"
            "CurrentProjectFile=\n"
            "Security=none\n"
            "UserName=\n"
            "PasswordCommand=\n"
            "TLSTrustFile=\n"
            "TLSFingerprint=\n"
            "AllowPlainAuth=0\n"
            "HeloName=\n"
            "MessagesPerMinute=0\n"
            "MessagesPerConnection=0\n");
}

TEST(UserSettings, ReadsStringsThroughTheirBufferSizes) {
  TempDir dir;
  const std::string path =
      dir.Write("postrider.ini", "[Settings]\nRealName=" + std::string(300, 'n') +
                                     "\nCurrentProjectFile=/" + std::string(5000, 'p') + "\n");
  const UserSettings settings = LoadSettings(path);
  EXPECT_EQ(settings.realName, std::string(255, 'n'));
  EXPECT_EQ(settings.currentProjectFile, "/" + std::string(4094, 'p'));
}

// Saving what was read must not cut what was not read: a value longer than
// its buffer, or one holding a lone CR the file can keep but not be given.
TEST(UserSettings, AValueSavedUnchangedIsLeftAsTheFileHoldsIt) {
  TempDir dir;
  const std::string longServer = std::string(300, 'h') + ":25";
  const std::string longScope = std::string(5000, 's');
  const std::string text = "[Settings]\nSMTPServer=" + longServer + "\nUserName=" +
                           std::string(300, 'u') + "\nReturnAddress=ann@example.test\rBcc: x\n" +
                           "AuthMethod=oauth2\nOAuthScope=" + longScope + "\n";
  const std::string path = dir.Write("postrider.ini", text);
  UserSettings settings = LoadSettings(path);
  ASSERT_EQ(settings.smtpServer, std::string(255, 'h'));
  ASSERT_EQ(settings.oauthScope, std::string(4095, 's'));
  settings.log = 1;
  ASSERT_TRUE(SaveSettings(path, settings));
  const std::string saved = ReadFileBytes(path);
  for (const std::string& line :
       {"SMTPServer=" + longServer + "\n", "UserName=" + std::string(300, 'u') + "\n",
        std::string("ReturnAddress=ann@example.test\rBcc: x\n"), "OAuthScope=" + longScope + "\n",
        std::string("Log=1\n")}) {
    EXPECT_NE(saved.find(line), std::string::npos) << line.substr(0, 40);
  }
  // A value the user changed is written as it is.
  settings.smtpServer = "mail.example.test";
  ASSERT_TRUE(SaveSettings(path, settings));
  EXPECT_EQ(LoadSettings(path).smtpServer, "mail.example.test");
}

// The desktop holds what it read until it closes; meanwhile a hand edit, or
// a second desktop, changes the file.
TEST(UserSettings, WhatAnotherProgramChangedMeanwhileStaysUnlessChangedHereToo) {
  TempDir dir;
  const std::string path = dir.Write(
      "postrider.ini", "[Settings]\nRealName=Ann\nSMTPServer=old.example.test\nLog=0\n");
  const UserSettings loaded = LoadSettings(path);
  dir.Write("postrider.ini",
            "[Settings]\nRealName=Ann\nSMTPServer=new.example.test\nLog=1\n"
            "AuthMethod=oauth2\nOAuthClientId=by-hand\nOAuthClientSecret=s3cret\n");
  UserSettings settings = loaded;
  settings.realName = "Bob";
  settings.currentProjectFile = "/p.prj";
  ASSERT_TRUE(SaveSettings(path, settings, loaded));
  const UserSettings saved = LoadSettings(path);
  EXPECT_EQ(saved.realName, "Bob");
  EXPECT_EQ(saved.currentProjectFile, "/p.prj");
  EXPECT_EQ(saved.smtpServer, "new.example.test");
  EXPECT_EQ(saved.log, 1);
  EXPECT_EQ(saved.authMethod, "oauth2");
  EXPECT_EQ(saved.oauthClientId, "by-hand");
  EXPECT_EQ(saved.oauthClientSecret, "s3cret");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u);  // the secret another program wrote is kept private too
  // A key the file lost is written back.
  dir.Write("postrider.ini", "[Settings]\n");
  ASSERT_TRUE(SaveSettings(path, settings, loaded));
  EXPECT_EQ(LoadSettings(path).smtpServer, "old.example.test");
}

TEST(UserSettings, AValueTheFileCannotHoldIsReportedAndTheRestIsSaved) {
  TempDir dir;
  const std::string path = dir.File("postrider.ini");
  ASSERT_TRUE(SaveSettings(path, UserSettings{"Old", "old@example.net", "", 0, -1, "/old.prj"}));
  const Status status =
      SaveSettings(path, UserSettings{"New", "new@example.net", "", 1, -1, "/line\nbreak.prj"});
  EXPECT_FALSE(status);
  EXPECT_NE(status.message().find("CurrentProjectFile"), std::string::npos) << status.message();
  EXPECT_EQ(LoadSettings(path),
            (UserSettings{"New", "new@example.net", "", 1, -1, "/old.prj"}));
}

TEST(UserSettings, SaveFailureSaysWhy) {
  TempDir dir;
  dir.Write("file", "");
  const Status status = SaveSettings(dir.File("file/postrider.ini"), UserSettings{});
  EXPECT_FALSE(status);
  EXPECT_FALSE(status.message().empty());
}

}  // namespace
}  // namespace postrider
