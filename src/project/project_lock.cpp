#include "project/project_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace postrider {
namespace {

constexpr std::size_t kHolderTextLimit = 512;

std::string ThisHost() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// Text from the file is shown, never obeyed.
std::string Printable(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, 64)) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 0x20 || byte >= 0x7F ? '?' : c;
  }
  return shown;
}

struct flock WholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

LockHolder ReadHolder(int fd) {
  char buffer[kHolderTextLimit];
  const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
  const std::string_view text(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  LockHolder holder;
  std::size_t at = 0;
  const auto line = [&text, &at] {
    const std::size_t end = text.find('\n', at);
    const std::string_view piece = text.substr(at, end == std::string_view::npos ? end : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    return piece;
  };
  const std::string pid(line());
  holder.pid = std::strtol(pid.c_str(), nullptr, 10);
  holder.program = Printable(line());
  holder.host = Printable(line());
  if (holder.host == ThisHost()) holder.host.clear();
  if (holder.program.empty()) holder.program = "another program";
  return holder;
}

std::optional<LockHolder> HolderOn(int fd) {
  struct flock probe = WholeFile(F_WRLCK);
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) return std::nullopt;
  return ReadHolder(fd);
}

void WriteHolder(int fd) {
  const std::string text = std::to_string(getpid()) + "\n" + program_invocation_short_name + "\n" +
                           ThisHost() + "\n";
  if (ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = pwrite(fd, text.data(), text.size(), 0);
  }
}

bool StillAtPath(int fd, const std::string& path) {
  struct stat opened {}, named {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
         opened.st_ino == named.st_ino && opened.st_dev == named.st_dev;
}

}  // namespace

std::string ProjectInUseText(const std::string& projectPath, const LockHolder& holder) {
  return "The project \"" + projectPath + "\" is in use: " + holder.Describe() +
         " has it open for writing.";
}

std::string LockHolder::Describe() const {
  // Read while its holder was still writing it, the file may say no more.
  if (pid <= 0) return program;
  std::string text = program + " (process " + std::to_string(pid);
  if (!host.empty()) text += " on " + host;
  return text + ")";
}

std::string ProjectLock::LockFilePath(const std::string& projectPath) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path resolved = fs::canonical(projectPath, error);
  if (error) {
    const fs::path given = fs::absolute(projectPath, error);
    const fs::path folder = fs::canonical(given.parent_path(), error);
    resolved = error ? given : folder / given.filename();
  }
  return resolved.string() + ".lock";
}

ProjectLockAttempt ProjectLock::Take(const std::string& projectPath) {
  const std::string path = LockFilePath(projectPath);
  ProjectLockAttempt attempt;
  // A few rounds: a holder may let go (and remove the file) between our
  // opening it and our lock, which then locks a file nobody else can find.
  for (int round = 0; round < 8; ++round) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
      const int error = errno;
      // A link where the lock file goes is no lock (nobody locks through
      // one), and left there it would leave the project without any.
      if (error == ELOOP && unlink(path.c_str()) == 0) continue;
      // A lock file left by another user that this one may not write: it
      // is an obstacle only while someone holds it.
      const int readable = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
      if (readable >= 0) {
        attempt.holder = HolderOn(readable);
        close(readable);
        if (attempt.holder) return attempt;
        if (unlink(path.c_str()) == 0) continue;
      }
      // One that stays, whoever may hold it, is never taken as no lock at
      // all; on a read-only file system nobody can write the project anyway.
      struct stat there {};
      if (error != EROFS && lstat(path.c_str(), &there) == 0) {
        attempt.blocked = true;
        attempt.problem = "The lock file \"" + path + "\" cannot be taken (" +
                          std::strerror(error) + "), so another program may be writing the " +
                          "project. Remove the lock file once nothing else has the project open.";
        return attempt;
      }
      attempt.problem = "Cannot make the lock file \"" + path + "\": " + std::strerror(error);
      return attempt;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      close(fd);
      attempt.blocked = true;
      attempt.problem = "The lock file \"" + path + "\" is not a file, so no lock can be taken " +
                        "and another program may be writing the project. Remove it once " +
                        "nothing else has the project open.";
      return attempt;
    }
    struct flock lock = WholeFile(F_WRLCK);
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
      const int error = errno;
      if (error == EAGAIN || error == EACCES) attempt.holder = ReadHolder(fd);
      close(fd);
      if (!attempt.holder) {
        attempt.problem = "Cannot lock \"" + path + "\": " + std::strerror(error);
      }
      return attempt;
    }
    if (!StillAtPath(fd, path)) {
      close(fd);
      continue;
    }
    WriteHolder(fd);
    attempt.lock.reset(new ProjectLock(path, fd));
    return attempt;
  }
  attempt.problem = "Cannot lock \"" + path + "\": it keeps being replaced.";
  return attempt;
}

std::optional<LockHolder> ProjectLock::FindHolder(const std::string& projectPath) {
  const int fd =
      open(LockFilePath(projectPath).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<LockHolder> holder = HolderOn(fd);
  close(fd);
  return holder;
}

ProjectLock::~ProjectLock() {
  // Removed while still held, so nobody can take a lock on a file that is
  // about to go.
  if (StillAtPath(fd_, path_)) unlink(path_.c_str());
  close(fd_);
}

}  // namespace postrider
