#pragma once

namespace postrider::testing {

// While one lives, fsync of a folder in this process fails with `error` (a
// dying disk says EIO); fsync of a file, and every other call, goes on as
// ever. The test executable's own fsync stands in for the C library's, so
// the code under test is the code that ships.
class FolderSyncFailure {
 public:
  explicit FolderSyncFailure(int error);
  ~FolderSyncFailure();
  FolderSyncFailure(const FolderSyncFailure&) = delete;
  FolderSyncFailure& operator=(const FolderSyncFailure&) = delete;

  // The folder syncs failed so far.
  static int failed();
};

}  // namespace postrider::testing
