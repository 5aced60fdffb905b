#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base64.h"
#include "smtp/tls_certificate.h"
#include "support/cli_runner.h"
#include "support/scripted_smtp_server.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using testing::CliOptions;
using testing::CliRun;
using testing::ReadFileBytes;
using testing::ScriptedSmtpServer;
using testing::ServerScript;
using testing::TempDir;
namespace fs = std::filesystem;

constexpr const char* kPassword = "pa55 w0rd!";

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The example project in a fresh folder, against servers that want TLS and a
// log-in as a provider's submission port does.
class ServerAccountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("POSTRIDER_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy(fs::path(source) / "examples", dir.File("examples"));
    good = certificates.Good();
  }

  std::string Project() const { return dir.File("examples/example.prj"); }
  ServerScript SubmissionServer(bool implicitTls = false) const {
    ServerScript script;
    script.tlsCertificate = good.certificate;
    script.tlsKey = good.key;
    script.implicitTls = implicitTls;
    script.requireStartTls = !implicitTls;
    script.authUser = "library";
    script.authPassword = kPassword;
    script.authRequired = true;
    return script;
  }
  std::string Settings(const std::string& server, const std::string& security,
                       const std::string& more = "UserName=library\n") const {
    return dir.Write("settings.ini", "[Settings]\nRealName=Harbour Library\n"
                                     "ReturnAddress=library@example.com\nSMTPServer=" +
                                         server + "\nLog=1\nSecurity=" + security +
                                         "\nTLSTrustFile=" + certificates.caFile() + "\n" + more);
  }
  CliRun Cli(const std::vector<std::string>& args, CliOptions options = {}) const {
    options.environment.push_back("XDG_STATE_HOME=" + dir.File("state"));
    options.unset.push_back("POSTRIDER_SMTP_PASSWORD");
    return testing::RunPostriderCli(args, dir.path(), options);
  }
  CliOptions WithPassword(const std::string& password = kPassword) const {
    CliOptions options;
    options.environment.push_back(std::string("POSTRIDER_SMTP_PASSWORD=") + password);
    return options;
  }
  // Nothing the program wrote holds the password.
  void ExpectPasswordNowhere(const CliRun& run) const {
    EXPECT_EQ(run.out.find(kPassword), std::string::npos);
    EXPECT_EQ(run.err.find(kPassword), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      if (!entry.is_regular_file()) continue;
      EXPECT_EQ(ReadFileBytes(entry.path().string()).find(kPassword), std::string::npos)
          << entry.path();
    }
  }

  TempDir dir;
  testing::TestCertificates certificates;
  testing::CertificateFiles good;
};

TEST_F(ServerAccountTest, SendDeliversThroughStartTlsAndAuthWithThePasswordFromTheEnvironment) {
  ScriptedSmtpServer server(SubmissionServer());
  const CliRun run =
      Cli({"send", Project(), "--settings", Settings(server.address(), "starttls")},
          WithPassword());

  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(server.MessageCount(), 9);
  const std::vector<std::string> commands = server.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "STARTTLS"), 1);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "AUTHENTICATED library"), 1);
  ExpectPasswordNowhere(run);
}

TEST_F(ServerAccountTest, SendDeliversOverImplicitTlsWithAPasswordFileOrCommand) {
  ScriptedSmtpServer server(SubmissionServer(true));
  const std::string address = "localhost:" + std::to_string(server.port());
  const std::string passwordFile = dir.Write("password", std::string(kPassword) + "\n");
  const CliRun fromFile = Cli({"send", Project(), "--from-start", "--password-file", passwordFile,
                               "--settings", Settings(address, "TLS")});
  EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
  EXPECT_EQ(server.MessageCount(), 9);
  fs::remove(passwordFile);

  const CliRun fromCommand =
      Cli({"send", Project(), "--from-start", "--settings",
           Settings(address, "tls", "UserName=library\nPasswordCommand=printf '%s\\n' '" +
                                        std::string(kPassword) + "'\n")});
  EXPECT_EQ(fromCommand.exitCode, 0) << fromCommand.err;
  EXPECT_EQ(server.MessageCount(), 18);
}

