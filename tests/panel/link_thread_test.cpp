// The window with its link on a thread of its own, as the program runs it, against the board
// emulator on loopback: the window keeps answering while the chip work runs, work runs in the
// order it was asked for, Cancel and closing the window during work end it cleanly.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include <QElapsedTimer>
#include <QListWidget>
#include <QProgressDialog>
#include <QTimer>

#include "panel_harness.h"
#include "runner/thread_link_runner.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/direct_register_rw_page.h"
#include "tools/pages/register_map_page.h"
#include "tools/pages/register_write_monitor_page.h"

namespace tonvisor::testing {
namespace {

using std::chrono::milliseconds;

// The longest the window's thread may go without running its timer. ThreadSanitizer slows the
// window's own work several times over: there the bound only tells a window that waits for the
// chip (seconds) from one that does not.
#if defined(__SANITIZE_THREAD__)
constexpr qint64 kStallBound = 1000;
#else
constexpr qint64 kStallBound = 100;
#endif

// A board that takes connections (the kernel completes them) and never answers.
class SilentBoard {
 public:
  SilentBoard() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(m_fd, 64);
    socklen_t length = sizeof address;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
  }
  ~SilentBoard() { ::close(m_fd); }
  std::uint16_t port() const { return m_port; }

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

class LinkThread : public ::testing::Test {
 protected:
  LinkThread() {
    EXPECT_FALSE(board.start());
    sheet.show();
    connectTo(board.port());
  }

  template <typename W>
  W* control(const QString& name) const {
    return Control<W>(&sheet, name);
  }
  bool waitIdle() { return QTest::qWaitFor([this] { return !runner.busy(); }, 20000); }

  void connectTo(std::uint16_t port) {
    sheet.tabs()->setCurrentIndex(0);
    Choose(control<QComboBox>("Connection Type"), "Ethernet");
    Type(control<QLineEdit>("Ethernet Address"), "127.0.0.1");
    Type(control<QLineEdit>("Port"), QString::number(port));
    Click(control<QPushButton>("Connect"));
    ASSERT_TRUE(waitIdle());
  }

  void showTool(QWidget* tool) {
    DirectRegisterPage* tools = sheet.directRegisterPage();
    sheet.tabs()->setCurrentWidget(tools);
    tools->sheet()->setCurrentWidget(tool);
  }
  QString writeScript(int writes) {
    std::string script;
    for (int i = 0; i < writes; ++i) script += "Write 0x0024 0x" + std::to_string(i % 10) + "\n";
    const QString path = temp.filePath(QStringLiteral("s%1.txt").arg(writes));
    std::ofstream(path.toStdString()) << script;
    return path;
  }
  void runScript(int writes) {
    files.openAnswer = writeScript(writes);
    showTool(sheet.directRegisterPage()->monitorPage());
    Click(control<QPushButton>("Run Script"));
  }
  void directWrite(const QString& address, const QString& value) {
    showTool(sheet.directRegisterPage()->readWritePage());
    Type(control<QLineEdit>("Write Register Addr 1"), address);
    Type(control<QLineEdit>("Write Register Value 1"), value);
    Click(control<QPushButton>("Write"));
  }

  // The longest time the window's thread did not get to a 10 ms timer while action ran and
  // the link then finished its work.
  qint64 longestStall(const std::function<void()>& action) {
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      longest = std::max(longest, clock.elapsed() - last);
      last = clock.elapsed();
    });
    clock.start();
    heartbeat.start(10);
    action();
    EXPECT_TRUE(waitIdle());
    QTest::qWait(30);
    return longest;
  }

  QTemporaryDir temp;
  ChipModel boardChip;
  BoardServer board{boardChip};
  RecordingBridge bridge;
  RecordingMessenger messages;
  // 5 ms a pause in place of the board's 20: the work still lasts seconds.
  DeviceLink link{bridge, messages, EthernetOptions{.accessPause = milliseconds(5), .pause = PreciseSleep}};
  CodecOperations codec{link};
  ThreadLinkRunner runner{link, codec, messages};
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{runner, state, files, unsavedLog};
  MainSheet sheet{context};
};

TEST_F(LinkThread, TheWindowKeepsAnsweringWhileLongWorkRuns) {
  auto* processor = static_cast<DigitalAudioProcessingPage*>(sheet.page(MainSheet::Tab::DigitalAudioProcessing));
  // Each action: its page brought to the front first (the window's own work, made once), then
  // the click, timed until the link is idle again.
  const struct {
    const char* name;
    std::function<void()> show;
    std::function<void()> click;
  } actions[] = {
      {"HP Mute", [&] { sheet.tabs()->setCurrentWidget(sheet.page(MainSheet::Tab::Outputs)); },
       [&] { Click(control<QCheckBox>("HP Mute")); }},
      {"EQ preset",
       [&] {
         sheet.tabs()->setCurrentWidget(processor);
         processor->sheet()->setCurrentIndex(3);
         Pick(control<QComboBox>("Select PEQ/GEQ/Tone Control"), "PEQ");
         ASSERT_TRUE(waitIdle());
       },
       [&] { Pick(control<QComboBox>("PEQ Control"), "Acoustic"); }},
      {"Read All", [&] { showTool(sheet.directRegisterPage()->mapPage()); },
       [&] { Click(control<QPushButton>("Read All")); }},
      {"300-write script",
       [&] {
         files.openAnswer = writeScript(300);
         showTool(sheet.directRegisterPage()->monitorPage());
       },
       [&] { Click(control<QPushButton>("Run Script")); }},
  };
  for (const auto& [name, show, click] : actions) {
    show();
    QTest::qWait(100);
    EXPECT_LT(longestStall(click), kStallBound) << name;
  }
  EXPECT_EQ(messages.texts(), Lines{});
  EXPECT_EQ(boardChip.read(0x0024), 9);  // the script's last write
  EXPECT_EQ(sheet.linkText(), QStringLiteral("Ethernet 127.0.0.1:%1").arg(board.port()));

  // A board that takes the connection and never answers: the window waits for nothing.
  SilentBoard silent;
  connectTo(silent.port());
  EXPECT_LT(longestStall([&] { directWrite("24", "1"); }), kStallBound);
  ASSERT_FALSE(messages.texts().empty());
}

