#include <QTest>

#include "app/recent_file_list.h"
#include "platform/private_profile.h"
#include "qt_support/test_environment.h"

using postrider::GetPrivateProfileString;
using postrider::RecentFileList;
using postrider::testing::DesktopTestEnvironment;
using postrider::testing::ReadBytes;

class RecentFileListTest : public QObject {
  Q_OBJECT

 private slots:
  void NewestFirstWithoutDuplicatesAndAtMostFour();
  void RemoveTakesOutOneEntry();
  void SavedListIsReadBackFromTheSettingsFile();
  void SavingKeepsTheUsersOtherSettings();
  void ShorterListEmptiesTheKeysItNoLongerUses();
  void PathThatTheFileCannotHoldIsLeftOutWithoutAnOlderEntryInItsPlace();

 private:
  std::string IniPath() const { return env_.File(QStringLiteral("config/postrider/postrider.ini")).toStdString(); }

  DesktopTestEnvironment env_;
};

void RecentFileListTest::NewestFirstWithoutDuplicatesAndAtMostFour() {
  RecentFileList list;
  for (const char* path : {"/p/a.prj", "/p/b.prj", "/p/c.prj", "/p/b.prj", "/p/d.prj", "/p/e.prj"}) {
    list.Add(path);
  }
  const std::vector<std::string> expected = {"/p/e.prj", "/p/d.prj", "/p/b.prj", "/p/c.prj"};
  QCOMPARE(list.entries(), expected);
  list.Add("");
  QCOMPARE(list.entries(), expected);
}

void RecentFileListTest::RemoveTakesOutOneEntry() {
  RecentFileList list;
  list.Add("/p/a.prj");
  list.Add("/p/b.prj");
  list.Add("/p/c.prj");
  list.Remove(1);
  QCOMPARE(list.entries(), (std::vector<std::string>{"/p/c.prj", "/p/a.prj"}));
  list.Remove(7);
  list.Remove(-1);
  QCOMPARE(list.size(), 2);
}

void RecentFileListTest::SavedListIsReadBackFromTheSettingsFile() {
  RecentFileList list;
  list.Add("/home/ann/mail/june.prj");
  list.Add("/home/ann/mail/r\xe9union.prj");  // a Latin-1 name stays as its bytes
  QVERIFY(list.Save(IniPath()).ok());

  QCOMPARE(GetPrivateProfileString("Recent File List", "File1", "", IniPath()),
           std::string("/home/ann/mail/r\xe9union.prj"));
  QCOMPARE(GetPrivateProfileString("Recent File List", "File2", "", IniPath()),
           std::string("/home/ann/mail/june.prj"));

  RecentFileList reread;
  reread.Load(IniPath());
  QCOMPARE(reread.entries(), list.entries());
}

void RecentFileListTest::SavingKeepsTheUsersOtherSettings() {
  env_.Write(QStringLiteral("config/postrider/postrider.ini"),
             "[Settings]\nReturnAddress=ann@example.com\nSMTPServer=mail.example.com\n");
  RecentFileList list;
  list.Add("/p/a.prj");
  QVERIFY(list.Save(IniPath()).ok());
  const QByteArray text = ReadBytes(QString::fromStdString(IniPath()));
  QVERIFY2(text.contains("ReturnAddress=ann@example.com\nSMTPServer=mail.example.com\n"), text);
  QVERIFY2(text.contains("[Recent File List]\nFile1=/p/a.prj\n"), text);
}

void RecentFileListTest::ShorterListEmptiesTheKeysItNoLongerUses() {
  RecentFileList list;
  list.Add("/p/a.prj");
  list.Add("/p/b.prj");
  QVERIFY(list.Save(IniPath()).ok());
  list.Remove(0);
  QVERIFY(list.Save(IniPath()).ok());

  RecentFileList reread;
  reread.Load(IniPath());
  QCOMPARE(reread.entries(), (std::vector<std::string>{"/p/a.prj"}));
}

void RecentFileListTest::PathThatTheFileCannotHoldIsLeftOutWithoutAnOlderEntryInItsPlace() {
  RecentFileList list;
  list.Add("/p/old.prj");
  list.Add("/p/other.prj");
  QVERIFY(list.Save(IniPath()).ok());
  list.Remove(0);
  list.Remove(0);
  list.Add("/p/two\nlines.prj");
  QVERIFY(!list.Save(IniPath()).ok());

  RecentFileList reread;
  reread.Load(IniPath());
  QVERIFY(reread.empty());
}

QTEST_MAIN(RecentFileListTest)
#include "recent_file_list_test.moc"
