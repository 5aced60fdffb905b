#include "send/attachment_path.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "send/attachment_file.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::TempDir;

const std::vector<std::string> kFields = {"Name", "Invoice"};

// Invoices in a folder of their own, a file beside it that no list may
// choose, and links leading in and out.
class AttachmentPathSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    invoices = root.path() + "/invoices/";
    std::filesystem::create_directory(invoices);
    root.Write("invoices/INV-17.pdf", "%PDF-1.4 invoice 17");
    secret = root.Write("secret.txt", "not for the list");
    std::filesystem::create_directory(invoices + "2024");
    root.Write("invoices/2024/INV-18.pdf", "%PDF-1.4 invoice 18");
    std::filesystem::create_symlink("INV-17.pdf", invoices + "inside.pdf");
    std::filesystem::create_symlink("../secret.txt", invoices + "escape.pdf");
    std::filesystem::create_symlink(secret, invoices + "absolute.pdf");
    std::filesystem::create_symlink("..", invoices + "up");
  }

  AttachmentPath Fill(const std::string& written, const std::string& name,
                      const std::string& invoice) const {
    return FillAttachmentPath(written, kFields, {name, invoice}, root.path());
  }

  TempDir root;
  std::string invoices;
  std::string secret;
};

TEST_F(AttachmentPathSafety, FieldsAreFilledAndTheFolderBeforeTheFirstIsKept) {
  const AttachmentPath path = Fill(invoices + "[[Invoice]].pdf", "Ann", "INV-17");
  EXPECT_EQ(path.path, invoices + "INV-17.pdf");
  EXPECT_EQ(path.folder, invoices);
  EXPECT_EQ(path.beneath, "INV-17.pdf");
  EXPECT_EQ(path.unsafe, "");
  EXPECT_EQ(path.FileName(), "INV-17.pdf");
  ASSERT_TRUE(OpenAttachmentFile(path).ok());

  // Fields in a later folder; a name that is no list field's stays as written.
  const AttachmentPath deeper = Fill(invoices + "[[Name]]/[[Invoice]]-[[Other]].pdf", "2024", "INV");
  EXPECT_EQ(deeper.path, invoices + "2024/INV-[[Other]].pdf");
  EXPECT_EQ(deeper.beneath, "2024/INV-[[Other]].pdf");

  // Relative to the project's folder, and from home.
  EXPECT_EQ(Fill("invoices/[[Invoice]].pdf", "", "INV-17").folder, invoices);
  setenv("HOME", root.path().c_str(), 1);
  EXPECT_EQ(Fill("~/invoices/[[Invoice]].pdf", "", "INV-17").path, invoices + "INV-17.pdf");
  // A fixed path is the user's own: no folder to stay in.
  const AttachmentPath fixed = Fill("invoices/absolute.pdf", "", "");
  EXPECT_FALSE(fixed.TakesListValues());
  EXPECT_TRUE(OpenAttachmentFile(fixed).ok());
}

TEST_F(AttachmentPathSafety, HostileValuesAndLinksOutOfTheFolderAreUnsafeAndNeverOpened) {
  // Anything that opens the file outside the folder would show here.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, secret.c_str(), IN_OPEN | IN_ACCESS), 0);

  struct Case {
    std::string written;
    std::string name;
    std::string invoice;
  };
  const std::string dir = invoices;
  const std::vector<Case> cases = {
      {dir + "[[Invoice]]", "", "../secret.txt"},
      {dir + "[[Invoice]]", "", "/etc/passwd"},
      {dir + "[[Invoice]]", "", "2024/../../secret.txt"},
      {dir + "[[Invoice]]", "", "~root/.ssh/id_rsa"},
      {dir + "[[Invoice]]", "", "~"},
      {dir + "[[Invoice]]", "", ".."},
      {dir + "[[Invoice]]", "", std::string("INV-17.pdf\0/../x", 16)},
      {dir + "[[Name]][[Invoice]]/secret.txt", ".", "."},  // together they make ".."
      {dir + "[[Invoice]]", "", "escape.pdf"},                // a link out
      {dir + "[[Invoice]]", "", "absolute.pdf"},
      {dir + "[[Invoice]]/secret.txt", "", "up"},             // a folder link out
      {"[[Invoice]]", "", "secret.txt"},                      // no folder before the field
      {root.path() + "/[[Invoice]]/../secret.txt", "", "invoices"},
  };
  for (const Case& c : cases) {
    const AttachmentPath path = Fill(c.written, c.name, c.invoice);
    const Result<AttachmentFile> opened = OpenAttachmentFile(path);
    ASSERT_FALSE(opened.ok()) << c.written << " with " << c.invoice;
    EXPECT_EQ(opened.status().message().rfind("unsafe: ", 0), 0u) << opened.status().message();
    // The same refusal without openat2, for kernels that lack it.
    if (path.unsafe.empty() && path.TakesListValues()) {
      const Result<AttachmentFile> byRealPath = detail::OpenBeneathByRealPath(path);
      ASSERT_FALSE(byRealPath.ok()) << c.invoice;
      EXPECT_EQ(byRealPath.status().message().rfind("unsafe: ", 0), 0u);
    }
  }
  char events[4096];
  EXPECT_LT(read(watch, events, sizeof events), 0) << "a file outside the folder was opened";
  close(watch);

  // A link that stays inside the folder is followed, by either way.
  const AttachmentPath inside = Fill(dir + "[[Invoice]]", "", "inside.pdf");
  EXPECT_TRUE(OpenAttachmentFile(inside).ok());
  EXPECT_TRUE(detail::OpenBeneathByRealPath(inside).ok());
  // A value's own "/" is refused even where it would stay inside.
  EXPECT_NE(Fill(dir + "[[Invoice]]", "", "2024/INV-18.pdf").unsafe, "");
}

TEST_F(AttachmentPathSafety, WhatIsNoReadableFileIsSaidPlainly) {
  EXPECT_EQ(OpenAttachmentFile(Fill(invoices + "[[Invoice]].pdf", "", "INV-99")).status().message(),
            "the file does not exist");
  EXPECT_EQ(OpenAttachmentFile(Fill(invoices + "[[Invoice]]", "", "")).status().message(),
            "it is a folder, not a file");
  EXPECT_EQ(OpenAttachmentFile(Fill(invoices + "[[Invoice]]", "", "2024")).status().message(),
            "it is a folder, not a file");
  EXPECT_EQ(OpenAttachmentFile(Fill(root.path() + "/nowhere/[[Invoice]]", "", "x")).status().message(),
            "its folder " + root.path() + "/nowhere/ does not exist");
  ASSERT_EQ(mkfifo((invoices + "pipe").c_str(), 0600), 0);
  // A named pipe never blocks the check.
  EXPECT_EQ(OpenAttachmentFile(Fill(invoices + "[[Invoice]]", "", "pipe")).status().message(),
            "it is not a regular file");
  EXPECT_EQ(OpenAttachmentFile(Fill(invoices + "pipe", "", "")).status().message(),
            "it is not a regular file");

  // A project not saved yet has no folder: a relative path never names the
  // file that happens to lie where the program was started.
  const std::filesystem::path started = std::filesystem::current_path();
  std::filesystem::current_path(root.path());
  const Result<AttachmentFile> unsaved =
      OpenAttachmentFile(FillAttachmentPath("secret.txt", kFields, {"", ""}, ""));
  std::filesystem::current_path(started);
  ASSERT_FALSE(unsaved.ok());
  EXPECT_NE(unsaved.status().message().find("the project has no folder yet"), std::string::npos)
      << unsaved.status().message();
}

}  // namespace
}  // namespace postrider
