// Panel figures, against the simulated chip:
//  - Start-up: from the start of the process (and from main) to the main sheet shown and
//    painted, and the resident memory then. Printed once before the benchmarks.
//  - Mode change: the Register Write Monitor listing a full 2,000-entry log again after a
//    switch between "Show Reg Addr" and "Show Reg Name", first the handler alone (render and
//    fill the list), then with the repaint that follows. The goal is one frame, 16 ms.
// Without a display the pages are drawn off screen, as in the tests.

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QWindow>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/main_sheet.h"
#include "panel_program.h"
#include "panel/panel_context.h"
#include "panel/unsaved_log_question.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/file_chooser.h"
#include "tools/pages/register_write_monitor_page.h"

namespace {

using tonvisor::bench::Program;
using tonvisor::bench::ResidentKilobytes;

using Clock = std::chrono::steady_clock;
using tonvisor::WriteLog;

// Milliseconds since the process was started (its start time in /proc, in clock ticks since
// boot), so the figure includes loading Qt and the program.
double MillisecondsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto afterName = text.rfind(')');
  if (afterName == std::string::npos) return -1;
  std::istringstream fields(text.substr(afterName + 2));
  std::string field;
  for (int i = 3; i < 22 && fields >> field; ++i) {
  }
  unsigned long long startTicks = 0;
  if (!(fields >> startTicks)) return -1;
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
  return nowMs - static_cast<double>(startTicks) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Program* program = nullptr;

// A log as a bring-up leaves it: for each operation its separator, its comment and a write.
void FillLog(WriteLog& log) {
  log.clear();
  for (std::uint16_t i = 0; log.count() < WriteLog::kCapacity; ++i) {
    log.appendComment("   \n");
    log.appendComment("# Configure DAC Volume\n");
    log.appendWrite(static_cast<std::uint16_t>(0x0010 + 2 * (i % 24)), i);
  }
}

struct MonitorView {
  QComboBox* mode = nullptr;
  QListWidget* list = nullptr;
};

MonitorView ShowMonitor() {
  tonvisor::DirectRegisterPage* page = program->sheet.directRegisterPage();
  program->sheet.tabs()->setCurrentWidget(page);
  page->sheet()->setCurrentWidget(page->monitorPage());
  FillLog(program->link.writeLog());
  QApplication::processEvents();
  return {page->monitorPage()->findChild<QComboBox*>(), page->monitorPage()->findChild<QListWidget*>()};
}

void BM_ModeChangeRebuildsFullLog(benchmark::State& state) {
  const MonitorView view = ShowMonitor();
  int mode = 0;
  for (auto _ : state) {
    mode = 1 - mode;
    view.mode->setCurrentIndex(mode);
    benchmark::DoNotOptimize(view.list->count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(WriteLog::kCapacity));
  state.counters["lines"] = view.list->count();
}
BENCHMARK(BM_ModeChangeRebuildsFullLog)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ModeChangeRebuildsAndRepaints(benchmark::State& state) {
  const MonitorView view = ShowMonitor();
  int mode = 0;
  for (auto _ : state) {
    mode = 1 - mode;
    view.mode->setCurrentIndex(mode);
    view.list->viewport()->repaint();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(WriteLog::kCapacity));
}
BENCHMARK(BM_ModeChangeRebuildsAndRepaints)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// A refresh with nothing new to list: what every show of the page costs on a full log.
void BM_RefreshWithNothingNew(benchmark::State& state) {
  ShowMonitor();
  tonvisor::RegisterWriteMonitorPage* monitor = program->sheet.directRegisterPage()->monitorPage();
  for (auto _ : state) monitor->appendNewLines();
}
BENCHMARK(BM_RefreshWithNothingNew)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const auto mainEntered = Clock::now();
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  auto built = std::make_unique<Program>();
  program = built.get();
  program->sheet.show();
  while (!program->sheet.windowHandle() || !program->sheet.windowHandle()->isExposed()) QApplication::processEvents();
  program->sheet.repaint();  // the first frame on screen
  const double fromMain = std::chrono::duration<double, std::milli>(Clock::now() - mainEntered).count();
  const double fromStart = MillisecondsSinceProcessStart();
  std::printf("Start-up to the first shown window (%s): %.1f ms from process start, %.1f ms from main; "
              "resident memory %.1f MiB\n\n",
              QGuiApplication::platformName().toUtf8().constData(), fromStart, fromMain,
              static_cast<double>(ResidentKilobytes()) / 1024.0);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  program = nullptr;
  return 0;
}
