// The desktop program with a full 32000-entry list in its main window, on Qt's
// offscreen platform: the time from opening the project to the first painted
// rows, the time of one frame of the project view while scrolling a page at a
// time, and what the loaded list costs in memory beside a 12-entry list (each
// measured in a fresh process of this program, so that the two compare).

#include <limits.h>
#include <malloc.h>
#include <time.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/postridr_app.h"
#include "bench_support.h"
#include "platform/private_profile.h"
#include "platform/user_paths.h"
#include "views/entry_list_model.h"
#include "views/entry_row_delegate.h"
#include "views/project_view.h"

namespace {

using postrider::CMainFrame;
using postrider::CPostridrApp;
using postrider::CProjectView;
using postrider::EntryListModel;
using postrider::bench::Clock;

constexpr int kFullList = 32000;
constexpr int kShortList = 12;
constexpr int kOpens = 5;
constexpr int kTimedFrames = 200;
// A common desktop screen: the window opens maximized on it.
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr int kWaitMs = 20000;

constexpr double kFrameTargetMs = 16;
constexpr double kOpenTargetMs = 200;
constexpr long kMemoryTargetKiB = 2048;

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The process's processor time, Qt's painting threads included: a frame far
// longer on the clock than on the processor waited for one (the machine was
// busy, or a file was being synced), it did not work longer.
double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// ---- the project on disk ------------------------------------------------------

std::string ListName(int entries) { return "list-" + std::to_string(entries); }

// Five fields, about 100 bytes a line, as a real member list.
void WriteList(const std::string& path, int entries) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  std::fprintf(file, "FirstName\tLastName\tEmail\tCity\tMemberSince\n");
  for (int i = 0; i < entries; ++i) {
    std::fprintf(file,
                 "Firstname%06d\tLastname-of-record%06d\tfirst.last.%06d@mail.example.org\t"
                 "Some City %05d\t%04d-01-01\n",
                 i, i, i, i % 50000, 1950 + i % 70);
  }
  std::fclose(file);
}

// Two rows in three selected, and every send status in turn, so that frames
// draw both text colours and all four icons.
void WriteEntryStates(const std::string& path) {
  std::string marks(32000, '\0');
  for (std::size_t i = 0; i < marks.size(); ++i) {
    marks[i] = static_cast<char>((i % 3 != 0 ? 128 : 0) | static_cast<int>(i % 4));
  }
  std::ofstream(path, std::ios::binary) << marks;
}

void WriteProject(const std::string& folder, int entries) {
  const std::string name = ListName(entries);
  WriteList(folder + "/" + name + ".txt", entries);
  WriteEntryStates(folder + "/" + name + ".prh");
  std::ofstream(folder + "/" + name + ".prj")
      << "[Settings]\nMessageFile=letter.txt\nDBFile=" << name << ".txt\nDBFileType=0\n"
      << "EmailFieldString=Email\nEmailFieldIndex=2\nHelperFile=" << name << ".prh\n"
      << "LastIndexSent=0\n";
}

void WriteBenchFolder(const std::string& folder) {
  std::ofstream(folder + "/letter.txt")
      << "To: Email\nFrom: \nSubject: Your membership\n"
         "Dear [[FirstName]] [[LastName]],\n\nyour membership since [[MemberSince]] ...\n";
  WriteProject(folder, kShortList);
  WriteProject(folder, kFullList);
  std::ofstream(folder + "/screen.json")
      << "{\"screens\": [{\"name\": \"bench\", \"x\": 0, \"y\": 0, \"width\": " << kScreenWidth
      << ", \"height\": " << kScreenHeight
      << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}\n";
}

std::string ProjectPath(const std::string& folder, int entries) {
  return folder + "/" + ListName(entries) + ".prj";
}

// Settings and the send log in the bench folder, never the user's; the
// offscreen platform unless the caller chose one. Children inherit it all.
void UseBenchEnvironment(const std::string& folder) {
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + folder + "/screen.json").c_str(), 0);
}

// ---- watching the project view paint ------------------------------------------

// Times every paint of the entry list's viewport from the start to the end of
// its delivery (event filters and the delegate included), and every frame of
// the main window that holds one.
class ProbedApplication : public QApplication {
 public:
  struct ListPaint {
    Clock::time_point start;
    Clock::time_point end;
    double cpuEndMs = 0;       // the process's processor time at the end
    int rowCount = 0;          // the model's, while it painted
    long long rowsPainted = 0;  // by the delegate in this paint
  };

  ProbedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  void Watch(CMainFrame* frame) {
    frame_ = frame;
    view_ = frame->projectView();
  }

