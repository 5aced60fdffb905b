#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_file.h"
#include "project/project_lock.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::CliRun;
using testing::ReadFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the real postrider-cli inside a copy of the example project.
class PostriderCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("POSTRIDER_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "POSTRIDER_SOURCE_DIR names the source folder";
    ASSERT_TRUE(fs::is_regular_file(testing::PostriderCliPath())) << testing::PostriderCliPath();
    fs::copy(fs::path(source) / "examples", dir.File("examples"));
  }

  std::string Example(const std::string& name) const { return dir.File("examples/" + name); }

  CliRun Cli(const std::vector<std::string>& args) const {
    return testing::RunPostriderCli(args, dir.path());
  }

  // A list of `records` records in the folder, as `name`.
  std::string BigList(const std::string& name, int records) const {
    std::string text = "Name\tEmail\tCity\n";
    for (int i = 0; i < records; ++i) {
      text += "Person " + std::to_string(i) + "\tp" + std::to_string(i) + "@example.org\t" +
              (i % 2 == 0 ? "Oslo" : "Rome") + "\n";
    }
    return dir.Write(name, text);
  }

  TempDir dir;
};

TEST_F(PostriderCliTest, InfoPrintsTheProjectSummaryAndChangesNothing) {
  const std::string projectBytes = ReadFileBytes(Example("example.prj"));
  const std::string marks = ReadFileBytes(Example("example.prh"));
  for (const char* project : {"example.prj", "example-comma.prj"}) {
    const CliRun run = Cli({"info", Example(project)});
    EXPECT_EQ(run.exitCode, 0) << project;
    EXPECT_EQ(run.out,
              "fields: FirstName\tLastName\tEmail\tCity\tMemberSince\n"
              "entries: 12\n"
              "selected: 12\n"
              "email-field: 2 Email\n"
              "last-index-sent: 0\n")
        << project;
    EXPECT_EQ(run.err, "") << project;
  }
  Cli({"entries", Example("example.prj")});
  const CliRun fields = Cli({"fields", Example("example.prj")});
  EXPECT_EQ(fields.exitCode, 0);
  EXPECT_EQ(fields.out, "FirstName\nLastName\nEmail\nCity\nMemberSince\n");
  EXPECT_EQ(fields.err, "");
  EXPECT_EQ(ReadFileBytes(Example("example.prj")), projectBytes);
  EXPECT_EQ(ReadFileBytes(Example("example.prh")), marks);
}

TEST_F(PostriderCliTest, EntriesPrintsIndexSelectionStatusAndEveryValue) {
  const CliRun run = Cli({"entries", Example("example-comma.prj")});
  EXPECT_EQ(run.exitCode, 0);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "0\t1\t0\tAda\tLovelace\tada.lovelace@example.com\tLondon, Marylebone\t2019");
  EXPECT_EQ(lines[11], "11\t1\t0\tJohn\tBackus\tjohn.backus@example.org\tAshland\t2020");
}

