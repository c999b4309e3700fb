#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "codec/register_map.h"
#include "panel/initialization_page.h"
#include "panel_harness.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "support/recording_bridge.h"
#include "support/write_log_text.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/direct_register_rw_page.h"
#include "tools/pages/register_write_monitor_page.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {
namespace {

using testing::Choose;
using testing::Click;
using testing::Control;
using testing::LogLines;
using testing::RecordingBridge;
using testing::Type;
using Lines = std::vector<std::string>;

// The register tools of a shown main sheet, by their captions.
struct Tools {
  explicit Tools(MainSheet& s) : sheet(s), page(s.directRegisterPage()) {
    sheet.tabs()->setCurrentWidget(page);
  }

  QGroupBox* side(const QString& title) const {
    for (QGroupBox* box : page->findChildren<QGroupBox*>()) {
      if (box->title() == title) return box;
    }
    ADD_FAILURE() << "no group " << title.toStdString();
    return nullptr;
  }
  QLineEdit* writeAddress(int row) const { return Control<QLineEdit>(page, QString("Write Register Addr %1").arg(row)); }
  QLineEdit* writeValue(int row) const { return Control<QLineEdit>(page, QString("Write Register Value %1").arg(row)); }
  QLineEdit* readAddress(int row) const { return Control<QLineEdit>(page, QString("Read Register Addr %1").arg(row)); }
  QLineEdit* readValue(int row) const { return Control<QLineEdit>(page, QString("Read Register Value %1").arg(row)); }
  QSpinBox* writeRows() const { return Control<QSpinBox>(page, "Register Write Rows"); }
  QSpinBox* readRows() const { return Control<QSpinBox>(page, "Register Read Rows"); }
  QPushButton* write() const { return Control<QPushButton>(side("Register Write"), "Write"); }
  QPushButton* writeSpi() const { return Control<QPushButton>(side("Register Write"), "WriteSPI"); }
  QPushButton* clearWrite() const { return Control<QPushButton>(side("Register Write"), "Clear"); }
  QPushButton* read() const { return Control<QPushButton>(side("Register Read"), "Read"); }
  QPushButton* clearRead() const { return Control<QPushButton>(side("Register Read"), "Clear"); }

  RegisterWriteMonitorPage* showMonitor() const {
    sheet.tabs()->setCurrentWidget(page);
    page->sheet()->setCurrentWidget(page->monitorPage());
    return page->monitorPage();
  }
  QComboBox* displayMode() const { return Control<QComboBox>(page, "Display Mode"); }
  QListWidget* list() const { return Control<QListWidget>(page, "Register Writes"); }
  QPushButton* saveScript() const { return Control<QPushButton>(page, "Save Script"); }
  QPushButton* runScript() const { return Control<QPushButton>(page, "Run Script"); }

  QStringList listed() const {
    QStringList lines;
    for (int i = 0; i < list()->count(); ++i) lines << list()->item(i)->text();
    return lines;
  }

  static void spinTo(QSpinBox* spin, int value) {
    while (spin->value() < value) QTest::keyClick(spin, Qt::Key_Up);
    while (spin->value() > value) QTest::keyClick(spin, Qt::Key_Down);
  }

  MainSheet& sheet;
  DirectRegisterPage* page;
};

struct RecordedTools : ::testing::Test {
  RecordingBridge bridge;
  testing::PanelHarness panel{bridge};
  MainSheet& sheet = panel.show();
  Tools tools{sheet};

  Message pageMessage(const std::string& text, const QWidget* owner) const { return {text, "Tonvisor", OwnerOf(owner)}; }
};

struct SimulatedTools : ::testing::Test {
  ChipModel chip;
  SimulatedBridge bridge{chip};
  testing::PanelHarness panel{bridge};
  MainSheet& sheet = panel.show();
  Tools tools{sheet};

  void SetUp() override {
    sheet.tabs()->setCurrentIndex(0);
    Click(Control<QPushButton>(sheet.initializationPage(), "Connect"));  // I2C at 0x0A
    sheet.tabs()->setCurrentWidget(tools.page);
  }
};

TEST_F(RecordedTools, TheToolsSheetKeepsItsTabAndBoxesWhileOtherPagesAreShown) {
  QTabWidget* tabs = tools.page->sheet();
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "Direct Register RW");
  EXPECT_EQ(tabs->tabText(1), "Register Write Monitor");
  EXPECT_EQ(tabs->currentIndex(), 0);

