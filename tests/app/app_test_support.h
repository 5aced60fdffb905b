#pragma once

// Shared by the application's Qt tests: the real program started on real
// files in a temporary folder.

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "views/display_text.h"
#include "app/main_frame.h"
#include "app/postridr_app.h"
#include "platform/private_profile.h"
#include "platform/user_paths.h"
#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"

namespace postrider::testing {

inline std::string Bytes(const QString& path) { return PathBytes(path); }

// Writes the settings file the program reads at start-up.
inline void WriteCurrentProjectFile(const std::string& path) {
  EnsureParentFolder(SettingsFilePath());
  WritePrivateProfileString("Settings", "CurrentProjectFile", path, SettingsFilePath());
}

inline std::string SettingsValue(const char* section, const char* key) {
  return GetPrivateProfileString(section, key, "", SettingsFilePath(), 4096);
}

// Starts the program without the start-up picture's wait and waits for its
// window; false when the window did not come up.
inline bool StartAndWait(CPostridrApp& app) {
  QSignalSpy started(&app, &CPostridrApp::started);
  app.Start(0);
  return started.wait(10000) || started.count() > 0;
}

// A fresh folder holding the example project, which the program is set to
// open at start-up.
inline std::unique_ptr<DesktopTestEnvironment> ExampleProjectEnvironment() {
  auto env = std::make_unique<DesktopTestEnvironment>();
  env->CopyExampleProject();
  WriteCurrentProjectFile(Bytes(env->File(QStringLiteral("example.prj"))));
  return env;
}

// Starts the program and waits until its window is shown; false when it
// did not come up.
inline bool StartShown(std::unique_ptr<CPostridrApp>& app) {
  app = std::make_unique<CPostridrApp>();
  return StartAndWait(*app) && QTest::qWaitForWindowExposed(app->mainFrame());
}

// Drives modal dialogs one after another: each step acts on the next modal
// that comes up after the previous one.
class ModalScript {
 public:
  using Action = ModalDriver::Action;

  explicit ModalScript(std::vector<Action> steps) : steps_(std::move(steps)) { Next(); }

  // How many steps have acted.
  int acted() const { return acted_; }
  QStringList titles() const { return titles_; }

 private:
  void Next() {
    if (next_ >= steps_.size()) return;
    Action step = steps_[next_++];
    drivers_.push_back(std::make_unique<ModalDriver>([this, step](QWidget* modal) {
      ++acted_;
      titles_ << modal->windowTitle();
      // The next driver must know this modal, so that it waits for a new one.
      Next();
      step(modal);
    }));
  }

  std::vector<Action> steps_;
  std::size_t next_ = 0;
  std::vector<std::unique_ptr<ModalDriver>> drivers_;
  int acted_ = 0;
  QStringList titles_;
};

inline ModalDriver::Action ClickButton(const QString& text) {
  return [text](QWidget* modal) {
    if (QAbstractButton* button = FindButton(modal, text)) {
      button->click();
    } else {
      qWarning("no button \"%s\" on \"%s\"", qPrintable(text), qPrintable(modal->windowTitle()));
      modal->close();
    }
  };
}

}  // namespace postrider::testing
