#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Declared only for its type: no library defines it.
extern "C" int postrider_absent_function(int);

namespace postrider {
namespace {

#define LIBC_FUNCTIONS(X) X(strlen) X(strspn)
POSTRIDER_FUNCTION_TABLE(LibcFunctions, LIBC_FUNCTIONS)
#define LIBC_AND_ABSENT_FUNCTIONS(X) X(strlen) X(postrider_absent_function) X(strspn)
POSTRIDER_FUNCTION_TABLE(LibcAndAbsentFunctions, LIBC_AND_ABSENT_FUNCTIONS)

// Sign-in and the keyring load their libraries only when used: one that is
// not installed, or too old, must be an error that says which, not a crash.
TEST(SharedLibrary, AMissingLibraryOrFunctionIsAnErrorNamingIt) {
  const Result<SharedLibrary> missing = SharedLibrary::Open("libpostrider-absent.so.7");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find("The library libpostrider-absent.so.7 could not be "
                                            "loaded"),
            std::string::npos)
      << missing.status().message();

  const Result<SharedLibrary> libc = SharedLibrary::Open("libc.so.6");
  ASSERT_TRUE(libc.ok()) << libc.status().message();
  decltype(&std::strlen) length = nullptr;
  ASSERT_TRUE(libc->Find("strlen", length).ok());
  EXPECT_EQ(length("four"), 4u);

  void (*absent)() = nullptr;
  const Status notThere = libc->Find("postrider_no_such_function", absent);
  EXPECT_EQ(notThere.message(), "The library libc.so.6 has no function postrider_no_such_function: "
                                "it is older than this program needs.");
  EXPECT_EQ(absent, nullptr);
}

// Attachments, Markdown letters and international addresses load their
// libraries through such tables: every function found, or the error naming
// the first one that is not.
TEST(SharedLibrary, AFunctionTableIsFilledWholeOrNamesWhatIsMissing) {
  const Result<LibcFunctions> libc = LoadFunctionTable<LibcFunctions>("libc.so.6");
  ASSERT_TRUE(libc.ok()) << libc.status().message();
  EXPECT_EQ(libc->strlen("four"), 4u);
  EXPECT_EQ(libc->strspn("aab", "a"), 2u);

  const Result<LibcAndAbsentFunctions> partial =
      LoadFunctionTable<LibcAndAbsentFunctions>("libc.so.6");
  ASSERT_FALSE(partial.ok());
  EXPECT_EQ(partial.status().message(),
            "The library libc.so.6 has no function postrider_absent_function: it is older than "
            "this program needs.");

  const Result<const LibcFunctions*> absent =
      LoadFunctionTableOnce<LibcFunctions>("libpostrider-absent.so.7");
  ASSERT_FALSE(absent.ok());
  EXPECT_NE(absent.status().message().find("libpostrider-absent.so.7"), std::string::npos);
}

}  // namespace
}  // namespace postrider
