#pragma once

#include <memory>
#include <optional>
#include <string>

namespace postrider {

// Who has a project open for writing, as its lock file says.
struct LockHolder {
  std::string program;
  long pid = 0;
  std::string host;  // empty when it is this computer

  // "postrider-cli (process 1234)", with " on host" for another computer.
  std::string Describe() const;
};

// "The project "PATH" is in use: ... has it open for writing."
std::string ProjectInUseText(const std::string& projectPath, const LockHolder& holder);

class ProjectLock;

// What trying to take a project's lock came to: the lock, or who holds it,
// or neither when no lock can be made there (a folder nobody may write in
// cannot be written by a second program either). A lock file that is there
// but can be neither locked nor removed (another user's, or one made
// unreadable) may be held by anyone: it blocks, as a holder does.
struct ProjectLockAttempt {
  std::unique_ptr<ProjectLock> lock;
  std::optional<LockHolder> holder;
  std::string problem;  // why there is neither
  bool blocked = false;  // the problem is a lock file nobody here can take
};

// One project, one writer. The lock is an open-file-description lock on
// "june.prj.lock" beside the project file (its real path, so that two
// spellings of one project share it): the kernel drops it when its holder
// ends however it ends, so a lock left by a dead process is never an
// obstacle, and closing any other descriptor of the file does not drop it.
// The file's text (process, program, host) only serves the message a second
// writer gets. Released, the file is removed.
class ProjectLock {
 public:
  static ProjectLockAttempt Take(const std::string& projectPath);
  // Who holds the lock now, without taking it; nothing when nobody does.
  static std::optional<LockHolder> FindHolder(const std::string& projectPath);
  // The lock file of a project.
  static std::string LockFilePath(const std::string& projectPath);

  ~ProjectLock();
  ProjectLock(const ProjectLock&) = delete;
  ProjectLock& operator=(const ProjectLock&) = delete;

  const std::string& lockFilePath() const { return path_; }

 private:
  ProjectLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

  std::string path_;
  int fd_;
};

}  // namespace postrider