TEST_F(PostriderCliTest, EntriesEscapesBytesThatWouldBreakTheLine) {
  // A row each: C0 controls; none; C1 controls raw and as UTF-8 (CSI) beside
  // DEL, and letters in UTF-8 and Latin-1 that stay as they are.
  dir.Write("odd.csv",
            "Name,Email\n\"a\\b\tc\rd\x01\x1f\",e@x.org\n,\n"
            "\"x\x9b[2Jy\xc2\x9b"
            "31m\xc3\xa9\xe9\x7f\x85\",f@x.org\n");
  ASSERT_EQ(Cli({"new", dir.File("odd.prj"), "--list", dir.File("odd.csv"), "--comma",
                 "--email-field", "Email"})
                .exitCode,
            0);
  const CliRun run = Cli({"entries", dir.File("odd.prj")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "0\t1\t0\ta\\\\b\\tc\\rd\\x01\\x1F\te@x.org\n1\t1\t0\t\t\n"
            "2\t1\t0\tx?[2Jy?31m\xc3\xa9\xe9??\tf@x.org\n");
}

TEST_F(PostriderCliTest, SelectChangesTheSelectionAndSavesTheProject) {
  const std::string project = Example("example.prj");
  CliRun run = Cli({"select", project, "none"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "0 Selected\n");
  EXPECT_NE(Cli({"info", project}).out.find("selected: 0\n"), std::string::npos);

  run = Cli({"select", project, "query", "Email", "valid email address", "ignored"});
  EXPECT_EQ(run.out, "9 Selected\n");
  std::string flags;
  for (const std::string& line : Lines(Cli({"entries", project}).out))
    flags += line[line.find('\t') + 1];
  EXPECT_EQ(flags, "110110110111");

  run = Cli(
      {"select", project, "query", "City", "equals", "Boston", "or", "FirstName", "equals", "Ken"});
  EXPECT_EQ(run.out, "2 Selected\n");
  run = Cli({"select", project, "query", "MemberSince", "greater than", "2019", "and", "Email",
             "valid email address", ""});
  EXPECT_EQ(run.out, "4 Selected\n");
  run = Cli({"select", project, "all"});
  EXPECT_EQ(run.out, "12 Selected\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(Example("example.prh")).size(), 32000u);

  // A Latin-1 list's field named as a UTF-8 terminal shows it.
  dir.Write("latin1.txt", "Stra\xdf" "e\tEmail\nMain\ta@x.org\nHigh\tb@x.org\n");
  ASSERT_EQ(Cli({"new", dir.File("latin1.prj"), "--list", dir.File("latin1.txt"),
                 "--email-field", "Email"})
                .exitCode,
            0);
  run = Cli({"select", dir.File("latin1.prj"), "query", "Stra\xc3\x9f" "e", "equals", "High"});
  EXPECT_EQ(run.out, "1 Selected\n") << run.err;
}

TEST_F(PostriderCliTest, NewMakesAFullySelectedProjectAndItsFiles) {
  CliRun run =
      Cli({"new", dir.File("june"), "--list", Example("recipients.txt"), "--email-field", "Email"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir.File("june.txt")), "To: \nFrom:  \nSubject: \n");
  EXPECT_EQ(ReadFileBytes(dir.File("june.prh")).substr(0, 13), std::string(12, '\x80') + '\0');
  run = Cli({"info", dir.File("june.prj")});
  EXPECT_EQ(run.out,
            "fields: FirstName\tLastName\tEmail\tCity\tMemberSince\nentries: 12\nselected: 12\n"
            "email-field: 2 Email\nlast-index-sent: 0\n");

  run = Cli({"new", dir.File("csv.prj"), "--list", Example("recipients.csv"), "--comma",
             "--email-field", "City", "--message", Example("letter.txt")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(fs::exists(dir.File("csv.txt")));
  const auto profile = ProfileFile::Load(dir.File("csv.prj"));
  EXPECT_EQ(profile->GetString("Settings", "MessageFile", "", 4096), Example("letter.txt"));
  EXPECT_EQ(profile->GetInt("Settings", "DBFileType", -1), 1);
  EXPECT_NE(Cli({"info", dir.File("csv.prj")}).out.find("email-field: 3 City\n"),
            std::string::npos);
}

TEST_F(PostriderCliTest, NewOfOneNameTypedTwiceAtOnceMakesOneProjectAndFailsTheOther) {
  const std::string project = dir.File("p.prj");
  const std::string otherList = dir.Write("other.txt", "Who\tMail\nBo\tbo@example.org\n");
  const std::vector<std::string> first = {"new", project, "--list", Example("recipients.txt"),
                                          "--email-field", "Email"};
  const std::vector<std::string> second = {"new", project, "--list", otherList,
                                           "--email-field", "Mail"};
  {
    // Another new of this name between its look for the files and its save.
    const ProjectLockAttempt held = ProjectLock::Take(project);
    ASSERT_TRUE(held.lock) << held.problem;
    const CliRun run = Cli(first);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("\"" + project + "\" is in use"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("could not be saved"), std::string::npos) << run.err;
  }
  // Side by side: one makes the project and the other is told, never both
  // told they made it while one replaced the other's.
  for (int round = 0; round < 40; ++round) {
    for (const char* made : {"p.prj", "p.prh", "p.txt", "p-letter.txt"}) fs::remove(dir.File(made));
    CliRun other;
    testing::CliOptions options;
    options.whileRunning = [&](pid_t) { other = testing::RunPostriderCli(second, dir.path()); };
    const CliRun run = testing::RunPostriderCli(first, dir.path(), options);
    ASSERT_NE(run.exitCode == 0, other.exitCode == 0) << round << run.err << other.err;
    const std::string list = run.exitCode == 0 ? Example("recipients.txt") : otherList;
    ASSERT_EQ(ProfileFile::Load(project)->GetString("Settings", "DBFile", "", 4096), list)
        << round;
  }
}

TEST_F(PostriderCliTest, UsageErrorsPrintTheUsageAndExitWith2) {
  const std::string project = Example("example.prj");
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate"},
      {"info"},
      {"info", project, project},
      {"entries"},
      {"fields"},
      {"fields", project, "City"},
      {"select", project},
      {"select", project, "some"},
      {"select", project, "all", "extra"},
      {"select", project, "query", "City", "resembles", "Oslo"},
      {"select", project, "query", "City", "equals"},
      {"select", project, "query", "City", "equals", "Oslo", "xor", "City", "equals", "Rome"},
      {"new", dir.File("n.prj"), "--list", Example("recipients.txt")},
      {"new", dir.File("n.prj"), "--email-field", "Email"},
      {"new", dir.File("n.prj"), "--list", Example("recipients.txt"), "--email-field"},
      {"new", dir.File("n.prj"), "--list", Example("recipients.txt"), "--email-field", "Email",
       "--bogus"},
      // An empty PROJECT is not skipped for the next argument, and an option
      // given twice or without its value is not quietly settled.
      {"info", ""},
      {"entries", ""},
      {"fields", ""},
      {"select", "", "all"},
      {"compose", "", project, "0"},
      {"send", "", project},
      {"new", "", "--list", Example("recipients.txt"), "--email-field", "Email"},
      {"compose", project, "0", "--settings"},
      {"compose", project, "0", "--settings", dir.File("a.ini"), "--settings", dir.File("b.ini")},
      {"send", project, "--password-file", dir.File("a"), "--password-file", dir.File("b")},
      {"new", dir.File("n.prj"), "--list", Example("recipients.txt"), "--list",
       Example("recipients.csv"), "--email-field", "Email"},
      {"new", dir.File("n.prj"), "--list", Example("recipients.txt"), "--email-field", "Email",
       "--email-field", "City"},
      {"check-server", "--settings", dir.File("a.ini"), "--settings", dir.File("b.ini")},
      {"check-server", "--password-file", dir.File("a"), "--password-file", dir.File("b")},
      {"check-server", "--settings"},
      {"sign-in", "--settings", dir.File("a.ini"), "--settings", dir.File("b.ini")},
  };
  for (const auto& args : wrong) {
    const CliRun run = Cli(args);
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    EXPECT_EQ(run.exitCode, 2) << shown;
    EXPECT_NE(run.err.find("usage: postrider-cli"), std::string::npos) << shown;
    EXPECT_EQ(run.out, "") << shown;
  }
  EXPECT_FALSE(fs::exists(dir.File("n.prj")));
  EXPECT_NE(Cli({"info", project}).out.find("selected: 12\n"), std::string::npos);
}

TEST_F(PostriderCliTest, HelpAndVersionGoToStandardOutputAndExitWith0) {
  // GNU style: in place of the command or right after it, whatever follows.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"send", "--help"}, {"--help", "bogus"}}) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, 0) << args[0];
    EXPECT_NE(run.out.find("usage: postrider-cli info PROJECT\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("postrider-cli fields PROJECT\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
  }
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--version"}, {"info", "--version"}}) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines[0].starts_with("postrider-cli 1.")) << lines[0];
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(PostriderCliTest, AProjectThatFailsToOpenPrintsTheErrorAndExitsWith1) {
  for (const char* command : {"info", "entries", "fields"}) {
    const CliRun run = Cli({command, dir.File("missing.prj")});
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_NE(run.err.find("Error loading project"), std::string::npos) << command;
    // A mistyped name is told as one, not only as a broken project.
    EXPECT_NE(run.err.find(dir.File("missing.prj") + "\": No such file or directory"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "") << command;
  }
  CliRun run = Cli({"select", dir.Write("bad.prj", "[Settings]\nMessageFile=ab\n"), "all"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Error loading project"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.File("bad.prj")), "[Settings]\nMessageFile=ab\n");

  // A list that cannot be read is no list of no entries.
  dir.Write("examples/recipients.txt", std::string("\xFF\xFEN\0a\0m\0e\0\n\0", 12));
  for (const char* command : {"info", "entries", "fields"}) {
    run = Cli({command, Example("example.prj")});
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_NE(run.err.find("UTF-16"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << command;
  }
}

TEST_F(PostriderCliTest, FailuresAfterOpeningExitWith1AndSayWhy) {
  // A list that is no file says what it is instead.
  fs::create_directories(dir.File("folder.txt"));
  ASSERT_EQ(mkfifo(dir.File("fifo.txt").c_str(), 0600), 0);
  const std::pair<std::string, std::string> lists[] = {
      {dir.File("none.txt"), "No such file or directory"},
      {dir.File("folder.txt"), "it is a folder, not a file"},
      {dir.File("fifo.txt"), "it is not a regular file"},
      {"/dev/null", "it is not a regular file"},
  };
  CliRun run;
  for (const auto& [list, why] : lists) {
    run = Cli({"new", dir.File("n.prj"), "--list", list, "--email-field", "Email"});
    EXPECT_EQ(run.exitCode, 1) << list;
    EXPECT_NE(run.err.find("Invalid database file name. \"" + list + "\": " + why + "."),
              std::string::npos)
        << run.err;
  }
  run =
      Cli({"new", dir.File("n.prj"), "--list", Example("recipients.txt"), "--email-field", "Mail"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Mail"), std::string::npos);
  run = Cli({"new", dir.File("n.prj"), "--list", Example("recipients.txt"), "--email-field",
             "Email", "--message", dir.File("none.txt")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Invalid message file name."), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("n.prj")));

  // A project, or the marks of one, is never replaced by a new one.
  const std::string marks = ReadFileBytes(Example("example.prh"));
  dir.Write("old.prh", "marks of a project renamed since");
  for (const std::string& name : {Example("example.prj"), dir.File("old.prj")}) {
    run = Cli({"new", name, "--list", Example("recipients.txt"), "--email-field", "Email"});
    EXPECT_EQ(run.exitCode, 1) << name;
    EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFileBytes(Example("example.prh")), marks);
  EXPECT_EQ(ReadFileBytes(dir.File("old.prh")), "marks of a project renamed since");
  EXPECT_FALSE(fs::exists(dir.File("old.prj")));

  run = Cli({"select", Example("example.prj"), "query", "Town", "equals", "Oslo"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Town"), std::string::npos);

  // The entry state file cannot be replaced: the save fails and says where.
  fs::remove(Example("example.prh"));
  fs::create_directories(Example("example.prh/in-the-way"));
  run = Cli({"select", Example("example.prj"), "none"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(Example("example.prh")), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

TEST_F(PostriderCliTest, ListsOf32000And32005RecordsMakeProjectsOf32000Entries) {
  for (int records : {32000, 32005}) {
    SCOPED_TRACE(records);
    // The list has the project's name: the new letter must not take the list's place.
    const std::string name = "big" + std::to_string(records);
    const std::string list = BigList(name + ".txt", records);
    const std::string listBytes = ReadFileBytes(list);
    CliRun run = Cli({"new", dir.File(name + ".prj"), "--list", list, "--email-field", "Email"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadFileBytes(list), listBytes);
    if (records == 32000) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find("32005 records; only the first 32000"), std::string::npos) << run.err;
    }
    run = Cli({"info", dir.File(name + ".prj")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("entries: 32000\nselected: 32000\n"), std::string::npos) << run.out;
    // The summary says who is left out, not only the warning on opening.
    EXPECT_EQ(run.out.find("records-left-out: 5\n") != std::string::npos, records == 32005)
        << run.out;

    run = Cli({"entries", dir.File(name + ".prj")});
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 32000u);
    EXPECT_EQ(lines.back(), "31999\t1\t0\tPerson 31999\tp31999@example.org\tRome");

    run = Cli({"select", dir.File(name + ".prj"), "query", "City", "equals", "Oslo"});
    EXPECT_EQ(run.out, "16000 Selected\n");

    // Sorted the other way in a spreadsheet: those chosen are found again
    // by address, and the rows that came into the project since are not.
    const std::vector<std::string> rows = Lines(listBytes);
    std::string reversed = rows.front() + "\n";
    for (auto row = rows.rbegin(); row + 1 != rows.rend(); ++row) reversed += *row + "\n";
    dir.Write(name + ".txt", reversed);
    run = Cli({"entries", dir.File(name + ".prj")});
    EXPECT_NE(run.err.find(records == 32000 ? "16000 entries are selected now."
                                            : "15997 entries are selected now, and 3 addresses "
                                              "selected before are no longer in the list."),
              std::string::npos)
        << run.err;
    const std::vector<std::string> entries = Lines(run.out);
    ASSERT_EQ(entries.size(), 32000u);
    for (int i = 0; i < 32000; ++i) {
      const int person = records - 1 - i;
      const std::string& line = entries[static_cast<std::size_t>(i)];
      const bool chosen = person % 2 == 0 && person < 32000;
      if ((line[line.find('\t') + 1] == '1') != chosen) {
        ADD_FAILURE() << line;
        break;
      }
    }
  }

  // Fields past the 25th: told on opening and in the summary.
  std::string header = "Email";
  std::string record = "a@example.org";
  for (int field = 1; field < 27; ++field) {
    header += "\tF" + std::to_string(field);
    record += "\tv";
  }
  const std::string wide = dir.Write("wide.txt", header + "\n" + record + "\n");
  ASSERT_EQ(Cli({"new", dir.File("wide.prj"), "--list", wide, "--email-field", "Email"}).exitCode,
            0);
  const CliRun info = Cli({"info", dir.File("wide.prj")});
  EXPECT_NE(info.out.find("fields-left-out: 2\n"), std::string::npos) << info.out;
  EXPECT_EQ(info.out.find("records-left-out"), std::string::npos) << info.out;
  EXPECT_NE(info.err.find("27 fields; only the first 25 are used, so 2 are left out."),
            std::string::npos)
      << info.err;
}

TEST_F(PostriderCliTest, AQueryOrdersNumbersBySizeAndKeepsEqualsExact) {
  const std::string list =
      dir.Write("amounts.txt", "Email\tAmount\tCode\na@x.org\t4\t01234\nb@x.org\t15\t1234\n"
                               "c@x.org\t49\t01234\nd@x.org\t-2.5\t\ne@x.org\t1,500\t\n");
  const std::string project = dir.File("amounts.prj");
  ASSERT_EQ(Cli({"new", project, "--list", list, "--email-field", "Email"}).exitCode, 0);
  // 4 and -2.5, not 15 or 49; "1,500" is no number, and as text it sorts before "5".
  EXPECT_EQ(Cli({"select", project, "query", "Amount", "less than", "5"}).out, "3 Selected\n");
  EXPECT_EQ(Cli({"select", project, "query", "Code", "equals", "01234"}).out, "2 Selected\n");
  EXPECT_EQ(Cli({"select", project, "query", "Amount", "greater than or equal", "15", "and",
                 "Code", "does not equal", "1234"})
                .out,
            "1 Selected\n");
}

}  // namespace
}  // namespace postrider
