#include <gtest/gtest.h>

#include <string>

#include "platform/password_command.h"
#include "platform/secret.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;

TEST(PasswordCommandTest, TheFirstLineOfTheOutputIsThePassword) {
  Result<Secret> secret = RunPasswordCommand("printf 'pass word\\r\\nsecond line\\n'");
  ASSERT_TRUE(secret) << secret.status().message();
  EXPECT_EQ(secret->reveal(), "pass word");
  Result<Secret> unended = RunPasswordCommand("printf 'no line end'");
  ASSERT_TRUE(unended);
  EXPECT_EQ(unended->reveal(), "no line end");
}

TEST(PasswordCommandTest, AFailingOrSilentCommandIsAnErrorThatHoldsNoneOfItsWords) {
  Result<Secret> failed = RunPasswordCommand("echo hunter2; exit 3");
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.status().message(), "PasswordCommand failed (exit status 3).");
  Result<Secret> silent = RunPasswordCommand("true");
  ASSERT_FALSE(silent);
  EXPECT_EQ(silent.status().message(), "PasswordCommand printed no password.");
  EXPECT_FALSE(RunPasswordCommand("/no/such/program"));
}

TEST(PasswordFileTest, ReadsTheFirstLineAndNamesAFileItCannotRead) {
  TempDir dir;
  Result<Secret> secret = ReadPasswordFile(dir.Write("password", "s3cret\nignored\n"));
  ASSERT_TRUE(secret);
  EXPECT_EQ(secret->reveal(), "s3cret");

  const std::string missing = dir.File("missing");
  Result<Secret> absent = ReadPasswordFile(missing);
  ASSERT_FALSE(absent);
  EXPECT_EQ(absent.status().message(),
            "The password file " + missing + " could not be opened: No such file or directory");
  EXPECT_FALSE(ReadPasswordFile(dir.Write("empty", "")));
}

TEST(SecretTest, MovingLeavesNothingBehind) {
  Secret first("abc");
  Secret second(std::move(first));
  EXPECT_TRUE(first.empty());  // NOLINT(bugprone-use-after-move): that is the point
  EXPECT_EQ(second.reveal(), "abc");
  second.Clear();
  EXPECT_TRUE(second.empty());
}

}  // namespace
}  // namespace postrider
