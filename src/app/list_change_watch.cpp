#include "app/list_change_watch.h"

#include <QFileInfo>

#include <utility>

#include "project/postridr_doc.h"
#include "views/display_text.h"

namespace postrider {

namespace {

// Long enough for a save's truncate and write, or its write and rename, to
// come as one note; short enough to seem at once.
constexpr int kSettleMs = 250;

}  // namespace

ListChangeWatch::ListChangeWatch(const CPostridrDoc& document, QObject* parent)
    : QObject(parent), document_(document) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, [this] { CheckNow(); });
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &ListChangeWatch::OnFileNote);
  // A file renamed over the list is a change of its folder, and the watch on
  // the old file ends with it.
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &ListChangeWatch::OnFileNote);
}

void ListChangeWatch::Follow() {
  settle_.stop();
  if (const QStringList paths = watchedPaths(); !paths.isEmpty()) watcher_.removePaths(paths);
  file_.clear();
  const std::string& list = document_.GetListFilePath();
  if (!list.empty()) {
    file_ = ShownPath(list);
    watcher_.addPath(QFileInfo(file_).absolutePath());
    watcher_.addPath(file_);
  }
  problem_.clear();
  if (std::exchange(changed_, false)) emit changedChanged(false);
}

QStringList ListChangeWatch::watchedPaths() const {
  return watcher_.files() + watcher_.directories();
}

void ListChangeWatch::OnFileNote() {
  if (file_.isEmpty()) return;
  // The watch follows the file it was set on, which a rename took away from
  // the path, still open as the list: the file now at the path is the one
  // to hear of next time.
  watcher_.removePath(file_);
  if (QFileInfo::exists(file_)) watcher_.addPath(file_);
  settle_.start();
}

void ListChangeWatch::CheckSoon() {
  if (!file_.isEmpty()) settle_.start();
}

Status ListChangeWatch::CheckNow() {
  Status status = document_.CheckListUnchanged();
  // The core says either that the list changed, in its one text for that,
  // or why the file could not be read at all.
  std::string problem =
      status.ok() || status.message() == document_.ListChangedText() ? std::string() : status.message();
  if (!file_.isEmpty() && (changed_ != !status.ok() || problem_ != problem)) {
    changed_ = !status.ok();
    problem_ = std::move(problem);
    emit changedChanged(changed_);
  }
  emit checked(!status.ok());
  return status;
}

}  // namespace postrider
