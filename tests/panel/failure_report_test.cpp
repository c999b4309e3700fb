#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QSpinBox>

#include "panel_harness.h"
#include "sim/board_server.h"
#include "support/tapped_bridge.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/register_write_monitor_page.h"

namespace tonvisor::testing {
namespace {

// Records every message with whether a script's progress window was still up when it came.
class WatchingMessenger final : public Messenger {
 public:
  void show(const Message& message) override {
    bool progressShown = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      progressShown |= qobject_cast<QProgressDialog*>(window) != nullptr && window->isVisible();
    }
    texts.push_back(message.text);
    progressUp.push_back(progressShown);
  }
  using Messenger::show;
  Lines texts;
  std::vector<bool> progressUp;
};

// The program on a simulated chip whose I2C writes can be made to fail, as a chip that stops
// acknowledging would.
struct FailingChip : ::testing::Test {
  FailingChip() {
    sheet = std::make_unique<MainSheet>(context);
    sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
  }
  QPushButton* button(const QString& name) const { return Control<QPushButton>(sheet.get(), name); }
  QLineEdit* box(const QString& name) const { return Control<QLineEdit>(sheet.get(), name); }
  void connectAt(const QString& address) {
    Type(box("I2C Address"), address);
    Click(button("Connect"));
  }

  ChipModel chip;
  TappedBridge bridge{chip};
  WatchingMessenger messages;
  DeviceLink link{bridge, messages, EthernetOptions{.pause = [](std::chrono::milliseconds) {}}};
  CodecOperations codec{link};
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{link, codec, state, files, unsavedLog};
  std::unique_ptr<MainSheet> sheet;
  QTemporaryDir temp;
};

TEST_F(FailingChip, ConfigClockAndChipInitializeSayHowManyAccessesTheChipDidNotTake) {
  connectAt("1B");  // no chip answers there
  EXPECT_EQ(messages.texts, Lines{"Read Chip: 53 of 53 register accesses did not reach the chip. The first: no chip "
                                  "answering at I2C address 0x1B for the read of register 0x0000."});
  messages.texts.clear();
  Click(button("Config Clock"));
  EXPECT_EQ(messages.texts,
            Lines{"Config Clock: 5 of 5 register accesses did not reach the chip. The first: no chip answering at I2C "
                  "address 0x1B for the read-modify-write of register 0x000E."});

  messages.texts.clear();
  const QString script = temp.filePath("init.txt");
  std::ofstream(script.toStdString()) << "# up\nWrite 0x0030 0x4260\nWrite 0x0002 0x0073\n";
  context.initScriptPath = script;
  sheet = std::make_unique<MainSheet>(context);
  connectAt("A");
  bridge.failWrites = 1;  // the first write goes unanswered, the second goes through
  Click(button("Chip Initialize"));
  EXPECT_EQ(messages.texts, Lines{"1 of 2 register writes of the script did not reach the chip. The first, line 2 "
                                  "\"Write 0x0030 0x4260\": I2C write of register 0x0030 failed: the chip at I2C address 0x0A did not "
                                  "acknowledge the value's high byte."});
  EXPECT_EQ(chip.read(0x0002), 0x0073);
}

TEST_F(FailingChip, DirectWritesReportAFailureInAnyRowOnce) {
  connectAt("A");
  auto* tools = sheet->directRegisterPage();
  sheet->tabs()->setCurrentWidget(tools);
  auto* rows = Control<QSpinBox>(sheet.get(), "Register Write Rows");
  while (rows->value() < 3) QTest::keyClick(rows, Qt::Key_Up);
  for (int r = 1; r <= 3; ++r) {
    Type(box(QString("Write Register Addr %1").arg(r)), QString::number(0x20 + 2 * r, 16));
    Type(box(QString("Write Register Value %1").arg(r)), "1234");
  }
  bridge.failWrites = 1;  // row 1 fails, the last row goes through
  Click(button("Write"));
  EXPECT_EQ(messages.texts, Lines{" Error Write Registers"});
  EXPECT_EQ(bridge.i2cWrites, (Lines{"0022 1234 failed", "0024 1234", "0026 1234"}));
}

// A slow run shows its progress; the run's closing messages come once the window is gone.
TEST(ScriptRunMessages, TheProgressWindowClosesBeforeTheClosingMessages) {
  ProgramOnBoard<WatchingMessenger> program;  // the board's real 20 ms pause: 40 writes take 0.8 s
  FakeFileChooser& files = program.files;
  MainSheet& sheet = program.sheet;
  QTemporaryDir temp;
  std::string script;
  for (int i = 0; i < 40; ++i) script += "Write 0x0024 0x" + std::to_string(i) + "\n";
  script += "Write 0x0024\n";  // says nothing to write: told once the run is over
  files.openAnswer = temp.filePath("slow.txt");
  std::ofstream(files.openAnswer->toStdString()) << script;

  auto* tools = sheet.directRegisterPage();
  sheet.tabs()->setCurrentWidget(tools);
  tools->sheet()->setCurrentWidget(tools->monitorPage());
  Click(Control<QPushButton>(&sheet, "Run Script"));
  const WatchingMessenger& messages = program.messages;
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_TRUE(messages.texts[0].starts_with("Line 41 of the script was not run")) << messages.texts[0];
  EXPECT_FALSE(messages.progressUp[0]);
  EXPECT_EQ(program.boardChip.read(0x0024), 0x0039);
}

}  // namespace
}  // namespace tonvisor::testing