  // The next paint that draws rows of a list of `rows` entries, once seen.
  void Expect(int rows) {
    expectedRows_ = rows;
    expected_.reset();
    expectedFrameEnd_.reset();
  }
  const std::optional<ListPaint>& expected() const { return expected_; }
  const std::optional<Clock::time_point>& expectedFrameEnd() const { return expectedFrameEnd_; }

  bool notify(QObject* receiver, QEvent* event) override {
    if (view_ == nullptr) return QApplication::notify(receiver, event);
    if (event->type() == QEvent::Paint && receiver == view_->entryList()->viewport()) {
      return NotifyListPaint(receiver, event);
    }
    if (event->type() == QEvent::UpdateRequest && receiver == frame_) {
      ++framesOpen_;
      const bool handled = QApplication::notify(receiver, event);
      --framesOpen_;
      if (paintedInFrame_) expectedFrameEnd_ = Clock::now();
      paintedInFrame_ = false;
      return handled;
    }
    return QApplication::notify(receiver, event);
  }

 private:
  bool NotifyListPaint(QObject* receiver, QEvent* event) {
    ListPaint paint;
    const long long before = view_->rowDelegate()->rowsPainted();
    paint.start = Clock::now();
    const bool handled = QApplication::notify(receiver, event);
    paint.end = Clock::now();
    paint.cpuEndMs = ProcessCpuMs();
    paint.rowsPainted = view_->rowDelegate()->rowsPainted() - before;
    paint.rowCount = view_->entryModel()->rowCount();
    if (!expected_ && paint.rowCount == expectedRows_ && paint.rowsPainted > 0) {
      expected_ = paint;
      paintedInFrame_ = framesOpen_ > 0;
    }
    return handled;
  }

  CMainFrame* frame_ = nullptr;
  CProjectView* view_ = nullptr;
  int expectedRows_ = -1;
  std::optional<ListPaint> expected_;
  std::optional<Clock::time_point> expectedFrameEnd_;
  int framesOpen_ = 0;
  bool paintedInFrame_ = false;
};

ProbedApplication* App() { return static_cast<ProbedApplication*>(QCoreApplication::instance()); }

// Runs the event loop until `done`, for at most kWaitMs.
bool WaitUntil(const std::function<bool()>& done) {
  const auto limit = Clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!done() && Clock::now() < limit) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return done();
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "bench_desktop_project_view: %s\n", what);
  std::exit(1);
}

// The program as a user starts it, on the project named in its settings,
// without the start-up picture's wait; back once the list's rows are painted.
void StartOn(CPostridrApp& postrider, const std::string& project, int rows) {
  const std::string settings = postrider::SettingsFilePath();
  postrider::EnsureParentFolder(settings);
  postrider::WritePrivateProfileString("Settings", "CurrentProjectFile", project, settings);
  bool started = false;
  const QMetaObject::Connection connection =
      QObject::connect(&postrider, &CPostridrApp::started, [&started] { started = true; });
  postrider.Start(0);
  const bool up = WaitUntil([&started] { return started; });
  QObject::disconnect(connection);
  if (!up) Fail("the main window did not come up");
  App()->Watch(postrider.mainFrame());
  App()->Expect(rows);
  // The window may have painted before it could be watched: once more.
  postrider.mainFrame()->projectView()->entryList()->viewport()->update();
  if (!WaitUntil([] { return App()->expected().has_value(); })) Fail("the list was not painted");
}

// The File > Open path after the dialog; the first painted rows of the new list.
struct OpenTiming {
  double toFirstRows;  // from the open to the end of the first paint of the new rows
  double load;         // the open itself, before the event loop runs
  double paint;        // that first paint alone
  double toFirstRowsCpu;  // the process's processor time for the whole of it
  std::optional<double> toWindowFrame;  // the end of the window's frame holding it
};

OpenTiming OpenAndPaint(CPostridrApp& postrider, const std::string& project, int rows) {
  // An opened project counts as modified; the user has answered No to the
  // save prompt before the open is timed.
  postrider.document().SetModifiedFlag(false);
  App()->Expect(rows);
  const double cpuStart = ProcessCpuMs();
  const auto start = Clock::now();
  if (postrider.OpenDocumentFile(project) != CPostridrApp::OpenResult::Opened) {
    Fail("the project did not open");
  }
  const auto opened = Clock::now();
  if (!WaitUntil([] { return App()->expected().has_value(); })) Fail("the new list was not painted");
  const ProbedApplication::ListPaint& paint = *App()->expected();
  OpenTiming timing{MsBetween(start, paint.end), MsBetween(start, opened),
                    MsBetween(paint.start, paint.end), paint.cpuEndMs - cpuStart,
                    std::nullopt};
  if (App()->expectedFrameEnd()) timing.toWindowFrame = MsBetween(start, *App()->expectedFrameEnd());
  return timing;
}