  Type(tools.writeAddress(1), "0022");
  Tools::spinTo(tools.readRows(), 4);
  tools.showMonitor();
  Choose(tools.displayMode(), "Show Reg Name");
  sheet.tabs()->setCurrentIndex(0);
  sheet.tabs()->setCurrentWidget(tools.page);
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(tools.displayMode()->currentText(), "Show Reg Name");
  tabs->setCurrentIndex(0);
  EXPECT_EQ(tools.writeAddress(1)->text(), "0022");
  EXPECT_EQ(tools.readRows()->value(), 4);
  EXPECT_EQ(tools.page->readWritePage()->readRowCount(), 4);
}

TEST_F(RecordedTools, UntouchedCountsWriteAndReadRowOneOnly) {
  EXPECT_EQ(tools.page->readWritePage()->writeRowCount(), 0);
  Type(tools.writeAddress(1), "22");
  Type(tools.writeValue(1), "1818");
  tools.writeAddress(2)->setText("24");  // a disabled row holding text is still ignored
  tools.writeValue(2)->setText("0120");
  EXPECT_FALSE(tools.writeAddress(2)->isEnabled());
  Click(tools.write());
  EXPECT_EQ(LogLines(panel.link.writeLog()), (Lines{"   \n", "# Write Register \n", "W 0022 1818"}));

  bridge.calls.clear();
  Type(tools.readAddress(1), "22");
  tools.readAddress(2)->setText("24");
  Click(tools.read());
  EXPECT_EQ(bridge.callsTo("i2c.read").size(), 1u);
  EXPECT_EQ(tools.readValue(2)->text(), "");
}

TEST_F(RecordedTools, TheSpinDecidesTheRowsWrittenAndBoxesReadAsStrtoulBase16) {
  Tools::spinTo(tools.writeRows(), 6);
  const char* addresses[] = {"", "22", "0x22", "0X0022", "2G", "12345"};
  const char* values[] = {"1818", "0x0F0F", " ff", "zz", "-1", "10000"};
  for (int r = 0; r < 6; ++r) {
    Type(tools.writeAddress(r + 1), addresses[r]);
    Type(tools.writeValue(r + 1), values[r]);
  }
  Click(tools.write());
  EXPECT_EQ(LogLines(panel.link.writeLog()), (Lines{"   \n", "# Write Register \n", "W 0000 1818", "W 0022 0F0F",
                                                    "W 0022 00FF", "W 0022 0000", "W 0002 FFFF", "W 2345 0000"}));

  // Down to 3: rows 4 to 6 are disabled at once, keep their text, and are not written.
  Tools::spinTo(tools.writeRows(), 3);
  for (int r = 4; r <= 6; ++r) {
    EXPECT_FALSE(tools.writeAddress(r)->isEnabled()) << r;
    EXPECT_FALSE(tools.writeValue(r)->isEnabled()) << r;
  }
  EXPECT_EQ(tools.writeAddress(5)->text(), "2G");
  EXPECT_TRUE(tools.writeValue(3)->isEnabled());
  panel.link.writeLog().clear();
  Click(tools.write());
  EXPECT_EQ(LogLines(panel.link.writeLog()),
            (Lines{"   \n", "# Write Register \n", "W 0000 1818", "W 0022 0F0F", "W 0022 00FF"}));
}

TEST_F(RecordedTools, ClearEmptiesTheBoxesButKeepsTheRowsInUse) {
  Tools::spinTo(tools.writeRows(), 2);
  Tools::spinTo(tools.readRows(), 2);
  for (int r = 1; r <= 2; ++r) {
    Type(tools.writeAddress(r), "24");
    Type(tools.writeValue(r), "1234");
    Type(tools.readAddress(r), "24");
  }
  bridge.i2cReadBytes[0] = 0x12;
  bridge.i2cReadBytes[1] = 0x34;
  Click(tools.read());
  EXPECT_EQ(tools.readValue(2)->text(), "1234");

  Click(tools.clearWrite());
  EXPECT_EQ(tools.writeAddress(1)->text(), " ");
  EXPECT_EQ(tools.writeValue(1)->text(), " ");
  EXPECT_EQ(tools.writeAddress(2)->text(), "");
  EXPECT_TRUE(tools.writeAddress(2)->isEnabled());
  Click(tools.clearRead());
  for (int r = 1; r <= 6; ++r) {
    EXPECT_EQ(tools.readAddress(r)->text(), "") << r;
    EXPECT_EQ(tools.readValue(r)->text(), "") << r;
  }
  EXPECT_EQ(tools.page->readWritePage()->writeRowCount(), 2);

  // A blank box reads as 0.
  Click(tools.write());
  EXPECT_EQ(LogLines(panel.link.writeLog()), (Lines{"   \n", "# Write Register \n", "W 0000 0000", "W 0000 0000"}));
}

