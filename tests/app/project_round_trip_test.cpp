#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "app/command_ids.h"
#include "app_test_support.h"
#include "views/message_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

// Types a name into Qt's own save dialog and accepts it.
ModalDriver::Action SaveAs(const QString& path) {
  return [path](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
      modal->close();
      return;
    }
    // Typed into the name box, as a person would (selectFile leaves a focused box alone).
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

QStringList MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (action->isVisible() && !action->isSeparator()) texts << action->text();
  }
  return texts;
}

}  // namespace

class ProjectRoundTripTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void EditSavedThroughTheFrameIsThereWhenTheProjectIsReopened();
  void ProjectMadeWithTheWizardAtFirstRunIsSavedAndReopened();
  void SaveAsAsksForANameAndAddsTheExtension();
  void ClosingAsksToSaveAndCancelKeepsTheWindowOpen();
  void SaveAsksBeforeReplacingALetterChangedElsewhere();
  void AnOpenedProjectClosesWithoutAQuestion_data();
  void AnOpenedProjectClosesWithoutAQuestion();
  void RecentFilesShowInTheFileMenuNewestFirst();
  void RecentFileThatFailsToOpenLeavesTheList();
  void SettingsSavedAtCloseKeepWhatAnotherProgramChangedMeanwhile();
  void RecentFilesKeepWhatAnotherDesktopStoredMeanwhile();

 private:
  QString ExamplePath() const { return env_->File(QStringLiteral("example.prj")); }
  static QMenu* FileMenu(CMainFrame* frame) {
    for (QAction* action : frame->menuBar()->actions()) {
      if (action->text() == QStringLiteral("&File")) return action->menu();
    }
    return nullptr;
  }

  std::unique_ptr<DesktopTestEnvironment> env_;
};