// ---- scrolling -----------------------------------------------------------------

struct Frames {
  std::vector<double> ms;
  std::vector<double> cpuMs;
  long long rowsPainted = 0;
  std::int64_t recordsRead = 0;
};

// Page by page from the top: a page step of the scroll bar, then one
// synchronous repaint of the list, timed. At least `minimum` frames, and on to
// the bottom of the list.
Frames ScrollTopToBottom(CProjectView* view, std::size_t minimum) {
  QAbstractItemView* list = view->entryList();
  QScrollBar* bar = list->verticalScrollBar();
  const auto* model = static_cast<const EntryListModel*>(view->entryModel());
  bar->setValue(0);
  list->viewport()->repaint();
  QCoreApplication::processEvents();

  Frames frames;
  const long long rowsBefore = view->rowDelegate()->rowsPainted();
  const std::int64_t readsBefore = model->recordReads();
  const std::size_t limit = static_cast<std::size_t>(bar->maximum() + 1) + minimum;
  while (frames.ms.size() < limit && (frames.ms.size() < minimum || bar->value() < bar->maximum())) {
    if (bar->value() >= bar->maximum()) {
      bar->setValue(0);  // a list of few pages: round again
    } else {
      bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    }
    const double cpuStart = ProcessCpuMs();
    const auto start = Clock::now();
    list->viewport()->repaint();
    frames.ms.push_back(MsBetween(start, Clock::now()));
    frames.cpuMs.push_back(ProcessCpuMs() - cpuStart);
    // Whatever the frame posted is handled outside the timing.
    QCoreApplication::processEvents();
  }
  frames.rowsPainted = view->rowDelegate()->rowsPainted() - rowsBefore;
  frames.recordsRead = model->recordReads() - readsBefore;
  return frames;
}

double Worst(const std::vector<double>& values) {
  return *std::max_element(values.begin(), values.end());
}

// ---- memory, in a fresh process ---------------------------------------------------

long StatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
  }
  return -1;
}

struct Memory {
  long rssKiB = 0;
  long peakKiB = 0;
  long heapKiB = 0;  // malloc's bytes in use, small blocks and mapped ones
  int entries = 0;
};

// The child: the program started on `project`, the whole list scrolled through
// once, then the figures written to `resultPath`.
int MeasureMemory(int argc, char** argv, const std::string& project, int rows,
                  const std::string& resultPath) {
  ProbedApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  Memory memory;
  {
    CPostridrApp postrider;
    StartOn(postrider, project, rows);
    CProjectView* view = postrider.mainFrame()->projectView();
    ScrollTopToBottom(view, 1);
    view->entryList()->verticalScrollBar()->setValue(0);
    view->entryList()->viewport()->repaint();
    QCoreApplication::processEvents();

    malloc_trim(0);
    const struct mallinfo2 heap = mallinfo2();
    memory.heapKiB = static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
    memory.rssKiB = StatusKiB("VmRSS:");
    memory.peakKiB = StatusKiB("VmHWM:");
    memory.entries = view->entryModel()->rowCount();
  }
  std::ofstream(resultPath) << memory.rssKiB << ' ' << memory.peakKiB << ' ' << memory.heapKiB
                            << ' ' << memory.entries << '\n';
  return 0;
}

std::string OwnProgram() {
  char path[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) Fail("cannot find the program's own path");
  return std::string(path, static_cast<std::size_t>(length));
}

Memory MemoryInFreshProcess(const std::string& folder, int entries) {
  const std::string result = folder + "/memory-" + std::to_string(entries);
  const pid_t child = postrider::bench::Spawn({OwnProgram(), "--memory", ProjectPath(folder, entries),
                                               std::to_string(entries), result});
  if (postrider::bench::WaitFor(child) != 0) Fail("the memory measurement failed");
  Memory memory;
  std::ifstream in(result);
  if (!(in >> memory.rssKiB >> memory.peakKiB >> memory.heapKiB >> memory.entries)) {
    Fail("the memory measurement wrote no figures");
  }
  return memory;
}

// ---- the report ------------------------------------------------------------------

void PrintFrames(const char* what, const std::vector<double>& ms, const std::vector<double>& cpuMs) {
  const double worst = Worst(ms);
  std::printf("  %-44s median %6.2f ms   worst %6.2f ms   (target worst <= %.0f ms)%s\n", what,
              postrider::bench::Median(ms), worst, kFrameTargetMs,
              worst <= kFrameTargetMs ? "" : "  MISSED");
  std::printf("    on the processor: median %.2f ms, worst %.2f ms\n", postrider::bench::Median(cpuMs),
              Worst(cpuMs));
}