TEST_F(RecordedTools, FailuresOfTheLastWriteOrReadAreReportedAndAReadWithoutValueShowsNothing) {
  auto* rw = tools.page->readWritePage();
  bridge.setResult("i2c.write", 1);
  Tools::spinTo(tools.writeRows(), 2);
  Click(tools.write());
  // Both rows were tried (I2C logs each attempt), one message for the batch.
  EXPECT_EQ(LogLines(panel.link.writeLog()), (Lines{"   \n", "# Write Register \n", "W 0000 0000", "W 0000 0000"}));
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{pageMessage(" Error Write Registers", rw)}));

  panel.messages.clear();
  Type(tools.readAddress(1), "22");
  Click(tools.read());
  ASSERT_EQ(tools.readValue(1)->text(), "0000");
  bridge.setResult("i2c.read", 1);
  Click(tools.read());
  EXPECT_EQ(tools.readValue(1)->text(), "");  // no stale or made-up number
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{pageMessage(" Error Read Registers", rw)}));
}

TEST_F(RecordedTools, WriteSpiGoesStraightToSpiWhateverTheLink) {
  auto* rw = tools.page->readWritePage();
  ASSERT_EQ(panel.link.settings().connectionType, "I2C");
  Type(tools.writeAddress(1), "0x0024");
  Type(tools.writeValue(1), "0x0123");
  Click(tools.writeSpi());
  const Lines writes = bridge.callsTo("spi.write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_NE(writes[0].find("[00 24]"), std::string::npos);
  EXPECT_NE(writes[0].find("[01 23]"), std::string::npos);
  EXPECT_TRUE(bridge.callsTo("i2c.write").empty());
  EXPECT_EQ(LogLines(panel.link.writeLog()), (Lines{"W 0024 0123"}));  // no comment lines

  bridge.setResult("spi.write", 1);
  Click(tools.writeSpi());
  EXPECT_EQ(LogLines(panel.link.writeLog()), (Lines{"W 0024 0123"}));
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{pageMessage(" Error Write Registers", rw)}));
}

TEST_F(SimulatedTools, WriteThenReadBackThroughTheChip) {
  Tools::spinTo(tools.writeRows(), 2);
  Tools::spinTo(tools.readRows(), 2);
  Type(tools.writeAddress(1), "22");
  Type(tools.writeValue(1), "0F0F");
  Type(tools.writeAddress(2), "0x0024");
  Type(tools.writeValue(2), "1234");
  Click(tools.write());
  Type(tools.readAddress(1), "0022");
  Type(tools.readAddress(2), "24");
  const std::size_t logged = panel.link.writeLog().count();
  Click(tools.read());
  EXPECT_EQ(tools.readValue(1)->text(), "0F0F");
  EXPECT_EQ(tools.readValue(2)->text(), "1234");
  EXPECT_EQ(panel.link.writeLog().count(), logged);  // reads log nothing
  EXPECT_TRUE(tools.readValue(1)->isReadOnly());

  // SPI cannot read: the boxes are emptied, the link says why, the page adds nothing.
  panel.link.settings().connectionType = "SPI";
  Click(tools.read());
  EXPECT_EQ(tools.readValue(1)->text(), "");
  EXPECT_EQ(tools.readValue(2)->text(), "");
  EXPECT_EQ(panel.messages.texts(), (Lines{" Read Register Not Supported", " Read Register Not Supported"}));
  EXPECT_EQ(panel.messages.messages[0].caption, "Error");
}

