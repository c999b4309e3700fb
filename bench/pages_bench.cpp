// Start-up and memory of the panel with all its pages, beside a bare Qt Widgets window with as
// many tabs, built in the same run: each is started as a fresh process of this program, in turn,
// several times, and reports the time from just before its exec to its first painted frame and
// its resident memory then. The ratios are the figures (goal: at most 1.5 each). "Every tab
// shown once" shows the processor's and the register tools' tabs too: all twelve pages.
//
// Then an EQ preset loaded from the EQ page over Ethernet, against the board emulator in a
// process of its own, with the board's 20 ms pause after every access: the time it takes
// against its accesses x 20 ms (goal: at most 1.02), beside the same writes made by the link
// alone, without the page and its progress window.
// Without a display the windows are drawn off screen, as in the tests.
//
//   pages_bench [--runs N] [--presets N]

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "codec/codec_operations.h"
#include "codec/peq_presets.h"
#include "link/device_link.h"
#include "link/user_action.h"
#include "panel/dap_page.h"
#include "panel/main_sheet.h"
#include "panel_program.h"
#include "panel/unsaved_log_question.h"
#include "panel/panel_context.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "tools/pages/file_chooser.h"

extern char** environ;

namespace {

using tonvisor::bench::Program;
using tonvisor::bench::ThreadedProgram;
using tonvisor::bench::ResidentKilobytes;

double NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Processor time of this process so far, user and system: what start-up costs, whatever else
// the machine is doing meanwhile.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Notes the first paint of a window.
class FirstPaint : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

void ShowAndWaitForFirstPaint(QWidget& window) {
  FirstPaint first;
  window.installEventFilter(&first);
  window.show();
  const double giveUp = NowMs() + 10000;
  while (!first.painted && NowMs() < giveUp) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  window.removeEventFilter(&first);
}

// One child: builds its window, shows it, and prints "<ms since spawnedAt> <processor ms> <resident
// KiB> <tabs> <width> <height> <platform> <resident KiB once every tab was shown>".
int RunChild(bool panel, double spawnedAt, int tabs, int width, int height, int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  // The panel as the program runs it, its link on a thread of its own.
  std::unique_ptr<ThreadedProgram> program;
  std::unique_ptr<QDialog> bare;
  QWidget* window = nullptr;
  if (panel) {
    program = std::make_unique<ThreadedProgram>();
    window = &program->sheet;
    tabs = program->sheet.tabs()->count();
  } else {
    // The same kind of window with nothing on its tabs.
    bare = std::make_unique<QDialog>();
    bare->setWindowTitle(QStringLiteral("KRVL7300 Control Software"));
    auto* tabWidget = new QTabWidget;
    for (int i = 0; i < tabs; ++i) tabWidget->addTab(new QWidget, QStringLiteral("Tab %1").arg(i + 1));
    auto* layout = new QVBoxLayout(bare.get());
    layout->addWidget(tabWidget);
    bare->resize(width, height);
    window = bare.get();
  }
  ShowAndWaitForFirstPaint(*window);
  const double elapsed = NowMs() - spawnedAt;
  const double cpu = CpuMs();
  const long resident = ResidentKilobytes();
  // Then every tab once, so that every page has made its controls: the main sheet's, and those
  // of the sheets inside its pages (the audio processor's, the register tools').
  auto* tabWidget = window->findChild<QTabWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (int i = 0; tabWidget != nullptr && i < tabWidget->count(); ++i) {
    tabWidget->setCurrentIndex(i);
    tabWidget->currentWidget()->repaint();
    for (QTabWidget* inner : tabWidget->currentWidget()->findChildren<QTabWidget*>()) {
      for (int j = 0; j < inner->count(); ++j) {
        inner->setCurrentIndex(j);
        inner->currentWidget()->repaint();
      }
    }
  }
  QApplication::processEvents();
  std::printf("%.3f %.3f %ld %d %d %d %s %ld\n", elapsed, cpu, resident, tabs, window->width(), window->height(),
              QGuiApplication::platformName().toUtf8().constData(), ResidentKilobytes());
  return 0;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One child: loads presets from the EQ page over Ethernet against an in-process board, Rock and
// Flat in turn (78 accesses each), then the same writes through the link alone, and prints
// "<accesses> <seconds>" for each load, the page's first.
int RunPresets(int loads, int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  tonvisor::ChipModel boardChip;
  tonvisor::BoardServer board(boardChip);
  if (board.start()) return 1;
  Program program;
  program.link.settings().connectionType = "Ethernet";
  program.link.settings().ethernetAddress = "127.0.0.1";
  program.link.settings().ethernetPort = board.port();
  ShowAndWaitForFirstPaint(program.sheet);

  auto* processor = static_cast<tonvisor::DigitalAudioProcessingPage*>(
      program.sheet.page(tonvisor::MainSheet::Tab::DigitalAudioProcessing));
  program.sheet.tabs()->setCurrentWidget(processor);
  processor->sheet()->setCurrentIndex(3);
  QApplication::processEvents();
  QWidget* eq = processor->sheet()->currentWidget();
  QComboBox* mode = nullptr;
  QComboBox* presets = nullptr;
  for (QComboBox* list : eq->findChildren<QComboBox*>()) {
    if (list->accessibleName() == QStringLiteral("Select PEQ/GEQ/Tone Control")) mode = list;
    if (list->accessibleName() == QStringLiteral("PEQ Control")) presets = list;
  }
  if (mode == nullptr || presets == nullptr) return 1;
  // The user's keys: PEQ is one down from Disabled; then each key loads the next preset.
  const auto press = [](QWidget* widget, Qt::Key key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &down);
  };
  press(mode, Qt::Key_Down);
  QApplication::processEvents();

  std::size_t accesses = 0;
  const tonvisor::AccessWatch watch(program.link, [&](const tonvisor::AccessResult&) { ++accesses; });
  for (int load = 0; load < loads; ++load) {
    program.link.writeLog().clear();
    accesses = 0;
    const auto start = std::chrono::steady_clock::now();
    press(presets, load % 2 == 0 ? Qt::Key_Down : Qt::Key_Up);  // Rock, then Flat again
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("page %zu %.6f\n", accesses, Seconds(took));
  }
  for (int load = 0; load < loads; ++load) {
    program.link.writeLog().clear();
    accesses = 0;
    const auto start = std::chrono::steady_clock::now();
    {
      tonvisor::UserAction action(program.link);
      program.codec.WriteNumPeqFilters(7);
      tonvisor::LoadPeqPreset(program.link, load % 2 == 0 ? tonvisor::PeqPreset::Rock : tonvisor::PeqPreset::Flat);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    std::printf("link %zu %.6f\n", accesses, Seconds(took));
  }
  return 0;
}

// Starts this program again with the arguments and returns what it printed; nothing when it
// could not be started or did not end well.
std::optional<std::string> RunChild(const std::vector<std::string>& arguments) {
  int out[2];
  if (pipe(out) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return std::nullopt;
  }
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}

// Runs the preset child and reads its lines: ratios of the page's loads and of the link's.
bool SpawnPresets(int loads, std::vector<double>& page, std::vector<double>& alone) {
  const std::optional<std::string> output = RunChild({"pages_bench", "--child-presets", std::to_string(loads)});
  if (!output) return false;
  const std::string& text = *output;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    char kind[8] = {};
    std::size_t accesses = 0;
    double seconds = 0;
    if (std::sscanf(line.c_str(), "%7s %zu %lf", kind, &accesses, &seconds) != 3 || accesses == 0) continue;
    const double ratio = seconds / (static_cast<double>(accesses) * 0.020);
    (std::strcmp(kind, "page") == 0 ? page : alone).push_back(ratio);
  }
  return page.size() == static_cast<std::size_t>(loads) && alone.size() == static_cast<std::size_t>(loads);
}

struct Sample {
  double ms = 0, cpuMs = 0;
  long kib = 0, allShownKib = 0;
  int tabs = 0, width = 0, height = 0;
  std::string platform;
};

// Starts this program as a child with the given arguments and reads its one line.
bool Spawn(const std::vector<std::string>& arguments, Sample& sample) {
  const std::optional<std::string> text = RunChild(arguments);
  if (!text) return false;
  char platform[64] = {};
  const bool read = std::sscanf(text->c_str(), "%lf %lf %ld %d %d %d %63s %ld", &sample.ms, &sample.cpuMs, &sample.kib,
                                &sample.tabs, &sample.width, &sample.height, platform, &sample.allShownKib) == 8;
  sample.platform = platform;
  return read;
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child-presets") == 0) return RunPresets(std::atoi(argv[2]), argc, argv);
  if (argc >= 7 && std::strcmp(argv[1], "--child") == 0) {
    return RunChild(std::strcmp(argv[2], "panel") == 0, std::atof(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                    std::atoi(argv[6]), argc, argv);
  }
  int runs = 7;
  int presets = 6;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--presets") == 0) presets = std::max(1, std::atoi(argv[i + 1]));
  }

  std::vector<Sample> panels, bares;
  for (int run = 0; run < runs; ++run) {
    // The panel first (it tells the bare window its tab count and size), then the bare window.
    Sample panel, bare;
    if (!Spawn({"pages_bench", "--child", "panel", std::to_string(NowMs()), "0", "0", "0"}, panel) ||
        !Spawn({"pages_bench", "--child", "bare", std::to_string(NowMs()), std::to_string(panel.tabs),
                std::to_string(panel.width), std::to_string(panel.height)},
               bare)) {
      std::fprintf(stderr, "pages_bench: a child failed\n");
      return 1;
    }
    panels.push_back(panel);
    bares.push_back(bare);
  }

  const auto median = [](const std::vector<Sample>& samples, auto field) {
    std::vector<double> values;
    for (const Sample& sample : samples) values.push_back(static_cast<double>(field(sample)));
    return Median(values);
  };
  const auto fastest = [](const std::vector<Sample>& samples) {
    double best = samples.front().ms;
    for (const Sample& sample : samples) best = std::min(best, sample.ms);
    return best;
  };
  const auto row = [](const char* what, double panel, double bare, const char* unit) {
    std::printf("%-40s %10.1f %-3s %10.1f %-3s %6.2f\n", what, panel, unit, bare, unit, panel / bare);
  };
  const auto wall = [](const Sample& s) { return s.ms; };
  const auto cpu = [](const Sample& s) { return s.cpuMs; };
  const auto mib = [](const Sample& s) { return static_cast<double>(s.kib) / 1024.0; };
  const auto allShownMib = [](const Sample& s) { return static_cast<double>(s.allShownKib) / 1024.0; };
  const Sample& first = panels.front();
  std::printf("The panel and a bare window with %d tabs (%s, %d x %d), median of %d fresh processes each\n",
              first.tabs, first.platform.c_str(), first.width, first.height, runs);
  std::printf("%-40s %14s %14s %6s\n", "", "all pages", "bare window", "ratio");
  row("start-up: exec to the first paint", median(panels, wall), median(bares, wall), "ms");
  row("  the fastest run", fastest(panels), fastest(bares), "ms");
  row("  processor time (user + system)", median(panels, cpu), median(bares, cpu), "ms");
  row("resident memory at the first paint", median(panels, mib), median(bares, mib), "MiB");
  row("resident memory, every tab shown once", median(panels, allShownMib), median(bares, allShownMib), "MiB");

  std::vector<double> page, alone;
  if (!SpawnPresets(presets, page, alone)) {
    std::fprintf(stderr, "pages_bench: the preset child failed\n");
    return 1;
  }
  const auto range = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return std::make_pair(values.front(), values.back());
  };
  const auto [pageLow, pageHigh] = range(page);
  const auto [aloneLow, aloneHigh] = range(alone);
  std::printf("\nAn EQ preset over Ethernet against the board emulator (78 accesses, 20 ms pause each), %d loads\n",
              presets);
  std::printf("%-40s %.4f median (%.4f-%.4f)\n", "from the EQ page: time / (accesses x 20 ms)", Median(page), pageLow,
              pageHigh);
  std::printf("%-40s %.4f median (%.4f-%.4f)\n", "the link alone:    time / (accesses x 20 ms)", Median(alone), aloneLow,
              aloneHigh);
  return 0;
}
