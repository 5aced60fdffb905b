// The desktop program's Send beside `postrider-cli send`: the same generated
// project (10000 entries by default) to Postfix's smtp-sink on loopback, in
// turn, a fresh sink each round. The desktop run is the real main window on
// Qt's offscreen platform, driven through its Send command, with the final
// box answered as it comes; it is timed from the command to that box. Then a
// desktop run that is paused part of the way: how long the Pause waited for
// the window to take it, and how long from then to the run's end.
//
// Usage: bench_desktop_send [entries [rounds]]   (10000 and 5 by default;
// postrider-cli as for bench_send_run)

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <sys/resource.h>
#include <sys/time.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>

#include "app/command_ids.h"
#include "app/desktop_send_run.h"
#include "app/main_frame.h"
#include "app/postridr_app.h"
#include "bench_project.h"
#include "bench_support.h"
#include "platform/private_profile.h"
#include "platform/user_paths.h"
#include "project/postridr_doc.h"
#include "views/frame_pacer.h"
#include "views/project_view.h"

namespace {

using namespace postrider;
using namespace postrider::bench;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench_desktop_send: %s\n", what.c_str());
  std::exit(1);
}

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Counts the paints of one widget.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Answers the run's boxes as they come: OK to the final box (whose arrival
// ends the run's time), Yes to a question before the run, No to starting
// again from the beginning.
class BoxAnswers : public QObject {
 public:
  BoxAnswers() {
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
    timer_.start();
  }
  std::optional<Clock::time_point> finalBoxAt;
  QString finalText;

 private:
  void Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    if (box->button(QMessageBox::Yes) != nullptr) {
      const bool fromStart = box->text().contains(QStringLiteral("from the beginning"));
      box->button(fromStart ? QMessageBox::No : QMessageBox::Yes)->click();
      return;
    }
    if (!finalBoxAt) finalBoxAt = Clock::now();
    finalText = box->text();
    box->accept();
  }
  QTimer timer_;
};

struct DesktopRun {
  double seconds = 0;
  double cpuSeconds = 0;  // this process's processor time over the run
  int statusPaints = 0;
  int listPaints = 0;
  long long displayShowings = 0;
  int sent = 0;
  QString finalText;
  // With a Pause: when it was due, when the window took it, when the run ended.
  std::optional<double> pauseTakenAfterMs;
  std::optional<double> endAfterPauseMs;
  QString paneAfterPause;
};

int CountSent(const CPostridrDoc& document) {
  int sent = 0;
  for (int i = 0; i < document.GetEntryCount(); ++i) sent += document.GetEntryStatus(i) == StatusSent;
  return sent;
}

// One desktop Send of a freshly written project; a Pause `pauseAfterMs`
// after the Send when given.
DesktopRun RunDesktopSend(CPostridrApp& postrider, const Sink& sink, const fs::path& folder,
                          int entries, std::optional<double> pauseAfterMs = std::nullopt) {
  postrider.document().SetModifiedFlag(false);
  const fs::path project = WriteProject(folder, entries, sink.address());
  fs::remove(project.string() + ".journal");
  if (postrider.OpenDocumentFile(project.string()) != CPostridrApp::OpenResult::Opened) {
    Die("the project did not open");
  }
  CMainFrame* frame = postrider.mainFrame();
  frame->settings().smtpServer = sink.address();
  QCoreApplication::processEvents();

  PaintCounter statusPaints(frame->statusPane(1));
  PaintCounter listPaints(frame->projectView()->entryList()->viewport());
  const long long showingsBefore = frame->runDisplayPacer().shown();
  DesktopRun run;
  BoxAnswers answers;
  QTimer pauser;
  Clock::time_point start;
  Clock::time_point pauseTaken;
  if (pauseAfterMs) {
    pauser.setSingleShot(true);
    pauser.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pauser, &QTimer::timeout, [&] {
      pauseTaken = Clock::now();
      frame->action(commands::kPause)->trigger();
      run.paneAfterPause = frame->statusPane(1)->text();
      run.pauseTakenAfterMs = MsBetween(start, pauseTaken) - *pauseAfterMs;
    });
    pauser.start(static_cast<int>(*pauseAfterMs));
  }
  const double cpuStart = ProcessCpuSeconds();
  start = Clock::now();
  frame->RouteCommand(commands::kSend);
  run.cpuSeconds = ProcessCpuSeconds() - cpuStart;
  if (!answers.finalBoxAt) Die("the run showed no final box");
  run.seconds = std::chrono::duration<double>(*answers.finalBoxAt - start).count();
  if (pauseAfterMs && run.pauseTakenAfterMs) {
    run.endAfterPauseMs = MsBetween(pauseTaken, *answers.finalBoxAt);
  }
  run.statusPaints = statusPaints.count;
  run.listPaints = listPaints.count;
  run.displayShowings = frame->runDisplayPacer().shown() - showingsBefore;
  run.sent = CountSent(postrider.document());
  run.finalText = answers.finalText;
  return run;
}

struct CliRun {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time of the process
};

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