void ProjectRoundTripTest::initTestCase() {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void ProjectRoundTripTest::init() {
  env_ = std::make_unique<DesktopTestEnvironment>();
  env_->CopyExampleProject();
  WriteCurrentProjectFile(Bytes(ExamplePath()));
}

void ProjectRoundTripTest::cleanup() { env_.reset(); }

void ProjectRoundTripTest::EditSavedThroughTheFrameIsThereWhenTheProjectIsReopened() {
  const QString marker = QStringLiteral("Bring a friend along.");
  {
    CPostridrApp app;
    QVERIFY(StartAndWait(app));
    QPlainTextEdit* edit = app.mainFrame()->messageView()->messageEdit();
    edit->setFocus();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, marker);
    QTest::keyClick(app.mainFrame(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!app.document().IsModified());
    QVERIFY(ReadBytes(env_->File(QStringLiteral("letter.txt"))).contains(marker.toUtf8()));

    QVERIFY(!app.mainFrame()->isWindowModified());

    // Saved is saved, the edited letter too: closing asks nothing.
    QSignalSpy quit(&app, &CPostridrApp::quitRequested);
    ModalScript script({ClickButton(QStringLiteral("No"))});
    QVERIFY(app.mainFrame()->close());
    QCOMPARE(script.acted(), 0);
    QCOMPARE(quit.count(), 1);
  }
  QCOMPARE(SettingsValue("Settings", "CurrentProjectFile"), Bytes(ExamplePath()));
  QCOMPARE(SettingsValue("Recent File List", "File1"), Bytes(ExamplePath()));

  CPostridrApp again;
  QVERIFY(StartAndWait(again));
  QCOMPARE(again.document().GetPathName(), Bytes(ExamplePath()));
  QVERIFY(again.mainFrame()->messageView()->messageEdit()->toPlainText().contains(marker));
  again.document().SetModifiedFlag(false);
}

void ProjectRoundTripTest::ProjectMadeWithTheWizardAtFirstRunIsSavedAndReopened() {
  // A first run: no settings, so the wizard comes up at start-up.
  QVERIFY(QFile::remove(QString::fromStdString(SettingsFilePath())));
  const QString list = env_->File(QStringLiteral("recipients.txt"));
  const QString june = env_->File(QStringLiteral("june"));
  const QString marker = QStringLiteral("Dear [[FirstName]], see you in June.");
  {
    CPostridrApp app;
    QSignalSpy started(&app, &CPostridrApp::started);
    ModalScript wizard({
        ClickButton(QStringLiteral("Next >")),  // a new message, named on the first save
        [list](QWidget* page) {
          page->findChild<QLineEdit*>()->setText(list);
          ClickButton(QStringLiteral("Next >"))(page);
        },
        [](QWidget* page) {
          auto* fields = page->findChild<QListWidget*>();
          fields->setCurrentRow(2);  // Email
          ClickButton(QStringLiteral("Next >"))(page);
        },
        ClickButton(QStringLiteral("Finish")),
    });
    app.Start(0);
    QVERIFY(started.wait(10000) || started.count() == 1);
    QCOMPARE(wizard.acted(), 4);
    CMainFrame* frame = app.mainFrame();
    QVERIFY(frame->isVisible());
    QCOMPARE(frame->windowTitle(), QStringLiteral("Postrider[*] - Postrider"));
    QCOMPARE(app.document().GetEntryCount(), 12);
    QCOMPARE(frame->statusPane(1)->text(), QStringLiteral("12 Selected"));
    QCOMPARE(frame->insertFieldMenu()->actions().size(), 5);
    QCOMPARE(frame->messageView()->toCombo()->currentText(), QStringLiteral("Email"));

    QPlainTextEdit* edit = frame->messageView()->messageEdit();
    edit->setFocus();
    QTest::keyClicks(edit, marker);
    ModalScript saveAs({SaveAs(june)});
    frame->action(commands::kFileSave)->trigger();
    QCOMPARE(saveAs.acted(), 1);
    QCOMPARE(app.document().GetPathName(), Bytes(june + QStringLiteral(".prj")));
    QVERIFY(ReadBytes(june + QStringLiteral(".txt")).contains(marker.toUtf8()));
    QCOMPARE(ReadBytes(june + QStringLiteral(".prh")).size(), 32000);
    QCOMPARE(frame->windowTitle(), QStringLiteral("june.prj[*] - Postrider"));
    ModalScript dontSave({ClickButton(QStringLiteral("No"))});
    QVERIFY(frame->close());
  }
  QCOMPARE(SettingsValue("Settings", "CurrentProjectFile"), Bytes(june + QStringLiteral(".prj")));

  CPostridrApp again;
  QVERIFY(StartAndWait(again));
  QCOMPARE(again.document().GetPathName(), Bytes(june + QStringLiteral(".prj")));
  QCOMPARE(again.mainFrame()->messageView()->messageEdit()->toPlainText(), marker);
  QCOMPARE(again.mainFrame()->messageView()->toCombo()->currentText(), QStringLiteral("Email"));
  again.document().SetModifiedFlag(false);
}

void ProjectRoundTripTest::SaveAsAsksForANameAndAddsTheExtension() {
  const QString copy = env_->File(QStringLiteral("copy"));
  {
    CPostridrApp app;
    QVERIFY(StartAndWait(app));
    ModalScript script({SaveAs(copy)});
    app.mainFrame()->action(commands::kFileSaveAs)->trigger();
    QCOMPARE(script.acted(), 1);
    QCOMPARE(script.titles(), QStringList({"Save As"}));
    QVERIFY(QFile::exists(copy + QStringLiteral(".prj")));
    QVERIFY(QFile::exists(copy + QStringLiteral(".prh")));
    QCOMPARE(app.document().GetPathName(), Bytes(copy + QStringLiteral(".prj")));
    QCOMPARE(app.mainFrame()->windowTitle(), QStringLiteral("copy.prj[*] - Postrider"));
    QCOMPARE(app.recentFiles().entries(),
             (std::vector<std::string>{Bytes(copy + QStringLiteral(".prj")), Bytes(ExamplePath())}));
    QVERIFY(app.mainFrame()->close());
  }
  // The settings keep the project last saved.
  QCOMPARE(SettingsValue("Settings", "CurrentProjectFile"), Bytes(copy + QStringLiteral(".prj")));
}

void ProjectRoundTripTest::ClosingAsksToSaveAndCancelKeepsTheWindowOpen() {
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  QTest::keyClicks(app.mainFrame()->messageView()->subjectEdit(), QStringLiteral(" (revised)"));
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  QString question;
  QStringList buttons;
  ModalScript script({[&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      question = box->text();
      for (QAbstractButton* button : box->buttons()) buttons << button->text().remove('&');
      QCOMPARE(box->windowTitle(), QStringLiteral("Postrider"));
    }
    ClickButton(QStringLiteral("Cancel"))(modal);
  }});
  app.mainFrame()->action(commands::kAppExit)->trigger();
  QCOMPARE(script.acted(), 1);
  QCOMPARE(question, QStringLiteral("Save changes to example.prj?"));
  buttons.sort();
  QCOMPARE(buttons, QStringList({"Cancel", "No", "Yes"}));
  QVERIFY(app.mainFrame()->isVisible());
  QCOMPARE(quit.count(), 0);

  // Yes saves before the window goes.
  const QByteArray before = ReadBytes(env_->File(QStringLiteral("example.prh")));
  app.document().ToggleEntrySelection(0);
  ModalScript yes({ClickButton(QStringLiteral("Yes"))});
  QVERIFY(app.mainFrame()->close());
  QCOMPARE(quit.count(), 1);
  const QByteArray after = ReadBytes(env_->File(QStringLiteral("example.prh")));
  QCOMPARE(after.size(), 32000);
  QVERIFY(after.at(0) != before.at(0));
}

