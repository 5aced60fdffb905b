#include <QTest>

#include <chrono>

#include "views/frame_pacer.h"

using namespace postrider;
using namespace std::chrono_literals;

class FramePacerTest : public QObject {
  Q_OBJECT

 private slots:
  void AFirstChangeShowsAtOnceAndLaterOnesWaitForTheFrame();
  void TheLastChangeOfAFrameIsShownWhenTheFrameEnds();
  void FlushShowsOnlyWhatIsWaiting();
};

void FramePacerTest::AFirstChangeShowsAtOnceAndLaterOnesWaitForTheFrame() {
  int value = 0;
  int shownValue = -1;
  // A frame far longer than the test: nothing but Request and Flush shows.
  FramePacer pacer([&] { shownValue = value; }, std::chrono::minutes(10));
  value = 1;
  pacer.Request();
  QCOMPARE(shownValue, 1);
  QVERIFY(!pacer.pending());
  for (value = 2; value <= 10000; ++value) pacer.Request();
  QCOMPARE(shownValue, 1);
  QVERIFY(pacer.pending());
  QCOMPARE(pacer.shown(), 1LL);
  value = 10000;
  pacer.Flush();
  QCOMPARE(shownValue, 10000);
  QCOMPARE(pacer.shown(), 2LL);
}

void FramePacerTest::TheLastChangeOfAFrameIsShownWhenTheFrameEnds() {
  int value = 0;
  int shownValue = -1;
  FramePacer pacer([&] { shownValue = value; }, 30ms);
  value = 1;
  pacer.Request();
  for (value = 2; value <= 500; ++value) pacer.Request();
  value = 500;
  // Nobody flushes: the frame's end shows the latest on its own.
  QTRY_COMPARE(shownValue, 500);
  QVERIFY(!pacer.pending());
  QCOMPARE(pacer.shown(), 2LL);  // the first change at once, the last at the frame's end
}

void FramePacerTest::FlushShowsOnlyWhatIsWaiting() {
  int shows = 0;
  FramePacer pacer([&] { ++shows; }, std::chrono::minutes(10));
  pacer.Flush();
  QCOMPARE(shows, 0);
  pacer.Request();
  pacer.Flush();
  QCOMPARE(shows, 1);
  pacer.Request();
  pacer.Flush();
  pacer.Flush();
  QCOMPARE(shows, 2);
}

QTEST_MAIN(FramePacerTest)
#include "frame_pacer_test.moc"