int RunBenchmark(int argc, char** argv, const std::string& folder) {
  // The memory first, each list in a process of its own.
  const Memory shortList = MemoryInFreshProcess(folder, kShortList);
  const Memory fullList = MemoryInFreshProcess(folder, kFullList);

  ProbedApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  CPostridrApp postrider;
  StartOn(postrider, ProjectPath(folder, kShortList), kShortList);
  CMainFrame* frame = postrider.mainFrame();
  CProjectView* view = frame->projectView();

  // Each open of the full list follows one of the short list, as a user
  // switching projects.
  std::vector<OpenTiming> opens;
  for (int round = 0; round < kOpens; ++round) {
    if (round > 0) OpenAndPaint(postrider, ProjectPath(folder, kShortList), kShortList);
    opens.push_back(OpenAndPaint(postrider, ProjectPath(folder, kFullList), kFullList));
  }
  std::vector<double> toFirstRows;
  for (const OpenTiming& open : opens) toFirstRows.push_back(open.toFirstRows);

  const Frames frames = ScrollTopToBottom(view, kTimedFrames);
  const std::vector<double> first(frames.ms.begin(), frames.ms.begin() + kTimedFrames);
  const std::vector<double> firstCpu(frames.cpuMs.begin(), frames.cpuMs.begin() + kTimedFrames);
  const QWidget* viewport = view->entryList()->viewport();
  const int pageRows = view->entryList()->verticalScrollBar()->pageStep();

  std::printf(
      "desktop project view: %d entries of 5 fields; %s platform, %dx%d screen; main window "
      "%dx%d, list %dx%d (%d rows a page)\n",
      kFullList, qPrintable(QGuiApplication::platformName()), kScreenWidth, kScreenHeight,
      frame->width(), frame->height(), viewport->width(), viewport->height(), pageRows);

  const double worstOpen = Worst(toFirstRows);
  std::printf(
      "  %-44s first %6.1f ms  median %6.1f ms  worst %6.1f ms, over %d opens  (target <= %.0f "
      "ms)%s\n",
      "open to the first painted rows", toFirstRows.front(), postrider::bench::Median(toFirstRows),
      worstOpen, kOpens, kOpenTargetMs, worstOpen <= kOpenTargetMs ? "" : "  MISSED");
  for (std::size_t i = 0; i < opens.size(); ++i) {
    const OpenTiming& open = opens[i];
    std::printf(
        "    open %zu: the open %5.1f ms, the first paint %5.2f ms, its end %5.1f ms (%5.1f ms on "
        "the processor)",
        i + 1, open.load, open.paint, open.toFirstRows, open.toFirstRowsCpu);
    if (open.toWindowFrame) {
      std::printf(", the window's whole frame %5.1f ms\n", *open.toWindowFrame);
    } else {
      std::printf("\n");
    }
  }

  PrintFrames(("one frame, " + std::to_string(kTimedFrames) + " pages from the top").c_str(),
              first, firstCpu);
  PrintFrames(("one frame, all " + std::to_string(frames.ms.size()) + " pages top to bottom").c_str(),
              frames.ms, frames.cpuMs);
  std::printf("    rows painted a frame %.1f, records read a frame %.1f\n",
              static_cast<double>(frames.rowsPainted) / static_cast<double>(frames.ms.size()),
              static_cast<double>(frames.recordsRead) / static_cast<double>(frames.ms.size()));

  std::printf("  memory, each in a fresh process with its list loaded and scrolled through:\n");
  for (const Memory* memory : {&shortList, &fullList}) {
    std::printf("    %5d entries   RSS %7ld KiB   heap in use %7ld KiB   peak RSS %7ld KiB\n",
                memory->entries, memory->rssKiB, memory->heapKiB, memory->peakKiB);
  }
  const long rssGrowth = fullList.rssKiB - shortList.rssKiB;
  const long heapGrowth = fullList.heapKiB - shortList.heapKiB;
  std::printf(
      "    %d entries over %d: RSS %+ld KiB, heap in use %+ld KiB   (target < %ld KiB)%s\n",
      kFullList, kShortList, rssGrowth, heapGrowth, kMemoryTargetKiB,
      std::max(rssGrowth, heapGrowth) < kMemoryTargetKiB ? "" : "  MISSED");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--memory") {
    int childArgc = 1;
    return MeasureMemory(childArgc, argv, argv[2], std::stoi(argv[3]), argv[4]);
  }

  char pattern[] = "/tmp/postrider-desktop-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("cannot make a temporary folder");
  const std::string folder = pattern;
  WriteBenchFolder(folder);
  UseBenchEnvironment(folder);
  int qtArgc = 1;
  const int result = RunBenchmark(qtArgc, argv, folder);
  std::filesystem::remove_all(folder);
  return result;
}