void ProjectRoundTripTest::SaveAsksBeforeReplacingALetterChangedElsewhere() {
  const QString letter = env_->File(QStringLiteral("letter.txt"));
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  CMainFrame* frame = app.mainFrame();
  QPlainTextEdit* edit = frame->messageView()->messageEdit();
  edit->setFocus();
  edit->moveCursor(QTextCursor::End);
  QTest::keyClicks(edit, QStringLiteral("Typed here."));
  {
    QFile other(letter);
    QVERIFY(other.open(QIODevice::Append));
    other.write("Added in an editor.\n");
  }
  const QByteArray theirs = ReadBytes(letter);

  // Esc and Enter both keep the other program's letter and leave the project unsaved.
  for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    QString question;
    QStringList buttons;
    ModalScript keep({[&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box != nullptr);
      question = box->text();
      for (QAbstractButton* button : box->buttons()) buttons << button->text().remove('&');
      QTest::keyClick(box, key);
    }});
    frame->action(commands::kFileSave)->trigger();
    QCOMPARE(keep.acted(), 1);
    QVERIFY2(question.contains(QLatin1Char('"') + letter + QLatin1Char('"')), qPrintable(question));
    buttons.sort();
    QCOMPARE(buttons, QStringList({"No", "Yes"}));
    QCOMPARE(ReadBytes(letter), theirs);
    QVERIFY(app.document().IsModified());
    QVERIFY(edit->toPlainText().endsWith(QStringLiteral("Typed here.")));
  }

  ModalScript replace({ClickButton(QStringLiteral("Yes"))});
  frame->action(commands::kFileSave)->trigger();
  QCOMPARE(replace.acted(), 1);
  const QByteArray mine = ReadBytes(letter);
  QVERIFY(mine.contains("Typed here."));
  QVERIFY(!mine.contains("Added in an editor."));
  QVERIFY(!app.document().IsModified());
}

void ProjectRoundTripTest::AnOpenedProjectClosesWithoutAQuestion_data() {
  QTest::addColumn<int>("how");
  QTest::newRow("at start-up") << 0;
  QTest::newRow("File > Open") << 1;
  QTest::newRow("Open Again") << 2;
  QTest::newRow("a recent file") << 3;
}

void ProjectRoundTripTest::AnOpenedProjectClosesWithoutAQuestion() {
  QFETCH(int, how);
  const QString other = env_->File(QStringLiteral("example-comma.prj"));
  WritePrivateProfileString("Recent File List", "File1", Bytes(other), SettingsFilePath());
  auto filesNow = [this] {
    QStringList files;
    for (const QString& name : QDir(env_->path()).entryList(QDir::Files, QDir::Name)) {
      if (name.endsWith(QStringLiteral(".lock"))) continue;  // held until the program ends
      files << name + QLatin1Char(' ') + QString::number(qHash(ReadBytes(env_->File(name))));
    }
    return files;
  };
  const QStringList before = filesNow();
  CPostridrApp app;
  QStringList asked;
  // Enter on any question: the default answer of "Save changes?" writes.
  auto enter = [&asked](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) asked << box->text();
    QTest::keyClick(modal, Qt::Key_Return);
  };
  ModalScript script({enter, enter, enter});
  QVERIFY(StartAndWait(app));
  CMainFrame* frame = app.mainFrame();
  switch (how) {
    case 1:
      QCOMPARE(app.OpenDocumentFile(Bytes(other)), CPostridrApp::OpenResult::Opened);
      break;
    case 2:
      QVERIFY(frame->RouteCommand(commands::kFileReopen));
      break;
    case 3:
      QVERIFY(frame->RouteCommand(commands::kRecentFileFirst + 1));
      QCOMPARE(app.document().GetPathName(), Bytes(other));
      break;
    default:
      break;
  }
  QVERIFY(!frame->isWindowModified());
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  QVERIFY(frame->close());
  QCOMPARE(quit.count(), 1);
  QCOMPARE(asked, QStringList());
  QCOMPARE(script.acted(), 0);
  // The project's files are as they were (the settings live elsewhere).
  QCOMPARE(filesNow().join(QLatin1Char('|')), before.join(QLatin1Char('|')));
}

