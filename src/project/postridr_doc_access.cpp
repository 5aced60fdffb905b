// The project document's side of the project lock: one writer at a time,
// and a project another program writes opened read-only.

#include "project/postridr_doc.h"
#include "project/project_texts.h"

namespace postrider {
namespace {

bool Locks(ProjectAccess access) {
  return access == ProjectAccess::Exclusive || access == ProjectAccess::ExclusiveOrReadOnly;
}

}  // namespace

bool CPostridrDoc::LockForOpening(const std::string& projectPath) {
  ReleaseProject();
  if (access_ == ProjectAccess::ReadOnly) {
    otherWriter_ = ProjectLock::FindHolder(projectPath);
    readOnlyReason_ = otherWriter_ ? ProjectInUseText(projectPath, *otherWriter_)
                                   : "The project is open only to be looked at.";
    return true;
  }
  if (!Locks(access_)) return true;
  ProjectLockAttempt attempt = ProjectLock::Take(projectPath);
  if (attempt.holder || attempt.blocked) {
    const std::string text =
        attempt.holder ? ProjectInUseText(projectPath, *attempt.holder) : attempt.problem;
    if (access_ == ProjectAccess::Exclusive) {
      ShowMessage(text + (attempt.holder
                              ? " Nothing was changed; try again once it has closed the project."
                              : " Nothing was changed."),
                  MessageIcon::Error);
      return false;
    }
    otherWriter_ = attempt.holder;
    readOnlyReason_ = text;
    return true;
  }
  // A folder where no lock can be made is one where no other program can
  // save the project either; the project opens as it always has.
  lock_ = std::move(attempt.lock);
  return true;
}

Result<std::unique_ptr<ProjectLock>> CPostridrDoc::LockForSaving(const std::string& projectPath) {
  std::unique_ptr<ProjectLock> none;
  if (!Locks(access_)) return none;
  if (lock_ && lock_->lockFilePath() == ProjectLock::LockFilePath(projectPath)) return none;
  ProjectLockAttempt attempt = ProjectLock::Take(projectPath);
  if (attempt.holder) return Status::Error(ProjectInUseText(projectPath, *attempt.holder));
  if (attempt.blocked) return Status::Error(attempt.problem);
  return std::move(attempt.lock);
}

void CPostridrDoc::ReleaseProject() {
  lock_.reset();
  otherWriter_.reset();
  readOnlyReason_ = access_ == ProjectAccess::ReadOnly
                        ? "The project is open only to be looked at."
                        : std::string();
}

Status CPostridrDoc::ReadOnlyRefusal() const {
  return Status::Error("The project is open read-only, so nothing of it can be changed, saved "
                       "or sent. " + readOnlyReason_);
}

}  // namespace postrider
