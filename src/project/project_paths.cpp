#include "project/project_paths.h"

#include <filesystem>

namespace postrider {

std::string ReplaceLastThree(const std::string& path, const std::string& letters) {
  const std::size_t keep = path.size() >= 3 ? path.size() - 3 : 0;
  return path.substr(0, keep) + letters;
}

std::string SendJournalPath(const std::string& projectPath) { return projectPath + ".journal"; }

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (AbsolutePath(a) == AbsolutePath(b)) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

namespace {

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

std::string NewLetterPath(const std::string& projectPath, const std::string& listPath) {
  // A file that is already there (the list, the project, a letter of the
  // user's) is never taken over by a new, empty letter.
  const auto free = [&](const std::string& path) {
    return !Exists(path) && !SameFile(path, listPath) && !SameFile(path, projectPath);
  };
  const std::string named = ReplaceLastThree(projectPath, "txt");
  if (free(named)) return named;
  std::filesystem::path stem(projectPath);
  stem.replace_extension();
  for (int n = 1;; ++n) {
    const std::string candidate =
        stem.string() + "-letter" + (n == 1 ? std::string() : std::to_string(n)) + ".txt";
    if (free(candidate)) return candidate;
  }
}

std::string StoredPathForm(const std::string& projectPath, const std::string& path,
                           const std::string& storedBefore) {
  if (!storedBefore.empty() && ResolveStoredPath(projectPath, storedBefore) == path) {
    return storedBefore;
  }
  return path;
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
