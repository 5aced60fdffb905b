#include "project/entry_state_file.h"

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "support/temp_dir.h"

// While set, every fdopen of this test program fails as it does when memory
// runs out.
static bool fdopenFails = false;

extern "C" std::FILE* fdopen(int fd, const char* mode) {
  if (fdopenFails) {
    errno = ENOMEM;
    return nullptr;
  }
  using Real = std::FILE* (*)(int, const char*);
  static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fdopen"));
  return real(fd, mode);
}

namespace postrider {
namespace {

int OpenDescriptors() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (dirent* entry = readdir(folder)) count += entry->d_name[0] != '.';
  closedir(folder);
  return count;
}

TEST(EntryStateFileTest, ReadingLeavesNoDescriptorOpenWhateverFails) {
  testing::TempDir dir;
  const std::string path = dir.Write("p.prh", std::string(40000, '\x81'));
  EntryMarks marks;
  const int before = OpenDescriptors();
  fdopenFails = true;
  for (int i = 0; i < 20; ++i) {
    const Status status = ReadEntryStateFile(path, marks);
    (void)status;
  }
  fdopenFails = false;
  EXPECT_EQ(OpenDescriptors(), before);

  EXPECT_TRUE(ReadEntryStateFile(path, marks).ok());
  EXPECT_EQ(marks.Mark(31999), 0x81);
  EXPECT_FALSE(ReadEntryStateFile(dir.File("missing.prh"), marks).ok());
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace postrider
