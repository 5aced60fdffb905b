#include "project/project_paths.h"

#include <filesystem>

namespace postrider {

std::string ReplaceLastThree(const std::string& path, const std::string& letters) {
  const std::size_t keep = path.size() >= 3 ? path.size() - 3 : 0;
  return path.substr(0, keep) + letters;
}

std::string ResolveStoredPath(const std::string& projectPath, const std::string& stored) {
  const std::filesystem::path storedPath(stored);
  if (stored.empty() || storedPath.is_absolute()) return stored;
  const std::filesystem::path folder = std::filesystem::path(AbsolutePath(projectPath)).parent_path();
  return (folder / storedPath).lexically_normal().string();
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  return absolute.lexically_normal().string();
}

}  // namespace postrider
