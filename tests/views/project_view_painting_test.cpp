#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include <memory>

#include "qt_support/test_environment.h"
#include "views/entry_list_model.h"
#include "views/entry_list_view.h"
#include "views/entry_row_delegate.h"
#include "views/list_colors.h"
#include "views/project_view.h"
#include "views/project_view_test_support.h"
#include "views/status_icons.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

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

// A dark theme's colours, as a desktop set to one hands them to Qt.
QPalette DarkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 45));
  dark.setColor(QPalette::WindowText, QColor(238, 238, 236));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
  dark.setColor(QPalette::Text, QColor(238, 238, 236));
  dark.setColor(QPalette::Button, QColor(53, 53, 53));
  dark.setColor(QPalette::ButtonText, QColor(238, 238, 236));
  dark.setColor(QPalette::Light, QColor(80, 80, 80));
  dark.setColor(QPalette::Midlight, QColor(66, 66, 66));
  dark.setColor(QPalette::Mid, QColor(40, 40, 40));
  dark.setColor(QPalette::Dark, QColor(20, 20, 20));
  dark.setColor(QPalette::Highlight, QColor(53, 132, 228));
  return dark;
}

// The pixels of the area that are text or icon, not background or grid.
QRect InkBounds(const QImage& image, const QRect& area, const QColor& background) {
  QRect bounds;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (ContrastRatio(image.pixelColor(x, y), background) > 2.0) bounds |= QRect(x, y, 1, 1);
    }
  }
  return bounds;
}

// The strongest contrast any pixel of the area has against the background.
double MaxContrast(const QImage& image, const QRect& area, const QColor& background) {
  double most = 1.0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      most = std::max(most, ContrastRatio(image.pixelColor(x, y), background));
    }
  }
  return most;
}

}  // namespace

class ProjectViewPaintingTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void UnselectedTextIsFainterYetReadableOnEveryPalette_data();
  void UnselectedTextIsFainterYetReadableOnEveryPalette();
  void AThemesPaletteColoursTheListAndItsHeader();
  void FieldColumnsShareTheWidthUntilTheUserDragsAHeaderEdge();
  void AValueThatDoesNotFitEndsInAnEllipsisInsideItsColumn();
  void RowsAndHeaderGrowWithTheFont();
  void EachStatusDrawsItsIconInTheMarkColumnAndOtherStatusesNone();
  void TheProgramsOwnIconsAreRenderedOnceAndMissingOnesGiveNone();
  void OnlyTheVisibleRowsOfA32000EntryListAreRead();

 private:
  void ShowView(int width, int height) {
    view->resize(width, height);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }
  EntryListModel& model() { return *static_cast<EntryListModel*>(view->entryModel()); }
  QColor Base() const { return view->entryList()->viewport()->palette().color(QPalette::Base); }

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

void ProjectViewPaintingTest::UnselectedTextIsFainterYetReadableOnEveryPalette_data() {
  QTest::addColumn<QColor>("text");
  QTest::addColumn<QColor>("background");
  QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white);
  QTest::newRow("light theme") << QColor(31, 31, 31) << QColor(250, 250, 250);
  QTest::newRow("dark theme") << QColor(238, 238, 236) << QColor(30, 30, 30);
  QTest::newRow("blue on yellow") << QColor(0, 0, 139) << QColor(255, 255, 200);
  QTest::newRow("already faint") << QColor(140, 140, 140) << QColor(Qt::white);
}

void ProjectViewPaintingTest::UnselectedTextIsFainterYetReadableOnEveryPalette() {
  QFETCH(QColor, text);
  QFETCH(QColor, background);
  QCOMPARE(ContrastRatio(Qt::black, Qt::white), 21.0);
  QCOMPARE(ContrastRatio(text, text), 1.0);

  const QColor dimmed = DimmedTextColor(text, background);
  const double full = ContrastRatio(text, background);
  if (full <= 4.5) {
    QCOMPARE(dimmed, text);  // nothing fainter would still read
    return;
  }
  QVERIFY2(ContrastRatio(dimmed, background) >= 4.5, qPrintable(dimmed.name()));
  // As faint as that allows: close to the 4.5:1 of WCAG AA, well below the text's own.
  QVERIFY2(ContrastRatio(dimmed, background) < 5.0, qPrintable(dimmed.name()));
  QVERIFY(ContrastRatio(dimmed, text) > 1.5);

  // The rows as painted: an unselected entry in the faint colour, a selected
  // one in the palette's own.
  QPalette palette = view->palette();
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Base, background);
  view->setPalette(palette);
  ShowView(600, 150);
  QVERIFY(Open(*document, WriteProject(*env, "p", "Name\tEmail\nEEEEEEEE\tx\nEEEEEEEE\tx\n",
                                       QByteArray("\x80\x00", 2))));
  view->entryList()->selectionModel()->clearCurrentIndex();
  const QImage image = Grab(*view);
  // Anti-aliased edges blend towards the background, so the strongest pixel
  // of a row is its text colour.
  const double selectedInk = MaxContrast(image, CellRect(*view, 0, 1), background);
  const double unselectedInk = MaxContrast(image, CellRect(*view, 1, 1), background);
  QVERIFY2(qAbs(selectedInk - full) < 0.05, qPrintable(QString::number(selectedInk)));
  QVERIFY2(qAbs(unselectedInk - ContrastRatio(dimmed, background)) < 0.05,
           qPrintable(QString::number(unselectedInk)));
}