CliRun RunCliSend(const std::string& cli, const Sink& sink, const fs::path& folder, int entries) {
  const fs::path project = WriteProject(folder, entries, sink.address());
  fs::remove(project.string() + ".journal");
  const auto start = Clock::now();
  const pid_t child = Spawn({cli, "send", project.string(), "--settings",
                             (folder / "settings.ini").string()},
                            /*quiet=*/true);
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  CliRun run;
  run.seconds = SecondsSince(start);
  run.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("postrider-cli send failed");
  return run;
}


// The program as a user starts it, on the project, without the start-up picture.
void Start(CPostridrApp& postrider, const fs::path& project) {
  const std::string settings = SettingsFilePath();
  EnsureParentFolder(settings);
  WritePrivateProfileString("Settings", "CurrentProjectFile", project.string(), settings);
  WritePrivateProfileString("Settings", "RealName", "Bench", settings);
  WritePrivateProfileString("Settings", "ReturnAddress", "bench@example.com", settings);
  bool started = false;
  QObject::connect(&postrider, &CPostridrApp::started, [&started] { started = true; });
  postrider.Start(0);
  const auto limit = Clock::now() + std::chrono::seconds(30);
  while (!started && Clock::now() < limit) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  if (!started) Die("the main window did not come up");
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (entries <= 0 || entries > 32000 || rounds <= 0) {
    std::fprintf(stderr, "usage: %s [entries (1-32000) [rounds]]\n", argv[0]);
    return 2;
  }
  char pattern[] = "/tmp/postrider-bench-desktop-send-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path folder = pattern;
  setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
  setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string cli = CliPath();

  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  double cliMedian = 0;
  {
    CPostridrApp postrider;
    Start(postrider, WriteProject(folder, entries, "127.0.0.1:1"));
    std::printf("%d selected entries, one connection, each round on a fresh smtp-sink "
                "(127.0.0.1); the desktop window on Qt's %s platform\n",
                entries, qPrintable(QGuiApplication::platformName()));

    std::vector<double> cliRates, desktopRates, ratios, cliCpu, desktopCpu;
    DesktopRun last;
    for (int round = 1; round <= rounds; ++round) {
      const Sink sink;
      // Taking turns at going first, so neither gains from a machine that
      // grows busier or quieter as a round goes.
      CliRun cliRun;
      DesktopRun run;
      if (round % 2 == 1) {
        cliRun = RunCliSend(cli, sink, folder, entries);
        run = RunDesktopSend(postrider, sink, folder, entries);
      } else {
        run = RunDesktopSend(postrider, sink, folder, entries);
        cliRun = RunCliSend(cli, sink, folder, entries);
      }
      const double cliRate = entries / cliRun.seconds;
      cliCpu.push_back(1e6 * cliRun.cpuSeconds / entries);
      desktopCpu.push_back(1e6 * run.cpuSeconds / entries);
      if (run.sent != entries) Die("the desktop run sent " + std::to_string(run.sent));
      const double desktopRate = entries / run.seconds;
      cliRates.push_back(cliRate);
      desktopRates.push_back(desktopRate);
      ratios.push_back(desktopRate / cliRate);
      std::printf("round %d: postrider-cli send %6.0f/s, desktop Send %6.0f/s (%.2f of it); "
                  "in %.2f s the window showed the run %lld times, painted status pane 1 %d "
                  "times and the list %d times\n",
                  round, cliRate, desktopRate, desktopRate / cliRate, run.seconds,
                  run.displayShowings, run.statusPaints, run.listPaints);
      last = run;
    }
    cliMedian = Median(cliRates);
    const double ratio = Median(desktopRates) / cliMedian;
    std::printf("postrider-cli send: %7.0f messages/s (median)\n", cliMedian);
    std::printf("desktop Send:       %7.0f messages/s (median)\n", Median(desktopRates));
    std::printf("desktop / CLI: %.2f (target at least 0.90)%s; median of the rounds' ratios %.2f\n",
                ratio, ratio >= 0.9 ? "" : "  MISSED", Median(ratios));
    std::printf("processor time a message: postrider-cli %.1f us (the whole process, start-up "
                "and loading included), desktop %.1f us (the run alone, the window included)\n",
                Median(cliCpu), Median(desktopCpu));
    std::printf("the window's showings of the run: %.0f a second (at most about 30)\n",
                static_cast<double>(last.displayShowings) / last.seconds);

    // Pause part of the way through: the window takes it at once, and the
    // run ends before the next entry.
    const Sink sink;
    const double pauseAt = 1000.0 * entries / Median(desktopRates) / 3;
    const DesktopRun paused = RunDesktopSend(postrider, sink, folder, entries, pauseAt);
    if (!paused.pauseTakenAfterMs || !paused.endAfterPauseMs) {
      std::printf("Pause: the run ended before the Pause was due (%.0f ms)\n", pauseAt);
    } else {
      std::printf("Pause %.0f ms into a desktop run: the window took it %.1f ms after it was "
                  "due; the run ended %.1f ms later (%d of %d sent; the pane then said \"%s\")\n",
                  pauseAt, *paused.pauseTakenAfterMs, *paused.endAfterPauseMs, paused.sent,
                  entries, qPrintable(paused.paneAfterPause));
    }
    postrider.document().SetModifiedFlag(false);
  }
  fs::remove_all(folder);
  return 0;
}
