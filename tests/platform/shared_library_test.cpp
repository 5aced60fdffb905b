#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace postrider {
namespace {

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

}  // namespace
}  // namespace postrider