void ProjectViewPaintingTest::AThemesPaletteColoursTheListAndItsHeader() {
  const QPalette light = view->palette();
  for (const QPalette& palette : {light, DarkPalette()}) {
    view->setPalette(palette);
    ShowView(600, 200);
    QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(3), QByteArray("\x81\x02", 2))));
    view->entryList()->selectionModel()->clearCurrentIndex();
    const QImage image = Grab(*view);
    const QRect below = RowRect(*view, 2).translated(0, 3 * view->metrics().rowHeight);
    QCOMPARE(image.pixelColor(below.center()), palette.color(QPalette::Base));
    // The header is painted by the style in the theme's colours: as dark as
    // the theme's window, never a fixed light grey.
    const QRect header = view->headerStrip()->geometry().translated(
        view->entryList()->mapTo(view.get(), QPoint(0, 0)));
    const QColor band = image.pixelColor(header.center().x(), header.top() + 2);
    QVERIFY2(qAbs(qGray(band.rgb()) - qGray(palette.color(QPalette::Window).rgb())) < 60,
             qPrintable(band.name()));
    // Both rows' text reads against the background.
    const QRect firstInk = InkBounds(image, CellRect(*view, 0, 1), Base());
    const QRect secondInk = InkBounds(image, CellRect(*view, 1, 1), Base());
    QVERIFY(!firstInk.isEmpty());
    QVERIFY(!secondInk.isEmpty());
    view->hide();
  }
}

void ProjectViewPaintingTest::FieldColumnsShareTheWidthUntilTheUserDragsAHeaderEdge() {
  ShowView(600, 200);
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(5))));
  auto* list = static_cast<EntryListView*>(view->entryList());
  QHeaderView* header = view->headerStrip();
  const auto fieldWidths = [header] {
    return QList<int>{header->sectionSize(1), header->sectionSize(2), header->sectionSize(3)};
  };
  const auto shareEqually = [&] {
    const int room = list->viewport()->width() - header->sectionSize(0);
    const QList<int> widths = fieldWidths();
    return qAbs(widths[0] - room / 3) <= 1 && qAbs(widths[1] - room / 3) <= 1 &&
           widths[0] + widths[1] + widths[2] == room;
  };
  QCOMPARE(header->sectionSize(0), view->metrics().iconColumnWidth);
  QVERIFY(shareEqually());
  view->resize(900, 200);
  QTRY_VERIFY(shareEqually());
  QVERIFY(!list->columnsSizedByUser());

  // The user drags the edge between the first two fields to the right.
  const bool modified = document->IsModified();
  const int edge = header->sectionViewportPosition(2) - 1;
  const int y = header->height() / 2;
  QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
  QTest::mouseMove(header->viewport(), QPoint(edge + 40, y));
  QTest::mouseMove(header->viewport(), QPoint(edge + 80, y));
  QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 80, y));
  QVERIFY(list->columnsSizedByUser());
  const int dragged = header->sectionSize(1);
  QVERIFY2(dragged > header->sectionSize(2) + 40, qPrintable(QString::number(dragged)));
  // The rows follow the header, and a resize of the window keeps the user's width.
  QCOMPARE(list->columnViewportPosition(2), header->sectionViewportPosition(2));
  view->resize(800, 200);
  QTRY_COMPARE(list->viewport()->width() + list->frameWidth() * 2, 800);
  QCOMPARE(header->sectionSize(1), dragged);
  QCOMPARE(document->IsModified(), modified);  // widths are no change to the project

  // A list opened afterwards starts with equal columns again.
  QVERIFY(Open(*document, WriteProject(*env, "q", NumberedList(2))));
  QVERIFY(!list->columnsSizedByUser());
  QVERIFY(shareEqually());
}