void ProjectRoundTripTest::RecentFilesShowInTheFileMenuNewestFirst() {
  const QString other = env_->File(QStringLiteral("example-comma.prj"));
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  CMainFrame* frame = app.mainFrame();
  QMenu* file = FileMenu(frame);
  QVERIFY(file != nullptr);
  QVERIFY(!frame->action(commands::kRecentFileFirst)->isVisible());
  QVERIFY(MenuTexts(file).contains(QStringLiteral("&1 ") + ExamplePath()));

  app.document().SetModifiedFlag(false);
  QCOMPARE(app.OpenDocumentFile(Bytes(other)), CPostridrApp::OpenResult::Opened);
  const QStringList texts = MenuTexts(file);
  const qsizetype first = texts.indexOf(QStringLiteral("&1 ") + other);
  QVERIFY2(first >= 0, qPrintable(texts.join('|')));
  QCOMPARE(texts.value(first + 1), QStringLiteral("&2 ") + ExamplePath());
  QCOMPARE(texts.value(first + 2), QStringLiteral("E&xit"));

  // Choosing the second entry opens it and moves it to the top.
  app.document().SetModifiedFlag(false);
  QVERIFY(frame->RouteCommand(commands::kRecentFileFirst + 1));
  QCOMPARE(app.document().GetPathName(), Bytes(ExamplePath()));
  QCOMPARE(app.recentFiles().at(0), Bytes(ExamplePath()));
  QCOMPARE(SettingsValue("Recent File List", "File2"), Bytes(other));
  app.document().SetModifiedFlag(false);
}

void ProjectRoundTripTest::RecentFileThatFailsToOpenLeavesTheList() {
  const QString gone = env_->File(QStringLiteral("gone.prj"));
  QVERIFY(QFile::copy(ExamplePath(), gone));
  {
    CPostridrApp app;
    QVERIFY(StartAndWait(app));
    app.document().SetModifiedFlag(false);
    QCOMPARE(app.OpenDocumentFile(Bytes(gone)), CPostridrApp::OpenResult::Opened);
    app.document().SetModifiedFlag(false);
    QVERIFY(app.mainFrame()->close());
  }
  QVERIFY(QFile::remove(gone));
  WriteCurrentProjectFile(Bytes(ExamplePath()));

  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  QCOMPARE(app.recentFiles().at(1), Bytes(gone));
  app.document().SetModifiedFlag(false);
  ModalScript script({ClickButton(QStringLiteral("OK"))});
  QVERIFY(app.mainFrame()->RouteCommand(commands::kRecentFileFirst + 1));
  QCOMPARE(script.acted(), 1);
  QCOMPARE(app.recentFiles().entries(), std::vector<std::string>{Bytes(ExamplePath())});
  QCOMPARE(SettingsValue("Recent File List", "File2"), std::string());

  // A cancelled save prompt is no failure: the entry stays.
  app.document().SetModifiedFlag(true);
  ModalScript cancel({ClickButton(QStringLiteral("Cancel"))});
  QVERIFY(app.mainFrame()->RouteCommand(commands::kRecentFileFirst));
  QCOMPARE(cancel.acted(), 1);
  QCOMPARE(app.recentFiles().size(), 1);
  app.document().SetModifiedFlag(false);
}

