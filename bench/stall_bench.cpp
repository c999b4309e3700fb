// The longest time the window's thread went without running a 10 ms timer while a long user
// action ran, with the link on its own thread as the program runs it, over Ethernet against the
// board emulator with the board's real 20 ms pause after every access: an HP ramp (mute), an
// EQ preset, a Register Map Read All, a script of 300 writes, and a write to a board that
// takes the connection and never answers (its 3 s time-out). Each figure is printed beside the
// goal (at most 100 ms) and beside how long the action took. Without a display the window is
// drawn off screen, as in the tests.
//
//   stall_bench

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/dap_page.h"
#include "panel/main_sheet.h"
#include "panel/panel_context.h"
#include "panel_program.h"
#include "runner/thread_link_runner.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/direct_register_rw_page.h"
#include "tools/pages/file_chooser.h"
#include "tools/pages/register_map_page.h"
#include "tools/pages/register_write_monitor_page.h"

namespace {

using namespace tonvisor;

constexpr qint64 kGoalMs = 100;

// Answers the Run Script dialog with the script the bench wrote.
class ScriptChooser final : public FileChooser {
 public:
  std::optional<QString> chooseSaveFile(QWidget*) override { return std::nullopt; }
  std::optional<QString> chooseOpenFile(QWidget*) override { return path; }
  QString path;
};

class NoQuestions final : public UnsavedLogQuestion {
 public:
  UnsavedLogAnswer ask(QWidget*, std::size_t, LogLoss) override { return UnsavedLogAnswer::Discard; }
  BusyEndAnswer askWhileBusy(QWidget*, const QString&) override { return BusyEndAnswer::Wait; }
};

template <typename W>
W* named(const QWidget* root, const QString& name) {
  for (W* widget : root->findChildren<W*>()) {
    if (widget->accessibleName() == name) return widget;
  }
  std::fprintf(stderr, "stall_bench: no control named %s\n", name.toStdString().c_str());
  std::exit(1);
}

void press(QWidget* widget, Qt::Key key) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &down);
  QApplication::sendEvent(widget, &up);
}

void choose(QComboBox* list, const QString& item) {
  press(list, Qt::Key_Home);
  for (int i = 0; i < list->findText(item); ++i) press(list, Qt::Key_Down);
}

// The program as start-up builds it, its link on its own thread, talking Ethernet.
struct Program {
  ChipModel boardChip;
  BoardServer board{boardChip};
  ChipModel chip;
  SimulatedBridge bridge{chip};
  bench::QuietMessenger messenger;
  DeviceLink link{bridge, messenger};
  CodecOperations codec{link};
  ThreadLinkRunner runner{link, codec, messenger};
  PanelState state;
  ScriptChooser files;
  NoQuestions questions;
  PanelContext context{runner, state, files, questions};
  MainSheet sheet{context};

  void waitIdle() {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (!runner.busy()) loop.quit();
    });
    poll.start(5);
    loop.exec();
  }
  void connectTo(std::uint16_t port) {
    sheet.tabs()->setCurrentIndex(0);
    choose(named<QComboBox>(&sheet, "Connection Type"), "Ethernet");
    named<QLineEdit>(&sheet, "Ethernet Address")->setText("127.0.0.1");
    named<QLineEdit>(&sheet, "Port")->setText(QString::number(port));
    named<QPushButton>(&sheet, "Connect")->click();
    waitIdle();
  }
  void showTool(QWidget* tool) {
    sheet.tabs()->setCurrentWidget(sheet.directRegisterPage());
    sheet.directRegisterPage()->sheet()->setCurrentWidget(tool);
  }
};

// Lets the page just brought to the front lay out and paint.
void settle() {
  QEventLoop loop;
  QTimer::singleShot(200, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Stall {
  qint64 longestMs = 0;
  qint64 tookMs = 0;
};

Stall measure(Program& program, const std::function<void()>& action) {
  QElapsedTimer clock;
  qint64 last = 0;
  Stall stall;
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    stall.longestMs = std::max(stall.longestMs, clock.elapsed() - last);
    last = clock.elapsed();
  });
  clock.start();
  heartbeat.start(10);
  action();
  program.waitIdle();
  stall.tookMs = clock.elapsed();
  return stall;
}

// A board that takes connections and never answers.
int SilentListener(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::listen(fd, 16);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it is measured
  Program program;
  if (program.board.start()) {
    std::fprintf(stderr, "stall_bench: the board emulator did not start\n");
    return 1;
  }
  program.sheet.show();
  program.connectTo(program.board.port());

  QTemporaryDir temp;
  program.files.path = temp.filePath("writes.txt");
  {
    std::ofstream script(program.files.path.toStdString());
    for (int i = 0; i < 300; ++i) script << "Write 0x0024 0x" << (i % 10) << "\n";
  }
  std::uint16_t silentPort = 0;
  const int silent = SilentListener(silentPort);

  auto* processor =
      static_cast<DigitalAudioProcessingPage*>(program.sheet.page(MainSheet::Tab::DigitalAudioProcessing));
  DirectRegisterPage* tools = program.sheet.directRegisterPage();
  // Each action: bringing its page to the front (not measured: the window's own work), then
  // the user's click, measured until the link is idle again.
  const struct {
    const char* name;
    std::function<void()> show;
    std::function<void()> click;
  } actions[] = {
      {"HP Mute (ramp down)",
       [&] { program.sheet.tabs()->setCurrentWidget(program.sheet.page(MainSheet::Tab::Outputs)); },
       [&] { named<QCheckBox>(&program.sheet, "HP Mute")->click(); }},
      {"HP unmute (ramp up)", [] {}, [&] { named<QCheckBox>(&program.sheet, "HP Mute")->click(); }},
      {"EQ preset (Acoustic)",
       [&] {
         program.sheet.tabs()->setCurrentWidget(processor);
         processor->sheet()->setCurrentIndex(3);
         choose(named<QComboBox>(&program.sheet, "Select PEQ/GEQ/Tone Control"), "PEQ");
         program.waitIdle();
       },
       [&] { choose(named<QComboBox>(&program.sheet, "PEQ Control"), "Acoustic"); }},
      {"Register Map Read All", [&] { program.showTool(tools->mapPage()); },
       [&] { named<QPushButton>(&program.sheet, "Read All")->click(); }},
      {"Script of 300 writes", [&] { program.showTool(tools->monitorPage()); },
       [&] { named<QPushButton>(&program.sheet, "Run Script")->click(); }},
      {"Write to a silent board",
       [&] {
         program.connectTo(silentPort);
         program.showTool(tools->readWritePage());
         named<QLineEdit>(&program.sheet, "Write Register Addr 1")->setText("24");
         named<QLineEdit>(&program.sheet, "Write Register Value 1")->setText("1");
       },
       [&] { named<QPushButton>(&program.sheet, "Write")->click(); }},
  };

  std::printf("Longest stall of the window's thread during each action (goal: at most %lld ms)\n",
              static_cast<long long>(kGoalMs));
  std::printf("%-26s %12s %10s %8s\n", "action", "longest ms", "took ms", "goal");
  bool met = true;
  for (const auto& [name, show, click] : actions) {
    show();
    settle();
    const Stall stall = measure(program, click);
    const bool ok = stall.longestMs <= kGoalMs;
    met = met && ok;
    std::printf("%-26s %12lld %10lld %8s\n", name, static_cast<long long>(stall.longestMs),
                static_cast<long long>(stall.tookMs), ok ? "met" : "MISSED");
  }
  ::close(silent);
  return met ? 0 : 1;
}
