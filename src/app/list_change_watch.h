#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <string>

#include "platform/status.h"

namespace postrider {

class CPostridrDoc;

// Notices another program saving the open project's mailing list, written in
// place or replaced by a new file renamed over it, as spreadsheets save.
// Whether it changed is the core's answer, the same check a send makes; the
// file system's notes and the window's activation only say when to ask, so
// nothing is read per row and nothing polls.
class ListChangeWatch : public QObject {
  Q_OBJECT

 public:
  explicit ListChangeWatch(const CPostridrDoc& document, QObject* parent = nullptr);

  // Follows the list the document has open now, as unchanged.
  void Follow();
  // Asks the core now: an error saying what changed, or Ok.
  Status CheckNow();
  // Asks once the file system has settled: one save brings several notes.
  void CheckSoon();
  bool changed() const { return changed_; }
  // Whether the last look could not read the list at all (gone with its
  // folder, say) rather than found it changed; problem() says why.
  bool unreadable() const { return changed_ && !problem_.empty(); }
  const std::string& problem() const { return problem_; }
  // What is watched: the list file and its folder.
  QStringList watchedPaths() const;

 signals:
  // Also when the change becomes another: changed, then gone.
  void changedChanged(bool changed);
  // After every look at the file, whatever it found.
  void checked(bool changed);

 private:
  void OnFileNote();

  const CPostridrDoc& document_;
  QFileSystemWatcher watcher_;
  QTimer settle_;
  QString file_;
  bool changed_ = false;
  std::string problem_;
};

}  // namespace postrider
