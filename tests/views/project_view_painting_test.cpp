#include <QDir>
#include <QScrollBar>
#include <QTest>

#include <memory>

#include "qt_support/test_environment.h"
#include "views/entry_list_model.h"
#include "views/entry_row_delegate.h"
#include "views/project_view.h"
#include "views/project_view_test_support.h"
#include "views/status_icons.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

const QColor kLightGrey(192, 192, 192);
const QColor kDarkGrey(128, 128, 128);
const QColor kWhite(255, 255, 255);

// One solid colour per status, so a test can tell which icon was drawn.
const QColor kIconColors[] = {QColor(10, 20, 30), QColor(0, 128, 0), QColor(128, 0, 0),
                              QColor(255, 0, 0)};

void WriteSolidIcons(const DesktopTestEnvironment& env) {
  QDir().mkpath(env.File(QStringLiteral("icons")));
  const char* names[] = {"none", "sent", "bad-address", "halted"};
  for (int i = 0; i < 4; ++i) {
    env.Write(QStringLiteral("icons/%1.svg").arg(QLatin1String(names[i])),
              QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='14' height='14'>"
                             "<rect width='14' height='14' fill='%1'/></svg>")
                  .arg(kIconColors[i].name())
                  .toUtf8());
  }
}

}  // namespace

class ProjectViewPaintingTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void ThreeFieldsIn600PixelsPutHeaderCellsAt17And217And417AndRowColumnsAt16And216And416();
  void ValuesStartInTheirColumnsAndAreClippedToThem();
  void AResizeChangesEveryColumnAtOnceAndKeepsTheStripAt15Pixels();
  void EachStatusDrawsItsIconAtTheRowsLeftAndOtherStatusesNone();
  void TheProgramsOwnIconsAreRenderedOnceAndMissingOnesGiveNone();
  void OnlyTheVisibleRowsOfA32000EntryListAreRead();

 private:
  void ShowView(int width, int height) {
    view->resize(width, height);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }
  EntryListModel& model() { return *static_cast<EntryListModel*>(view->entryModel()); }

  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<CPostridrDoc> document;
  TestPrompts prompts;
  std::unique_ptr<CProjectView> view;
};

void ProjectViewPaintingTest::init() {
  env = std::make_unique<DesktopTestEnvironment>();
  document = std::make_unique<CPostridrDoc>();
  document->SetPrompts(&prompts);
  view = std::make_unique<CProjectView>(*document);
}

void ProjectViewPaintingTest::cleanup() {
  view.reset();
  document.reset();
  env.reset();
}

void ProjectViewPaintingTest::
    ThreeFieldsIn600PixelsPutHeaderCellsAt17And217And417AndRowColumnsAt16And216And416() {
  ShowView(600, 200);
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(5))));
  QCOMPARE(view->entryList()->geometry(), QRect(0, 15, 600, 185));
  const QImage image = Grab(*view);

  // Header cell k spans 17 + 200k to 217 + 200k: its white edge one pixel
  // left of it, its dark edge two pixels left of the next cell.
  for (const int left : {17, 217, 417}) {
    QVERIFY2(IsColor(image, left - 1, 7, kWhite), qPrintable(QString::number(left)));
    QVERIFY(IsColor(image, left + 100, 0, kWhite));  // top edge
    QVERIFY(IsColor(image, left + 100, 14, kDarkGrey));  // bottom edge
    QVERIFY(IsColor(image, left + 100, 13, kLightGrey));
  }
  QVERIFY(IsColor(image, 215, 7, kDarkGrey));
  QVERIFY(IsColor(image, 415, 7, kDarkGrey));
  QVERIFY(IsColor(image, 214, 7, kLightGrey));
  QVERIFY(IsColor(image, 15, 7, kLightGrey));  // left of the first cell: the plain band

  // Row column k starts at 16 + 200k inside the list's one-pixel frame: its
  // grid line lies on x 15 + 200k there, 16 + 200k in the view, under the
  // header cell's white edge.
  const int rowTop = RowRect(*view, 1).top();
  QCOMPARE(rowTop, 15 + 1 + 17);
  for (const int gridX : {16, 216, 416}) {
    for (int y = rowTop; y < rowTop + 16; ++y) {
      QVERIFY2(IsColor(image, gridX, y, kLightGrey),
               qPrintable(QStringLiteral("grid %1,%2").arg(gridX).arg(y)));
    }
    QVERIFY(IsColor(image, gridX + 1, rowTop + 15, kWhite));
    QVERIFY(IsColor(image, gridX - 1, rowTop + 15, kWhite));
  }
  // The row separator on the row's last pixel line, the row 17 pixels high.
  for (const int x : {1, 100, 300, 598}) {
    QVERIFY(IsColor(image, x, rowTop + 16, kLightGrey));
    QVERIFY(IsColor(image, x, rowTop + 16 + 17, kLightGrey));
  }
  QVERIFY(IsColor(image, 100, rowTop + 15, kWhite));
}

