#pragma once

// Shared by the wizard's tests: one action for each modal dialog in turn, a
// frame that remembers what the document told it, and finding the pages.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "project/document_views.h"
#include "qt_support/modal_driver.h"

namespace postrider::testing {

// Runs steps[0] on the first modal dialog that comes up, steps[1] on the next
// one, and so on; a dialog that comes up when no step is left, or after a step
// has failed, is rejected and counted, so a test never waits on a dialog
// nobody answers.
class ModalScript {
 public:
  using Step = std::function<void(QWidget* modal)>;

  explicit ModalScript(std::vector<Step> steps) : steps_(std::move(steps)) { Arm(); }

  std::size_t stepsRun() const { return next_; }
  bool finished() const { return next_ == steps_.size(); }
  const QStringList& unexpected() const { return unexpected_; }

 private:
  void Arm() {
    if (next_ >= steps_.size() || failed_) {
      ArmFallback();
      return;
    }
    const std::size_t index = next_;
    drivers_.push_back(std::make_unique<ModalDriver>([this, index](QWidget* modal) {
      ++next_;
      // The next step's driver starts now, so it can answer a dialog this
      // step opens from inside its own modal run.
      Arm();
      steps_[index](modal);
      // The driver closes it too; a dialog already closed is left alone.
      if (QTest::currentTestFailed() && !failed_) {
        failed_ = true;
        if (modal->isVisible()) RejectLater(modal);
      }
    }));
  }

  void ArmFallback() {
    drivers_.push_back(std::make_unique<ModalDriver>(
        [this](QWidget* modal) {
          unexpected_.push_back(modal->windowTitle() + QStringLiteral(": ") + TextOf(modal));
          ArmFallback();
          RejectLater(modal);
        },
        60000));
  }

  static void RejectLater(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }

  static QString TextOf(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->text();
    return modal->metaObject()->className();
  }

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool failed_ = false;
  QStringList unexpected_;
  std::vector<std::unique_ptr<ModalDriver>> drivers_;
};

// The page a step acts on, or nothing (and a failed test) when another dialog came up.
template <typename Page>
Page* AsPage(QWidget* modal) {
  auto* page = qobject_cast<Page*>(modal);
  if (page == nullptr) {
    QTest::qFail(qPrintable(QStringLiteral("expected %1, got %2")
                                .arg(QLatin1String(Page::staticMetaObject.className()),
                                     QLatin1String(modal->metaObject()->className()))),
                 __FILE__, __LINE__);
  }
  return page;
}

inline void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

inline void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
}

// Types `name` into a file dialog's name field, in `folder`, and confirms, as
// a user does. (selectFile leaves the field alone while it has the focus.)
inline void ChooseFile(QFileDialog* dialog, const QString& folder, const QString& name) {
  dialog->setDirectory(folder);
  auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(field != nullptr);
  field->setText(name);
  static_cast<QDialog*>(dialog)->accept();
  QVERIFY(!dialog->isVisible());
}

// What the document told the main window.
class RecordingFrame : public IMainFrame {
 public:
  void AttachDocument(CPostridrDoc* document) override { attached.push_back(document); }
  void SetCurrentProjectPath(const std::string& path) override { paths.push_back(path); }
  void ShowSelectedCount(long count) override { counts.push_back(count); }
  void SetStatusText(const std::string&) override {}
  void ShowHelpContents() override { ++helpShown; }

  std::vector<CPostridrDoc*> attached;
  std::vector<std::string> paths;
  std::vector<long> counts;
  int helpShown = 0;
};

}  // namespace postrider::testing