TEST_F(LinkThread, ClicksDuringWorkRunAfterItInOrderAndAMovedControlWritesItsLastPosition) {
  runScript(200);
  // The monitor follows the log while the script still runs.
  auto* listed = control<QListWidget>("Register Writes");
  ASSERT_TRUE(QTest::qWaitFor([&] { return listed->count() > 20; }));
  EXPECT_TRUE(runner.busy());
  directWrite("24", "1234");
  directWrite("24", "4321");
  // The surround width's up-down, stepped again and again while the script still runs: the
  // queued write of each step is replaced by the next one's. (It shows the board's width 0,
  // read at Connect, so only steps up write.)
  auto* processor = static_cast<DigitalAudioProcessingPage*>(sheet.page(MainSheet::Tab::DigitalAudioProcessing));
  sheet.tabs()->setCurrentWidget(processor);
  processor->sheet()->setCurrentIndex(1);
  UpDown* width = control<UpDown>("Surround Width up-down");
  ASSERT_NE(width, nullptr);
  for (int i = 0; i < 5; ++i) Click(width->upButton());
  ASSERT_TRUE(runner.busy());
  ASSERT_TRUE(waitIdle());

  const Lines writes = WritesIn(LogLines(link.writeLog()));
  ASSERT_GE(writes.size(), 203u);
  EXPECT_EQ(writes[199], "W 0024 0009");  // the script's last line
  EXPECT_EQ(Lines(writes.begin() + 200, writes.begin() + 202), (Lines{"W 0024 1234", "W 0024 4321"}));
  // One write of the width (or two, when the first step was taken before the next came).
  EXPECT_LE(writes.size(), 204u);
  EXPECT_EQ(boardChip.read(0x0024), 0x4321);
  EXPECT_EQ(messages.texts(), Lines{});
}

TEST_F(LinkThread, CancelEndsAScriptOnASilentBoardAtOnceWithTheClosingMessage) {
  SilentBoard silent;
  connectTo(silent.port());
  messages.clear();
  runScript(300);
  QProgressDialog* progress = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QProgressDialog*>(window); dialog != nullptr && dialog->isVisible()) {
        progress = dialog;
      }
    }
    return progress != nullptr;
  }));
  QElapsedTimer stopping;
  stopping.start();
  Click(progress->findChild<QPushButton*>());
  ASSERT_TRUE(waitIdle());
  EXPECT_LT(stopping.elapsed(), 500);
  ASSERT_FALSE(messages.texts().empty());
  EXPECT_NE(messages.texts().back().find(" of the script did not reach the chip. The first, line 1 "), std::string::npos)
      << messages.texts().back();
}

TEST_F(LinkThread, ClosingDuringWorkWaitsForItThenAsksAboutTheWholeLog) {
  const struct {
    BusyEndAnswer answer;
    bool allWritten;
  } cases[] = {{BusyEndAnswer::Wait, true}, {BusyEndAnswer::Stop, false}};
  for (const auto& [answer, allWritten] : cases) {
    sheet.show();
    connectTo(board.port());  // an empty log
    unsavedLog.asked.clear();
    unsavedLog.askedWhileBusy.clear();
    unsavedLog.busyAnswer = answer;
    unsavedLog.answer = UnsavedLogAnswer::Discard;
    runScript(300);
    // Closed once the run is under way (on a loaded machine its start can take a while to show).
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.workText().startsWith("Running s300.txt: "); }, 20000));
    sheet.reject();
    ASSERT_EQ(unsavedLog.askedWhileBusy.size(), 1u);
    EXPECT_TRUE(unsavedLog.askedWhileBusy[0].starts_with("Running s300.txt: ")) << unsavedLog.askedWhileBusy[0];
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_TRUE(unsavedLog.asked.empty());  // the log is read once nothing more can reach it
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet.isVisible(); }, 20000));
    ASSERT_EQ(unsavedLog.asked.size(), 1u);
    EXPECT_EQ(unsavedLog.asked[0], link.writeLog().count());
    EXPECT_EQ(WritesIn(LogLines(link.writeLog())).size() == 300, allWritten);
  }
}

}  // namespace
}  // namespace tonvisor::testing
