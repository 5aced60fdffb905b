#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/free_port.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// postrider-cli on a terminal of its own, as a user at a shell runs it.
class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& args) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      unsetenv("POSTRIDER_SMTP_PASSWORD");
      std::vector<char*> argv;
      const std::string program = testing::PostriderCliPath();
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~TerminalRun() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  bool started() const { return pid_ > 0; }

  // Reads the terminal until text shows, for at most 30 s.
  bool WaitFor(const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (output_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until || !ReadSome(200)) return false;
    }
    return true;
  }

  void Type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // The exit status once the program ends by itself within 30 s; -1 when it
  // did not.
  int WaitForExit() {
    for (int i = 0; i < 300; ++i) {
      // Once the terminal is closed a read returns at once: wait anyway.
      if (!ReadSome(100)) poll(nullptr, 0, 100);
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return status;
      }
    }
    return -1;
  }

  bool EchoOn() const {
    termios settings {};
    return tcgetattr(master_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }
  const std::string& output() const { return output_; }

 private:
  // False once the terminal is closed.
  bool ReadSome(int waitMs) {
    pollfd ready{master_, POLLIN, 0};
    if (poll(&ready, 1, waitMs) <= 0) return true;
    char buffer[512];
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool exited_ = false;
  std::string output_;
};

class PasswordPromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("POSTRIDER_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy(fs::path(source) / "examples", dir.File("examples"));
    // Nothing listens there: the prompt comes before any connection.
    std::ofstream(settings) << "[Settings]\nRealName=Library\nReturnAddress=library@example.com\n"
                               "SMTPServer=127.0.0.1:"
                            << testing::FreeLoopbackPort() << "\nUserName=library\n";
  }

  // Ctrl+C at the prompt ends the command by itself, as a failure that sent
  // nothing, and gives the terminal its echo back.
  void ExpectCtrlCEndsPrompt(const std::vector<std::string>& args) {
    TerminalRun run(args);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.WaitFor("Password for library")) << run.output();
    ASSERT_FALSE(run.EchoOn());
    run.Type("\x03");
    const int status = run.WaitForExit();
    ASSERT_NE(status, -1) << "still waiting for a password after Ctrl+C:\n" << run.output();
    ASSERT_TRUE(WIFEXITED(status)) << run.output();
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(run.output().find("No password was typed."), std::string::npos) << run.output();
    EXPECT_TRUE(run.EchoOn());
  }

  TempDir dir;
  std::string settings = dir.File("settings.ini");
};

TEST_F(PasswordPromptTest, CtrlCAtThePromptOfACheckEndsItAndRestoresEcho) {
  ExpectCtrlCEndsPrompt({"check-server", "--settings", settings});
}

TEST_F(PasswordPromptTest, CtrlCAtThePromptOfASendEndsItWithNothingSent) {
  const std::string project = dir.File("examples/example.prj");
  const std::string before = testing::ReadFileBytes(dir.File("examples/example.prh"));
  ExpectCtrlCEndsPrompt({"send", project, "--from-start", "--settings", settings});
  EXPECT_EQ(testing::ReadFileBytes(dir.File("examples/example.prh")), before);
}

}  // namespace
}  // namespace postrider
