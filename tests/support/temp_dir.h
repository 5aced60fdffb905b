#pragma once

#include <string>

namespace postrider::testing {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with a file name.
  std::string File(const std::string& name) const;
  // Writes bytes to a file in the folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// The whole content of a file, or an empty string when it cannot be read.
std::string ReadFileBytes(const std::string& path);

}  // namespace postrider::testing