TEST_F(RecordedTools, TheMonitorListsTheLogByAddressOrByName) {
  auto* monitor = tools.showMonitor();
  EXPECT_EQ(tools.list()->count(), 0);
  panel.link.writeLog().appendComment("   \n");
  panel.link.writeLog().appendComment("# Write Register \n");
  panel.link.writeLog().appendWrite(0x0022, 0x1818);
  panel.link.writeLog().appendWrite(0x0F00, 0x0001);  // no name in the register map
  QTRY_COMPARE(tools.list()->count(), 4);
  EXPECT_EQ(tools.listed(), (QStringList{"   ", "# Write Register ", "Write   0x0022    0x1818",
                                         "Write   0x0F00    0x0001"}));
  EXPECT_EQ(tools.list()->currentRow(), 3);
  EXPECT_EQ(monitor->renderedLines().at(1), "# Write Register \n\n");

  tools.list()->setCurrentRow(1);
  Choose(tools.displayMode(), "Show Reg Name");
  const std::string named = "Write   \tCHIP_ANA_HP_CTRL_REG" + std::string(20, ' ') + "\t0x1818\n";
  EXPECT_EQ(monitor->renderedLines().at(2), named);
  EXPECT_EQ(monitor->renderedLines().at(3), "Write   0x0F00    0x0001\n");
  ASSERT_EQ(tools.list()->count(), 4);
  EXPECT_EQ(tools.list()->item(2)->text(),
            "Write           CHIP_ANA_HP_CTRL_REG" + QString(28, ' ') + "0x1818");  // tabs at 8 columns
  EXPECT_EQ(tools.list()->currentRow(), 3);

  Choose(tools.displayMode(), "Show Reg Addr");
  EXPECT_EQ(tools.list()->item(2)->text(), "Write   0x0022    0x1818");
  EXPECT_EQ(monitor->renderedLines().at(2), "Write   0x0022    0x1818\n");
}

TEST_F(RecordedTools, TheMonitorCatchesUpWhenShownAndStartsOverWhenConnectEmptiesTheLog) {
  auto* monitor = tools.showMonitor();
  WriteLog& log = panel.link.writeLog();
  log.appendComment("# one\n");
  QTRY_COMPARE(tools.list()->count(), 1);

  // Hidden: nothing is rendered until the page is seen again.
  sheet.tabs()->setCurrentIndex(0);
  log.appendWrite(0x0024, 0x0001);
  QTest::qWait(20);
  EXPECT_EQ(monitor->renderedLines().size(), 1u);
  sheet.tabs()->setCurrentWidget(tools.page);
  EXPECT_EQ(tools.list()->count(), 2);

  // Connect empties the log: the list and the saved texts follow it.
  sheet.tabs()->setCurrentIndex(0);
  Click(Control<QPushButton>(sheet.initializationPage(), "Connect"));
  ASSERT_EQ(log.count(), 0u);
  log.appendComment("# after connect\n");
  sheet.tabs()->setCurrentWidget(tools.page);
  EXPECT_EQ(tools.listed(), (QStringList{"# after connect"}));
  EXPECT_EQ(monitor->renderedLines().size(), 1u);

  // By name now; emptied and refilled past the old length while hidden: still only the new
  // entries, in the form chosen.
  Choose(tools.displayMode(), "Show Reg Name");
  sheet.tabs()->setCurrentIndex(0);
  log.clear();
  for (int i = 0; i < 5; ++i) log.appendWrite(0x0010, static_cast<std::uint16_t>(i));
  sheet.tabs()->setCurrentWidget(tools.page);
  ASSERT_EQ(tools.list()->count(), 5);
  ASSERT_EQ(monitor->renderedLines().size(), 5u);
  EXPECT_EQ(monitor->renderedLines().at(0), "Write   \tCHIP_DAC_VOL_REG" + std::string(24, ' ') + "\t0x0000\n");
  EXPECT_TRUE(tools.list()->item(4)->text().endsWith("0x0004"));
  EXPECT_EQ(tools.list()->currentRow(), 4);
}

