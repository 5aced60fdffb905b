#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/scripted_smtp_server.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::CliRun;
using testing::ScriptedSmtpServer;
using testing::TempDir;
namespace fs = std::filesystem;

class SendPaceFlagsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("POSTRIDER_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy(fs::path(source) / "examples", dir.File("examples"));
  }
  std::string Project() const { return dir.File("examples/example.prj"); }
  std::string Settings(const std::string& server, const std::string& more = "") const {
    return dir.Write("settings.ini", "[Settings]\nReturnAddress=library@example.com\nSMTPServer=" +
                                         server + "\n" + more);
  }
  CliRun Cli(const std::vector<std::string>& args) const {
    return testing::RunPostriderCli(args, dir.path(),
                                    {.environment = {"XDG_STATE_HOME=" + dir.File("state")}});
  }

  TempDir dir;
};

TEST_F(SendPaceFlagsTest, ALimitThatIsNotAPositiveWholeNumberIsAUsageErrorAndNothingIsSent) {
  ScriptedSmtpServer server;
  const std::string settings = Settings(server.address());
  const std::vector<std::vector<std::string>> wrong = {
      {"--per-minute", "0"},       {"--per-minute", "-5"},
      {"--per-minute", "ten"},     {"--per-connection", "1.5"},
      {"--per-connection", ""},    {"--per-minute", "9999999999"},
      {"--per-minute", "60", "--per-minute", "30"}};
  for (const std::vector<std::string>& flags : wrong) {
    std::vector<std::string> args = {"send", Project(), "--settings", settings};
    args.insert(args.end(), flags.begin(), flags.end());
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, 2) << flags[1];
    EXPECT_NE(run.err.find("postrider-cli: " + flags[0]), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[--per-minute N] [--per-connection M]"), std::string::npos);
  }
  // A flag at the end without its number.
  const CliRun bare = Cli({"send", Project(), "--settings", settings, "--per-connection"});
  EXPECT_EQ(bare.exitCode, 2);
  EXPECT_NE(bare.err.find("--per-connection needs a whole number"), std::string::npos) << bare.err;
  EXPECT_TRUE(server.Commands().empty());
}

TEST_F(SendPaceFlagsTest, TheFlagsOverrideTheSettingsForThatRunOnly) {
  ScriptedSmtpServer server;
  const std::string settings =
      Settings(server.address(), "MessagesPerConnection=1\nMessagesPerMinute=6000\n");
  const std::string before = testing::ReadFileBytes(settings);

  const CliRun run =
      Cli({"send", Project(), "--settings", settings, "--per-connection", "4", "--per-minute",
           "60000"});

  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The example's nine good addresses, four to a connection.
  EXPECT_EQ(server.MessageCount(), 9);
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 3);
  EXPECT_EQ(testing::ReadFileBytes(settings), before);
}

TEST_F(SendPaceFlagsTest, WithoutALimitAServersRefusalForNowStopsTheRunAndNamesTheFlags) {
  ScriptedSmtpServer server(
      {.firstReplies = {{"MAIL#2", "450 4.7.1 Error: too much mail from 127.0.0.1"}}});

  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address())});

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(server.MessageCount(), 1);
  EXPECT_NE(run.err.find("450 4.7.1 Error: too much mail from 127.0.0.1"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("postrider-cli send --per-minute N or --per-connection M"),
            std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace postrider
