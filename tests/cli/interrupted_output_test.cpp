#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_runner.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_sink_server.h"
#include "support/temp_dir.h"

extern char** environ;

namespace postrider {
namespace {

using testing::TempDir;

// The system call the process waits in, and its first argument.
std::string WaitingSyscall(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  std::string number;
  std::string first;
  file >> number >> first;
  return number + " " + first;
}

// Whether SIGINT waits to be handled by the process.
bool InterruptPending(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  bool pending = false;
  while (std::getline(file, line)) {
    if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) {
      pending = pending || (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1))) != 0;
    }
  }
  return pending;
}

int BytesInPipe(int fd) {
  int bytes = 0;
  return ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : -1;
}

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 60000) <= 0) break;  // a program that never ends is caught below
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

// `postrider-cli send` with stdin from /dev/null and its output to out and err
// (started through nohup with underNohup); -1 if it could not be started.
pid_t SpawnCli(std::vector<std::string> args, const std::string& stateHome, int out, int err,
               bool underNohup = false) {
  const std::string cli = underNohup ? "/usr/bin/nohup" : testing::PostriderCliPath();
  args.insert(args.begin(), cli);
  if (underNohup) args.insert(args.begin() + 1, testing::PostriderCliPath());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment{"XDG_STATE_HOME=" + stateHome};
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

pid_t SpawnSend(const std::string& project, const std::string& settings,
                const std::string& stateHome, int out, int err, bool underNohup = false) {
  return SpawnCli({"send", project, "--settings", settings}, stateHome, out, err, underNohup);
}

// The list has no Name for the usual letter's [[Name]].
constexpr const char* kLetterWithoutFields = "To: \nFrom:  \nSubject: Hello\nDear member,\n";

// A project of `entries` members, every one selected, and settings for `server`.
struct SelectedMembers {
  std::string project;
  std::string settings;
};

SelectedMembers WriteSelectedMembers(const TempDir& dir, int entries, const std::string& server) {
  std::string list = "Email\n";
  for (int i = 0; i < entries; ++i) list += "e" + std::to_string(i) + "@example.com\n";
  testing::TestProject project(list, std::string(32000, '\x80'));
  project.emailFieldIndex = 0;
  project.letterText = kLetterWithoutFields;
  return {testing::WriteTestProject(dir.path(), project),
          dir.Write("settings.ini",
                    "[Settings]\nReturnAddress=me@example.com\nSMTPServer=" + server + "\n")};
}

int WaitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

TEST(InterruptedOutputTest, CtrlCWhileStderrIsFullLosesNoOutput) {
  TempDir dir;
  std::string list = "Email\n";
  for (int i = 0; i < 20000; ++i) list += "e" + std::to_string(i) + "@example.com\n";
  testing::TestProject project(list, std::string(32000, '\x80'));  // every entry selected
  project.emailFieldIndex = 0;
  project.letterText = kLetterWithoutFields;
  const std::string projectPath = testing::WriteTestProject(dir.path(), project);
  // Progress comes at most ten lines a second; what fills stderr here is a
  // refusal of every recipient, each under its progress line.
  testing::SmtpSinkServer sink({"-f", "RCPT", "-B", "550 5.1.1 No such user"});
  const std::string settings =
      dir.Write("settings.ini",
                "[Settings]\nReturnAddress=me@example.com\nSMTPServer=" + sink.address() + "\n");

  int err[2];
  ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
  const int out = open(dir.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid = SpawnSend(projectPath, settings, dir.File("state"), out, err[1]);
  close(out);
  close(err[1]);
  ASSERT_GT(pid, 0);

  // Nobody reads stderr until the program waits in a write to it (system
  // call 1 on descriptor 2) with the pipe full; then Ctrl+C comes.
  bool blocked = false;
  int before = -1;
  for (int round = 0; round < 3000 && !blocked; ++round) {
    const int inPipe = BytesInPipe(err[0]);
    blocked = inPipe > 60000 && inPipe == before && WaitingSyscall(pid) == "1 0x2";
    before = inPipe;
    if (!blocked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGINT);
  // Reading before the signal is handled would let the write finish first.
  for (int round = 0; round < 500 && InterruptPending(pid); ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string text = ReadToEnd(err[0]);
  close(err[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(blocked) << "the program never filled the pipe";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);

  // Every refusal is there under its progress line, then the progress line
  // of the entry the run halted at, the run's figures and the pause.
  std::istringstream lines(text);
  std::string line;
  int expected = 1;
  while (std::getline(lines, line) && line.rfind("Sending ", 0) != 0) {
  }
  for (; line == "Sending " + std::to_string(expected) + " of 20000"; std::getline(lines, line)) {
    std::getline(lines, line);
    const std::string entry = std::to_string(expected - 1);
    if (line != "entry " + entry + ": refused e" + entry + "@example.com: 550 5.1.1 No such user") {
      break;
    }
    ++expected;
  }
  EXPECT_GT(expected, 500);
  EXPECT_EQ(line, "Accepted by the server: 0")
      << text.substr(text.size() > 300 ? text.size() - 300 : 0);
  EXPECT_NE(text.find("\nRefused by the server: " + std::to_string(expected - 1) + "\n"),
            std::string::npos);
  EXPECT_NE(text.find("\nPaused at entry " + std::to_string(expected - 1) + ";"), std::string::npos);
}

// As under `postrider-cli send ... | head`: the reader goes, and the run
// pauses as if Ctrl+C were pressed, rather than dying between a message's
// hand-over and the server's answer.
TEST(InterruptedOutputTest, OutputWhoseReaderWentPausesTheRunAndTheResumeMailsTheRestOnce) {
  TempDir dir;
  testing::ScriptedSmtpServer server({.delays = {{".", 0.05}}});
  const auto [projectPath, settings] = WriteSelectedMembers(dir, 40, server.address());

  int output[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  const pid_t pid = SpawnSend(projectPath, settings, dir.File("state"), output[1], output[1]);
  close(output[1]);
  ASSERT_GT(pid, 0);
  server.WaitForMessages(3);
  close(output[0]);
  const int status = WaitForExit(pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_LT(server.MessageCount(), 40);

  const testing::CliRun resumed = testing::RunPostriderCli(
      {"send", projectPath, "--resume", "--settings", settings}, dir.path(),
      {.environment = {"XDG_STATE_HOME=" + dir.File("state")}});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(resumed.err.find("had been handed to the server"), std::string::npos) << resumed.err;
  const std::map<std::string, int> received = server.MessagesPerRecipient();
  EXPECT_EQ(received.size(), 40u);
  for (const auto& [address, count] : received) EXPECT_EQ(count, 1) << address;
}

// As `nohup postrider-cli send ... &` whose terminal then closes: the hang-up
// nohup set aside neither pauses nor ends the run.
TEST(InterruptedOutputTest, HangUpUnderNohupLeavesTheRunToFinish) {
  TempDir dir;
  testing::ScriptedSmtpServer server({.delays = {{".", 0.05}}});
  const auto [projectPath, settings] = WriteSelectedMembers(dir, 20, server.address());

  const int out = open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid = SpawnSend(projectPath, settings, dir.File("state"), out, out, true);
  close(out);
  ASSERT_GT(pid, 0);
  server.WaitForMessages(3);
  kill(pid, SIGHUP);
  const int status = WaitForExit(pid);
  const std::string text = testing::ReadFileBytes(dir.File("out"));
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << text;
  const std::map<std::string, int> received = server.MessagesPerRecipient();
  EXPECT_EQ(received.size(), 20u) << text;
  for (const auto& [address, count] : received) EXPECT_EQ(count, 1) << address;
}

// As `postrider-cli check-server | head -1`: with its reader gone the check
// ends quietly, as any listing does, not as a check cancelled at the greeting.
TEST(InterruptedOutputTest, ACheckWhoseOutputLostItsReaderEndsQuietly) {
  TempDir dir;
  testing::ScriptedSmtpServer server;
  const std::string settings =
      dir.Write("settings.ini",
                "[Settings]\nReturnAddress=me@example.com\nSMTPServer=" + server.address() + "\n");
  int output[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  close(output[0]);
  const int err = open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid =
      SpawnCli({"check-server", "--settings", settings}, dir.File("state"), output[1], err);
  close(output[1]);
  close(err);
  ASSERT_GT(pid, 0);
  const int status = WaitForExit(pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_EQ(testing::ReadFileBytes(dir.File("err")), "");
}

}  // namespace
}  // namespace postrider
