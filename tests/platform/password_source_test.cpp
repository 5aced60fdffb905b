#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <string>
#include <string_view>

#include "platform/base64.h"
#include "platform/blocking_call.h"
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
  // A first line longer than is read (a binary, a wrong file) is no password:
  // a cut one would only be refused by the server, or worse, taken.
  for (const char* endless : {"head -c 1048576 /dev/zero | tr '\\0' x",
                              "head -c 1048576 /dev/zero | tr '\\0' x; echo"}) {
    Result<Secret> huge = RunPasswordCommand(endless);
    ASSERT_FALSE(huge) << endless;
    EXPECT_EQ(huge.status().message(),
              "PasswordCommand printed a first line too long for a password.");
  }
  Result<Secret> longThenShort = RunPasswordCommand(
      "echo pw; head -c 1048576 /dev/zero | tr '\\0' x");
  ASSERT_TRUE(longThenShort) << longThenShort.status().message();
  EXPECT_EQ(longThenShort->reveal(), "pw");
}

// A token helper that hangs (its network gone) must not hold the run: the
// wait runs the blocking hook, and Pause or Ctrl+C ends the command.
TEST(PasswordCommandTest, AHangingCommandIsStoppedByACancelFromTheBlockingHook) {
  TempDir dir;
  const std::string started = dir.File("started");
  int hookRuns = 0;
  SetBlockingHook([&] {
    ++hookRuns;
    if (std::filesystem::exists(started)) CancelBlockingCall();
  });
  // The helper's own helper is stopped too.
  const std::string helper = dir.File("helper-pid");
  Result<Secret> token = RunSecretCommand("sleep 120 & echo $! > '" + helper + "'; touch '" +
                                              started + "'; wait; echo late-token",
                                          "TokenCommand", "access token");
  SetBlockingHook({});
  ASSERT_FALSE(token) << "the command ran to its end";
  std::string helperPid = testing::ReadFileBytes(helper);
  helperPid.erase(helperPid.find_last_not_of('\n') + 1);
  const std::string helperStat = "/proc/" + helperPid + "/stat";
  // Gone, or a zombie for whoever adopted it to reap.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  auto running = [&] {
    std::ifstream stat(helperStat);
    std::string pid, name, state;
    return static_cast<bool>(stat >> pid >> name >> state) && state != "Z";
  };
  while (running() && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(running()) << helperStat;
  EXPECT_EQ(token.status().message(), "TokenCommand was stopped before it printed the access token.");
  EXPECT_GT(hookRuns, 0);
  EXPECT_FALSE(IsInBlockingCall());
  // The next command runs as ever.
  Result<Secret> again = RunPasswordCommand("echo pw");
  ASSERT_TRUE(again) << again.status().message();
  EXPECT_EQ(again->reveal(), "pw");
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
  const std::string huge = dir.Write("huge", std::string(1024 * 1024, 'x') + "\n");
  Result<Secret> cut = ReadPasswordFile(huge);
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.status().message(),
            "The password file " + huge + " holds a first line too long for a password.");
  // A file that never ends is read no further than a password could reach.
  Result<Secret> endless = ReadPasswordFile("/dev/zero");
  ASSERT_FALSE(endless);
  EXPECT_EQ(endless.status().message(),
            "The password file /dev/zero holds a first line too long for a password.");
}

TEST(SecretTest, MovingLeavesNothingBehind) {
  Secret first("abc");
  Secret second(std::move(first));
  EXPECT_TRUE(first.empty());  // NOLINT(bugprone-use-after-move): that is the point
  EXPECT_EQ(second.reveal(), "abc");
  second.Clear();
  EXPECT_TRUE(second.empty());
}