void ProjectViewPaintingTest::ValuesStartInTheirColumnsAndAreClippedToThem() {
  ShowView(600, 120);
  const QByteArray longName(400, 'W');
  QVERIFY(Open(*document, WriteProject(*env, "p",
                                       "Name\tEmail\tCity\n" + longName + "\tx\t\n",
                                       QByteArray("\x80", 1))));
  const QImage image = Grab(*view);
  const QRect row = RowRect(*view, 0);
  // The long value fills its column up to the next grid line and no further.
  QVERIFY(DarkPixels(image, QRect(17, row.top(), 10, 16)) > 0);
  QVERIFY(DarkPixels(image, QRect(200, row.top(), 15, 16)) > 0);
  const int secondColumnInk = DarkPixels(image, QRect(217, row.top(), 180, 16));
  QVERIFY(secondColumnInk > 0);  // just "x"
  QVERIFY(secondColumnInk < 60);
  QCOMPARE(DarkPixels(image, QRect(417, row.top(), 180, 16)), 0);  // the empty city
  // Text stays between the row's first pixel line and its last two.
  QCOMPARE(DarkPixels(image, QRect(17, row.top(), 580, 1)), 0);
  QCOMPARE(DarkPixels(image, QRect(17, row.bottom() - 1, 580, 2)), 0);
}

void ProjectViewPaintingTest::AResizeChangesEveryColumnAtOnceAndKeepsTheStripAt15Pixels() {
  ShowView(600, 200);
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(5))));
  view->resize(900, 260);
  QTRY_COMPARE(view->entryList()->width(), 900);
  QCOMPARE(view->headerStrip()->height(), 15);
  QCOMPARE(view->entryList()->y(), 15);
  QCOMPARE(view->entryList()->height(), 245);
  const QImage image = Grab(*view);
  const int rowTop = RowRect(*view, 0).top();
  for (const int x : {16, 316, 616}) {
    QVERIFY2(IsColor(image, x, 5, kWhite), qPrintable(QString::number(x)));
    QVERIFY2(IsColor(image, x, rowTop + 5, kLightGrey), qPrintable(QString::number(x)));
  }
  QVERIFY(IsColor(image, 216, rowTop + 5, kWhite));  // the old 600-pixel place is gone
}