TEST_F(ServerAccountTest, WithNoPasswordToBeHadNothingIsSentAndTheRunDidNotStart) {
  ScriptedSmtpServer server(SubmissionServer());
  const CliRun run =
      Cli({"send", Project(), "--settings", Settings(server.address(), "starttls")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("There is no terminal to ask for the password on."), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("POSTRIDER_SMTP_PASSWORD"), std::string::npos);
  EXPECT_TRUE(server.Commands().empty());
}

TEST_F(ServerAccountTest, AWrongPasswordIsToldOnceAndLeavesEveryEntryAsItWas) {
  ScriptedSmtpServer server(SubmissionServer());
  const CliRun run =
      Cli({"send", Project(), "--settings", Settings(server.address(), "starttls")},
          WithPassword("guess"));
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(Occurrences(run.err, "535 5.7.8 Authentication credentials invalid"), 1u) << run.err;
  EXPECT_NE(run.err.find("(authentication failed)"), std::string::npos);
  // Nothing here can change it, so the error says where it came from.
  EXPECT_NE(run.err.find("The server refused the password from the environment variable "
                         "POSTRIDER_SMTP_PASSWORD"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("guess"), std::string::npos);
  EXPECT_NE(run.err.find("Not reached: 12"), std::string::npos);
  EXPECT_EQ(server.MessageCount(), 0);
  const std::string entries = Cli({"entries", Project()}).out;
  EXPECT_EQ(entries.find("\t1\t1\t"), std::string::npos);  // nothing marked
}

TEST_F(ServerAccountTest, AServerQuotingTheLogInBackNeverHasThePasswordShown) {
  // AUTH PLAIN's answer, quoted whole in the refusal.
  const std::string plain = Base64(std::string("\0library\0", 9) + kPassword);
  {
    ServerScript script = SubmissionServer();
    script.authExclude = {"LOGIN"};
    script.replies = {{"AUTH", "535 5.7.8 Not accepted: {argument}"}};
    ScriptedSmtpServer server(script);
    const std::string settings = Settings(server.address(), "starttls");
    const CliRun send = Cli({"send", Project(), "--settings", settings}, WithPassword());
    const CliRun check = Cli({"check-server", "--settings", settings}, WithPassword());
    for (const CliRun* run : {&send, &check}) {
      EXPECT_NE(run->exitCode, 0);
      EXPECT_NE(run->err.find("535 5.7.8 Not accepted: "), std::string::npos);
      EXPECT_EQ(run->err.find(plain), std::string::npos);
      EXPECT_EQ(run->err.find(Base64(kPassword)), std::string::npos);
      ExpectPasswordNowhere(*run);
    }
  }
}

TEST_F(ServerAccountTest, EveryRefusalIsShownAsItHappensAndTheRunExitsWith3) {
  ScriptedSmtpServer server({.replies = {{"RCPT", "554 5.7.1 Relay access denied"}}});
  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address(), "none", "")});

  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_NE(run.err.find("Sending 1 of 12\nentry 0: refused ada.lovelace@example.com: "
                         "554 5.7.1 Relay access denied\nSending 2 of 12\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Occurrences(run.err, ": refused "), 9u);
  EXPECT_NE(run.err.find("Accepted by the server: 0\nRefused by the server: 9\nBad address: 3\n"
                         "Not reached: 0\n"),
            std::string::npos)
      << run.err;
  // The log keeps the numbers it always kept.
  const std::string log = ReadFileBytes(dir.File("state/postrider/postrider.log"));
  EXPECT_NE(log.find("ada.lovelace@example.com\tIndex=0\tStatus=554\n"), std::string::npos);
}

TEST_F(ServerAccountTest, AnErrorThatStopsTheRunIsPrintedOnce) {
  ScriptedSmtpServer server({.replies = {{"RCPT:edsger@", "421 4.3.2 Going down"}}});
  const CliRun run = Cli({"send", Project(), "--settings", Settings(server.address(), "none", "")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Occurrences(run.err, "Sending 4 of 12 - Error 421"), 1u) << run.err;
  EXPECT_NE(run.err.find("Sending 4 of 12 - Error 421\n421 4.3.2 Going down\n"), std::string::npos);
}

TEST_F(ServerAccountTest, CheckServerPrintsEveryStepAndSendsNoMail) {
  ScriptedSmtpServer server(SubmissionServer());
  const CliRun run =
      Cli({"check-server", "--settings", Settings(server.address(), "starttls")}, WithPassword());

  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const std::string& line :
       {std::string("Connected to 127.0.0.1 port ") + std::to_string(server.port()),
        std::string("Greeting: 220 "), std::string("STARTTLS: 220 Ready to start TLS"),
        std::string("Certificate: CN=localhost"), std::string("Issuer: CN=Postrider Test CA"),
        "SHA-256 fingerprint: " + FormatFingerprint(good.fingerprint),
        "Certificate verified for 127.0.0.1 against " + certificates.caFile(),
        std::string("Capabilities: SIZE 33554432, 8BITMIME, AUTH LOGIN PLAIN, HELP"),
        std::string("AUTH PLAIN as library: 235 2.7.0 Authentication successful"),
        std::string("QUIT: 221 Bye"), std::string("Every step passed.")}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  EXPECT_EQ(server.MessageCount(), 0);
  const std::vector<std::string> commands = server.Commands();
  EXPECT_TRUE(std::none_of(commands.begin(), commands.end(),
                           [](const std::string& c) { return c.starts_with("MAIL"); }));
  ExpectPasswordNowhere(run);
}

TEST_F(ServerAccountTest, CheckServerSaysWhereItFailedAndExitsWith1) {
  ScriptedSmtpServer server(SubmissionServer(true));
  const CliRun run = Cli({"check-server", "--settings",
                          Settings(server.address(), "tls", "TLSFingerprint=" +
                                                                std::string(64, 'a') + "\n")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Failed at the TLS handshake (12003):\nThe server's certificate is not "
                         "the one TLSFingerprint names."),
            std::string::npos)
      << run.err;

  // A server the setting cannot name: told as that, and no password is asked for it.
  const std::string asked = dir.File("asked");
  const CliRun unnamed = Cli({"check-server", "--settings",
                              Settings("127.0.0.1:0", "tls",
                                       "UserName=library\nPasswordCommand=touch '" + asked +
                                           "'; echo pw\n")});
  EXPECT_EQ(unnamed.exitCode, 1);
  EXPECT_EQ(unnamed.err,
            "The setting SMTPServer=127.0.0.1:0 has a port that is not a number from 1 to "
            "65535.\n");
  EXPECT_FALSE(fs::exists(asked));
}

// Nothing the check can change, so it says where a refused password came
// from, as send does; a refusal that is not the password's says nothing of it.
TEST_F(ServerAccountTest, CheckServerSaysWhereARefusedPasswordCameFrom) {
  const std::string passwordFile = dir.Write("wrong-password", "guess\n");
  struct Row {
    std::string name;
    ServerScript script;
    std::vector<std::string> args;
    CliOptions options;
    std::string more;  // settings lines besides UserName
    std::string told;  // empty: no word of where the password came from
  };
  ServerScript temporary = SubmissionServer();
  temporary.replies = {{"AUTH", "454 4.7.0 Temporary authentication failure"}};
  const std::vector<Row> rows = {
      {"environment", SubmissionServer(), {}, WithPassword("guess"), "",
       "The server refused the password from the environment variable POSTRIDER_SMTP_PASSWORD"},
      {"file", SubmissionServer(), {"--password-file", passwordFile}, {}, "",
       "The server refused the password from the file given with --password-file"},
      {"command", SubmissionServer(), {}, {}, "PasswordCommand=echo guess\n",
       "The server refused the password from the PasswordCommand setting's command"},
      {"temporary", temporary, {}, WithPassword(), "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedSmtpServer server(row.script);
    std::vector<std::string> args = {"check-server", "--settings",
                                     Settings(server.address(), "starttls",
                                              "UserName=library\n" + row.more)};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const CliRun run = Cli(args, row.options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Failed at AUTH"), std::string::npos) << run.err;
    if (row.told.empty()) {
      EXPECT_EQ(run.err.find("refused the password"), std::string::npos) << run.err;
    } else {
      EXPECT_NE(run.err.find(row.told), std::string::npos) << run.err;
    }
    EXPECT_EQ(run.err.find("guess"), std::string::npos);
    ExpectPasswordNowhere(run);
  }
}

TEST_F(ServerAccountTest, SettingsThatCannotBeUsedAreToldBeforeAnythingHappens) {
  const std::string missing = dir.File("no-such-settings.ini");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"send", Project(), "--settings", missing},
        std::vector<std::string>{"compose", Project(), "0", "--settings", missing},
        std::vector<std::string>{"check-server", "--settings", missing}}) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, 2) << args[0];
    EXPECT_EQ(run.err, "postrider-cli: the settings file " + missing + " does not exist\n");
  }
  const CliRun unknown =
      Cli({"send", Project(), "--settings", Settings("127.0.0.1:1", "SSL", "")});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err,
            "postrider-cli: The setting Security=SSL is not one of none, starttls or tls.\n");
}

}  // namespace
}  // namespace postrider