void ProjectViewPaintingTest::AValueThatDoesNotFitEndsInAnEllipsisInsideItsColumn() {
  ShowView(600, 120);
  const QByteArray longName(400, 'W');
  QVERIFY(Open(*document, WriteProject(*env, "p", "Name\tEmail\tCity\n" + longName + "\tx\t\n",
                                       QByteArray("\x80", 1))));
  view->entryList()->selectionModel()->clearCurrentIndex();
  const QImage image = Grab(*view);
  const QRect cell = CellRect(*view, 0, 1);
  const QRect ink = InkBounds(image, cell.adjusted(1, 1, -1, -1), Base());
  QVERIFY(!ink.isEmpty());
  // Nothing of it reaches the next column.
  QVERIFY(InkBounds(image, CellRect(*view, 0, 2).adjusted(1, 1, -1, -1), Base()).width() <
          QFontMetrics(view->entryList()->font()).horizontalAdvance(QStringLiteral("xx")));
  // It ends in dots on the base line, not in a W cut off at the edge: the last
  // few columns of ink stay in the lower part of the line.
  const QRect tail = InkBounds(image, QRect(ink.right() - 2, cell.top() + 1, 3, cell.height() - 2),
                               Base());
  QVERIFY2(tail.height() * 3 < ink.height(), qPrintable(QStringLiteral("%1 of %2")
                                                            .arg(tail.height())
                                                            .arg(ink.height())));
  QVERIFY(ink.right() < cell.right());
  // The whole value is still there for the tip and for screen readers.
  QCOMPARE(model().index(0, 1).data(Qt::ToolTipRole).toString(), QString::fromLatin1(longName));
}

void ProjectViewPaintingTest::RowsAndHeaderGrowWithTheFont() {
  QFont small = QApplication::font();
  small.setPixelSize(11);
  QFont large = small;
  large.setPixelSize(26);
  const ProjectViewMetrics forSmall = ProjectViewMetrics::ForFont(small);
  const ProjectViewMetrics forLarge = ProjectViewMetrics::ForFont(large);
  QCOMPARE(forSmall.iconSize, 14);  // the layout's own size is the least
  QVERIFY(forLarge.iconSize > forSmall.iconSize);
  QVERIFY(forLarge.rowHeight >= QFontMetrics(large).height() + 2);
  QVERIFY(forLarge.rowHeight >= forLarge.iconSize + 2);
  QCOMPARE(forSmall.iconColumnWidth, forSmall.iconSize + 2);

  // The header's band is as tall as its font needs.
  ShowView(600, 200);
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(3))));
  const int before = view->headerStrip()->sizeHint().height();
  view->headerStrip()->setFont(large);
  QVERIFY(view->headerStrip()->sizeHint().height() >= QFontMetrics(large).height());
  QVERIFY(view->headerStrip()->sizeHint().height() > before);
}

void ProjectViewPaintingTest::EachStatusDrawsItsIconInTheMarkColumnAndOtherStatusesNone() {
  WriteSolidIcons(*env);
  const StatusIcons icons(14, env->File(QStringLiteral("icons/")));
  view->rowDelegate()->SetStatusIcons(&icons);
  ShowView(600, 200);
  // Statuses 0 to 3, a 5 no send run stores, and a selected entry sent.
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(6),
                                       QByteArray("\x00\x01\x02\x03\x05\x81", 6))));
  view->entryList()->selectionModel()->clearCurrentIndex();
  const QImage image = Grab(*view);
  for (int row = 0; row < 6; ++row) {
    const QRect mark = CellRect(*view, row, 0);
    const QString where = QStringLiteral("row %1").arg(row);
    const int status = row < 4 ? row : (row == 4 ? -1 : 1);
    for (int other = 0; other < 4; ++other) {
      if (other == status) continue;
      QVERIFY2(!HasColor(image, mark, kIconColors[other]), qPrintable(where));
    }
    if (status < 0) continue;
    // The 14 x 14 icon, whole, inside its cell and nowhere else in the row.
    int pixels = 0;
    for (int y = mark.top(); y <= mark.bottom(); ++y) {
      for (int x = mark.left(); x <= mark.right(); ++x) pixels += IsColor(image, x, y, kIconColors[status]);
    }
    QVERIFY2(pixels == 14 * 14, qPrintable(where + QStringLiteral(": %1").arg(pixels)));
    QVERIFY(!HasColor(image, CellRect(*view, row, 1), kIconColors[status]));
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

  // The program's own: drawn on nothing, so they sit on a dark list as on a light one.
  const StatusIcons own(14);
  for (int status = 0; status < 4; ++status) {
    const QPixmap& icon = own.Pixmap(status, 1.0);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.toImage().pixelColor(0, 0).alpha(), 0);
  }
  // Every status but none shows something that stands out from white and from
  // a dark background alike.
  for (int status = 1; status < 4; ++status) {
    const QImage image = own.Pixmap(status, 1.0).toImage();
    double onWhite = 0;
    double onDark = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.alpha() < 255) continue;
        onWhite = std::max(onWhite, ContrastRatio(pixel, Qt::white));
        onDark = std::max(onDark, ContrastRatio(pixel, QColor(30, 30, 30)));
      }
    }
    QVERIFY2(onWhite >= 3.0 && onDark >= 3.0,
             qPrintable(QStringLiteral("status %1: %2 and %3").arg(status).arg(onWhite).arg(onDark)));
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
  QVERIFY(!InkBounds(image, CellRect(*view, 31999, 1), Base()).isEmpty());
}

QTEST_MAIN(ProjectViewPaintingTest)
#include "project_view_painting_test.moc"