void ProjectViewPaintingTest::EachStatusDrawsItsIconAtTheRowsLeftAndOtherStatusesNone() {
  WriteSolidIcons(*env);
  const StatusIcons icons(14, env->File(QStringLiteral("icons/")));
  view->rowDelegate()->SetStatusIcons(&icons);
  ShowView(600, 200);
  // Statuses 0 to 3, a 5 no send run stores, and a selected entry sent.
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(6),
                                       QByteArray("\x00\x01\x02\x03\x05\x81", 6))));
  const QImage image = Grab(*view);
  for (int row = 0; row < 6; ++row) {
    const QRect rect = RowRect(*view, row);
    const int x = rect.left();  // the list's first pixel inside its frame
    const int top = rect.top() + 2;
    const int status = row < 4 ? row : (row == 4 ? -1 : 1);
    const QString where = QStringLiteral("row %1").arg(row);
    if (status < 0) {
      QVERIFY2(IsColor(image, x + 7, top + 7, kWhite), qPrintable(where));
      continue;
    }
    const QColor color = kIconColors[status];
    // 14 x 14 at x 0, y top + 2: every corner inside, the pixels around it outside.
    QVERIFY2(IsColor(image, x, top, color), qPrintable(where));
    QVERIFY2(IsColor(image, x + 13, top + 13, color), qPrintable(where));
    QVERIFY2(!IsColor(image, x + 14, top + 7, color), qPrintable(where));
    QVERIFY2(!IsColor(image, x + 7, top - 1, color), qPrintable(where));
    QVERIFY2(!IsColor(image, x + 7, top + 14, color), qPrintable(where));
  }
}

void ProjectViewPaintingTest::TheProgramsOwnIconsAreRenderedOnceAndMissingOnesGiveNone() {
  const StatusIcons missing(14, env->File(QStringLiteral("no-such-folder/")));
  for (int status = 0; status < 4; ++status) QVERIFY(missing.Pixmap(status, 1.0).isNull());

  WriteSolidIcons(*env);
  const StatusIcons icons(14, env->File(QStringLiteral("icons/")));
  const QPixmap& sent = icons.Pixmap(StatusSent, 2.0);
  QCOMPARE(sent.size(), QSize(28, 28));  // rendered for the screen's pixels
  QCOMPARE(sent.devicePixelRatio(), 2.0);
  QCOMPARE(icons.Pixmap(StatusSent, 2.0).cacheKey(), sent.cacheKey());  // and kept
  QVERIFY(icons.Pixmap(4, 1.0).isNull());
  QVERIFY(icons.Pixmap(-1, 1.0).isNull());
  QCOMPARE(icons.Pixmap(StatusHalted, 1.0).toImage().pixelColor(7, 7), kIconColors[3]);

  // The program's own, once they are built in.
  const StatusIcons own(14);
  for (int status = 0; status < 4; ++status) {
    const bool builtIn = QFile::exists(QStringLiteral(":/icons/status/none.svg"));
    QCOMPARE(own.Pixmap(status, 1.0).isNull(), !builtIn);
  }
}

void ProjectViewPaintingTest::OnlyTheVisibleRowsOfA32000EntryListAreRead() {
  QVERIFY(Open(*document, WriteProject(*env, "big", NumberedList(32000))));
  QCOMPARE(document->GetEntryCount(), 32000);
  QCOMPARE(model().recordReads(), 0LL);  // filling the list reads nothing

  ShowView(600, 400);
  QTRY_VERIFY(view->rowDelegate()->rowsPainted() > 0);
  const int rowHeight = view->metrics().rowHeight;
  const long long visibleRows = (view->entryList()->viewport()->height() + rowHeight - 1) / rowHeight;
  QVERIFY(model().recordReads() <= 2 * visibleRows);

  // A page down and a jump to the end read about a page each.
  long long reads = model().recordReads();
  view->entryList()->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  QTRY_VERIFY(model().recordReads() > reads);
  QVERIFY(model().recordReads() - reads <= 2 * visibleRows + 1);

  reads = model().recordReads();
  view->ShowEntry(31999);
  QTRY_VERIFY(model().recordReads() > reads);
  QVERIFY(model().recordReads() - reads <= 2 * visibleRows);
  const QImage image = Grab(*view);
  QVERIFY(InkPixels(image, RowRect(*view, 31999).adjusted(17, 0, 0, 0)) > 0);
}

QTEST_MAIN(ProjectViewPaintingTest)
#include "project_view_painting_test.moc"
