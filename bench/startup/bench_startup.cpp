// Start-up of the window with a large cache, measured in one run: the time
// from the process's start to the window's first paint (target: 0.3 s), to
// the end of the cache load, and to the window being usable (target: at the
// load's end), with a search started right then. The load's own time is
// measured again afterwards with Control alone, as the floor the window's
// load is compared with.
//
//   QT_QPA_PLATFORM=offscreen bench_startup <directory holding cache.db> [query image]
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/ui/CTintwiseDlg.h"
#include "control/Control.h"
#include "control/ControlView.h"

namespace {

// Seconds since the process was started by the kernel (its start time in
// clock ticks since boot, against the boot-time clock), so that loading the
// program and its libraries counts too.
double SecondsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  std::getline(stat, line);
  // Fields after the command name, which is in parentheses and may hold spaces.
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  unsigned long long startTicks = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 22) {
      startTicks = std::stoull(field);
      break;
    }
  }
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double uptime = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  return uptime - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class PaintWatch : public QObject {
 public:
  double firstPaint = -1;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && firstPaint < 0) firstPaint = SecondsSinceProcessStart();
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const double atMain = SecondsSinceProcessStart();
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_startup <directory holding cache.db> [query image]\n");
    return 2;
  }
  const std::string directory = argv[1];
  if (!std::ifstream(directory + "/cache.db").good()) {
    std::fprintf(stderr, "bench_startup: no cache.db in %s\n", directory.c_str());
    return 2;
  }
  QApplication application(argc, argv);
  const std::string query = argc > 2 ? argv[2] : "";

  const double beforeWindow = SecondsSinceProcessStart();
  CTintwiseDlg::Options options;
  options.programDirectory = directory;
  CTintwiseDlg dialog(options);
  PaintWatch watch;
  dialog.installEventFilter(&watch);

  double loadEnded = -1, usableAt = -1, searchEnded = -1;
  bool usable = false;
  int finished = 0;
  QObject::connect(&dialog, &CTintwiseDlg::OperationFinished, [&] {
    if (++finished == 1) {
      loadEnded = SecondsSinceProcessStart();
      usable = !dialog.IsBusy() && dialog.Buttons()[CTintwiseDlg::kOpen]->isEnabled() &&
               dialog.Buttons()[CTintwiseDlg::kUpdate]->isEnabled();
      // Usable means an action is taken at once: start the search now.
      if (usable && !query.empty() && dialog.SearchImage(query)) {
        usableAt = SecondsSinceProcessStart();
        return;
      }
      usableAt = usable ? SecondsSinceProcessStart() : -1;
    } else {
      searchEnded = SecondsSinceProcessStart();
    }
    application.quit();
  });
  dialog.show();
  application.exec();
  const int rows = dialog.GetControl()->RowCount();

  // The floor: the same load with nothing else going on.
  NullView view;
  Control control(view);
  const auto start = std::chrono::steady_clock::now();
  const bool loaded = control.OpenDatabase();
  const double bareLoad = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("rows: %d\n", rows);
  std::printf("process start to main: %.3f s\n", atMain);
  std::printf("process start to window construction: %.3f s\n", beforeWindow);
  std::printf("process start to first paint: %.3f s (target <= 0.3 s)\n", watch.firstPaint);
  std::printf("process start to load end: %.3f s\n", loadEnded);
  std::printf("usable at the load's end: %s (%.3f s; a search was %s)\n", usable ? "yes" : "NO", usableAt,
              query.empty() ? "not asked for" : (usableAt >= 0 ? "started at once" : "refused"));
  if (searchEnded >= 0) std::printf("first search ended: %.3f s\n", searchEnded);
  std::printf("load in the window (first paint to load end): %.3f s; bare Control::OpenDatabase: %.3f s%s; ratio %.2f\n",
              loadEnded - watch.firstPaint, bareLoad, loaded ? "" : " (FAILED)",
              (loadEnded - watch.firstPaint) / bareLoad);
  return usable && loaded && rows > 0 && watch.firstPaint >= 0 ? 0 : 1;
}