// A server may quote a log-in back in its refusal: plain, as AUTH LOGIN's
// base64, or inside AUTH PLAIN's or XOAUTH2's base64 at any offset.
TEST(SecretTest, ConcealingLeavesNoThreeBytesOfTheSecretReadableInAnyForm) {
  const std::string secret = "Sekr3tPassw0rd";
  // The base64 word goes whole: the groups the secret shares with the names
  // or the padding would still tell its first and last bytes.
  const struct {
    std::string quoted;
    std::string shown = "[hidden]";
  } cases[] = {
      {secret},
      {Base64(secret)},
      {Base64(std::string("\0library\0", 9) + secret)},
      {Base64(std::string("\0ann\0", 5) + secret)},
      {Base64(std::string("\0anne\0", 6) + secret)},
      {Base64("user=ann@example.test\x01" "auth=Bearer " + secret + "\x01\x01")},
      {secret + " and again " + secret, "[hidden] and again [hidden]"},
  };
  const auto showsNoThreeBytes = [&](const std::string& shown) {
    for (std::size_t i = 0; i + 3 <= secret.size(); ++i) {
      EXPECT_EQ(shown.find(secret.substr(i, 3)), std::string::npos) << shown;
      EXPECT_EQ(shown.find(Base64(secret.substr(i, 3))), std::string::npos) << shown;
    }
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quoted);
    const std::string shown = ConcealSecret("535 5.7.8 Not accepted: " + c.quoted + " (x)", secret);
    EXPECT_EQ(shown, "535 5.7.8 Not accepted: " + c.shown + " (x)");
    showsNoThreeBytes(shown);
    // Cut off anywhere (a line too long, one whose end never came), what is
    // left of the quote tells no more.
    for (std::size_t length = 1; length < c.quoted.size(); ++length) {
      SCOPED_TRACE(length);
      showsNoThreeBytes(ConcealSecretInCutText("535 " + c.quoted.substr(0, length), secret));
    }
  }
  EXPECT_EQ(ConcealSecretInCutText("535 5.7.8 Not accepted: Sekr", secret),
            "535 5.7.8 Not accepted: [hidden]");

  EXPECT_EQ(ConcealSecret("235 2.7.0 Accepted", secret), "235 2.7.0 Accepted");
  EXPECT_EQ(ConcealSecret("235 2.7.0 Accepted", ""), "235 2.7.0 Accepted");
}

// A short or common password also turns up inside ordinary words; hidden
// there, the gaps would spell it out and the text would no longer read.
TEST(SecretTest, ConcealingHidesASecretOnlyWhereItStandsAlone) {
  const struct {
    std::string text;
    std::string secret;
    std::string shown;
  } cases[] = {
      {"535 5.7.8 Authentication credentials invalid", "on",
       "535 5.7.8 Authentication credentials invalid"},
      {"535 Failed at AUTH: bad log-in ann:a", "a", "535 Failed at AUTH: bad log-in ann:[hidden]"},
      {"554 Too many passwords tried", "password", "554 Too many passwords tried"},
      {"535 bad pair ann/password.", "password", "535 bad pair ann/[hidden]."},
      {"535 ann caf\xc3\xa9s", "caf", "535 ann caf\xc3\xa9s"},
      {"535 Not accepted: ZQ== e", "e", "535 Not accepted: [hidden] [hidden]"},
      {"535 key=!x; x!x", "!x", "535 key=[hidden]; x[hidden]"},
      // Quoted percent-encoded, as a form or URL holds it, in either case of hex.
      {"400 refresh_token=1%2F%2F0gAb-c&x=1%2f%2f0gAb-c is not accepted", "1//0gAb-c",
       "400 refresh_token=[hidden]&x=[hidden] is not accepted"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ConcealSecret(c.text, c.secret), c.shown);
  }
}

// "dumpable/core limit" of this process: "1/n" lets a crash write a core
// file, "0/0" does not.
std::string DumpState() {
  rlimit core{};
  getrlimit(RLIMIT_CORE, &core);
  return std::to_string(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0)) + "/" +
         (core.rlim_cur == 0 ? "0" : "n");
}

constexpr const char* kProbeVariable = "POSTRIDER_DUMP_PROBE";

// A core file of a crash while the password is held would carry it. Each
// way in is tried in a fresh process (this test, run again alone), since
// the first secret changes the process for good.
TEST(SecretTest, AProcessThatHeldAPasswordLeavesNoCoreDump) {
  if (const char* probe = std::getenv(kProbeVariable)) {
    std::string states = DumpState();
    {
      Result<Secret> held = std::string_view(probe) == "secret"
                                ? Result<Secret>(Secret("hunter2"))
                                : ReadPasswordFile(probe);
      states += " " + DumpState();
    }
    std::printf("probe: %s %s\n", states.c_str(), DumpState().c_str());
    return;
  }
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  TempDir dir;
  for (const std::string& probe : {std::string("secret"), dir.Write("password", "hunter2\n")}) {
    const std::string command =
        std::string(kProbeVariable) + "='" + probe + "' '" + self +
        "' --gtest_filter=SecretTest.AProcessThatHeldAPasswordLeavesNoCoreDump";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
      }
      pclose(pipe);
    }
    const std::size_t at = output.find("probe: ");
    ASSERT_NE(at, std::string::npos) << output;
    const std::string states = output.substr(at + 7, output.find('\n', at) - at - 7);
    // Dumpable before; from the password on, neither dumpable nor a core
    // size, also once it is wiped: copies of it may linger in freed memory.
    EXPECT_EQ(states.substr(0, 2), "1/") << probe;
    EXPECT_EQ(states.substr(4), "0/0 0/0") << probe;
  }
}

}  // namespace
}  // namespace postrider