TEST_F(SimulatedTools, SaveScriptThenRunScriptGivesTheSameTrafficInEitherForm) {
  // A session: clocks programmed, three registers written by hand.
  sheet.tabs()->setCurrentIndex(0);
  Click(Control<QPushButton>(sheet.initializationPage(), "Config Clock"));
  sheet.tabs()->setCurrentWidget(tools.page);
  tools.page->sheet()->setCurrentIndex(0);
  Tools::spinTo(tools.writeRows(), 3);
  const char* rows[3][2] = {{"22", "1818"}, {"10", "3C3C"}, {"F00", "0001"}};
  for (int r = 0; r < 3; ++r) {
    Type(tools.writeAddress(r + 1), rows[r][0]);
    Type(tools.writeValue(r + 1), rows[r][1]);
  }
  Click(tools.write());

  const auto writesOf = [](const WriteLog& log) {
    Lines writes;
    for (const std::string& line : LogLines(log)) {
      if (line.starts_with("W ")) writes.push_back(line);
    }
    return writes;
  };
  const Lines session = writesOf(panel.link.writeLog());
  ASSERT_EQ(session.size(), 8u);

  RegisterWriteMonitorPage* monitor = tools.showMonitor();
  for (const char* mode : {"Show Reg Addr", "Show Reg Name"}) {
    Choose(tools.displayMode(), mode);
    const std::string path = testing::TempPath(std::string(mode) + ".txt");
    panel.files.saveAnswer = QString::fromStdString(path);
    Click(tools.saveScript());
    std::string rendered;
    for (std::size_t i = 0; i < monitor->renderedLines().size(); ++i) rendered += monitor->renderedLines().at(i);
    EXPECT_EQ(testing::ReadTextFile(path), rendered) << mode;

    panel.link.writeLog().clear();
    chip.write(reg::CHIP_DAC_VOL_REG, 0);
    panel.files.openAnswer = QString::fromStdString(path);
    Click(tools.runScript());
    // Listed at once, without waiting for the next refresh.
    EXPECT_EQ(static_cast<std::size_t>(tools.list()->count()), panel.link.writeLog().count()) << mode;
    EXPECT_EQ(writesOf(panel.link.writeLog()), session) << mode;
    EXPECT_EQ(chip.read(reg::CHIP_DAC_VOL_REG), 0x3C3C) << mode;
    EXPECT_EQ(monitor->scriptPath(), QString::fromStdString(path));
  }
  EXPECT_TRUE(panel.messages.messages.empty());
}

TEST_F(RecordedTools, SaveAndRunSayWhenThereIsNoFileToUse) {
  auto* monitor = tools.showMonitor();
  const auto ownMessage = [&](const std::string& text) { return pageMessage(text, monitor); };

  Click(tools.saveScript());  // cancelled, nothing chosen yet
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{ownMessage("You must select a filename.\n")}));

  panel.messages.clear();
  panel.files.saveAnswer = QString::fromStdString(::testing::TempDir());  // a folder
  Click(tools.saveScript());
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{ownMessage(" Error Creating File")}));

  panel.messages.clear();
  const std::string empty = testing::WriteTextFile("empty.txt", "old contents");
  panel.files.saveAnswer = QString::fromStdString(empty);
  Click(tools.saveScript());
  EXPECT_EQ(testing::ReadTextFile(empty), "");  // an empty log saves an empty file
  panel.files.saveAnswer.reset();
  Click(tools.saveScript());  // cancelled after a path was chosen: silence
  EXPECT_TRUE(panel.messages.messages.empty());

  Click(tools.runScript());  // cancelled
  EXPECT_TRUE(panel.messages.messages.empty());
  panel.files.openAnswer = QString();
  Click(tools.runScript());
  panel.files.openAnswer = QString::fromStdString(testing::TempPath("missing.txt"));
  Click(tools.runScript());
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{ownMessage("You must select a filename.\n"),
                                                           ownMessage("File Does Not Exist")}));
  EXPECT_EQ(panel.link.writeLog().count(), 0u);
  EXPECT_EQ(panel.files.openAsked, 3);
}

TEST(ScriptProgress, ComesUpOnceTheRunIsSlowAndItsCancelStopsTheRun) {
  QWidget window;
  {
    ScriptProgress quick(&window, "Running init.txt", 3);
    EXPECT_TRUE(quick.lineDone(1));
    EXPECT_EQ(quick.dialog(), nullptr);  // a quick run never shows it
  }
  ScriptProgress slow(&window, "Running init.txt", 3, std::chrono::milliseconds(0));
  EXPECT_TRUE(slow.lineDone(1));
  QProgressDialog* dialog = slow.dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->value(), 1);
  EXPECT_EQ(dialog->maximum(), 3);
  EXPECT_TRUE(dialog->labelText().contains("1 of 3 lines done"));
  dialog->cancel();
  EXPECT_FALSE(slow.lineDone(2));
}

TEST(ScriptProgress, CountsTheLinesOfAScript) {
  EXPECT_EQ(CountScriptLines(QString::fromStdString(testing::WriteTextFile("a.txt", "# a\nWrite 0x0010 0\n"))), 2u);
  EXPECT_EQ(CountScriptLines(QString::fromStdString(testing::WriteTextFile("b.txt", "# a\nWrite 0x0010 0"))), 2u);
  EXPECT_EQ(CountScriptLines(QString::fromStdString(testing::WriteTextFile("c.txt", ""))), 0u);
  EXPECT_EQ(CountScriptLines(QString::fromStdString(testing::TempPath("missing.txt"))), 0u);
}

}  // namespace
}  // namespace tonvisor