void ProjectRoundTripTest::SettingsSavedAtCloseKeepWhatAnotherProgramChangedMeanwhile() {
  WritePrivateProfileString("Settings", "SMTPServer", "mail.example.com", SettingsFilePath());
  WritePrivateProfileString("Settings", "ConfirmSend", "0", SettingsFilePath());
  {
    CPostridrApp app;
    QVERIFY(StartAndWait(app));
    // A second window, or a hand edit, changes one setting; this window another.
    WritePrivateProfileString("Settings", "SMTPServer", "smtp.harbour.example", SettingsFilePath());
    WritePrivateProfileString("Settings", "AuthMethod", "oauth2", SettingsFilePath());
    // The other window turned the question before a send back on.
    WritePrivateProfileString("Settings", "ConfirmSend", "1", SettingsFilePath());
    // ... and was closed over a new project it never saved.
    WritePrivateProfileString("Settings", "CurrentProjectFile", "", SettingsFilePath());
    app.mainFrame()->settings().realName = "Harbour Library";
    QVERIFY(app.mainFrame()->close());
  }
  QCOMPARE(SettingsValue("Settings", "SMTPServer"), std::string("smtp.harbour.example"));
  QCOMPARE(SettingsValue("Settings", "AuthMethod"), std::string("oauth2"));
  QCOMPARE(SettingsValue("Settings", "RealName"), std::string("Harbour Library"));
  QCOMPARE(SettingsValue("Settings", "ConfirmSend"), std::string("1"));
  // The project to reopen is the one of the window closed last.
  QCOMPARE(SettingsValue("Settings", "CurrentProjectFile"), Bytes(ExamplePath()));
  {
    CPostridrApp again;
    QVERIFY(StartAndWait(again));
    QCOMPARE(again.document().GetPathName(), Bytes(ExamplePath()));
    again.document().SetModifiedFlag(false);
    QVERIFY(again.mainFrame()->close());
  }
}

void ProjectRoundTripTest::RecentFilesKeepWhatAnotherDesktopStoredMeanwhile() {
  const QString other = env_->File(QStringLiteral("example-comma.prj"));
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  // A second desktop, started with the same list, stores its own projects.
  auto storeElsewhere = [](std::vector<const char*> paths) {
    RecentFileList elsewhere;
    for (const char* path : paths) elsewhere.Add(path);
    QVERIFY(elsewhere.Save(SettingsFilePath()).ok());
  };
  storeElsewhere({"/elsewhere/b.prj", "/elsewhere/a.prj"});
  // This window's File menu shows them as soon as it opens.
  QMenu* file = FileMenu(app.mainFrame());
  file->popup(QPoint(0, 0));
  QTRY_VERIFY(file->isVisible());
  const QStringList shown = MenuTexts(file);
  file->hide();
  QVERIFY2(shown.contains(QStringLiteral("&1 /elsewhere/a.prj")), qPrintable(shown.join('|')));
  QVERIFY2(shown.contains(QStringLiteral("&2 /elsewhere/b.prj")), qPrintable(shown.join('|')));

  app.document().SetModifiedFlag(false);
  QCOMPARE(app.OpenDocumentFile(Bytes(other)), CPostridrApp::OpenResult::Opened);
  QCOMPARE(SettingsValue("Recent File List", "File1"), Bytes(other));
  QCOMPARE(SettingsValue("Recent File List", "File2"), std::string("/elsewhere/a.prj"));
  QCOMPARE(SettingsValue("Recent File List", "File3"), std::string("/elsewhere/b.prj"));
  QCOMPARE(app.recentFiles().size(), 3);

  // A project that will not open leaves the list; what the other desktop
  // stored meanwhile stays.
  storeElsewhere({Bytes(other).c_str(), "/elsewhere/a.prj", "/elsewhere/c.prj"});
  QCOMPARE(app.recentFiles().at(1), std::string("/elsewhere/a.prj"));
  app.document().SetModifiedFlag(false);
  {
    ModalScript script({ClickButton(QStringLiteral("OK"))});
    QVERIFY(app.mainFrame()->RouteCommand(commands::kRecentFileFirst + 1));
    QCOMPARE(script.acted(), 1);
  }
  QCOMPARE(app.recentFiles().entries(), (std::vector<std::string>{"/elsewhere/c.prj", Bytes(other)}));
  QCOMPARE(SettingsValue("Recent File List", "File1"), std::string("/elsewhere/c.prj"));
  QCOMPARE(SettingsValue("Recent File List", "File2"), Bytes(other));
  QCOMPARE(SettingsValue("Recent File List", "File3"), std::string());
  app.document().SetModifiedFlag(false);
}

QTEST_MAIN(ProjectRoundTripTest)
#include "project_round_trip_test.moc"
