#include <gtest/gtest.h>

#include <QGroupBox>
#include <QListWidget>
#include <QProgressDialog>
#include <QSpinBox>

#include "panel_harness.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/register_write_monitor_page.h"
#include "tools/pages/script_progress.h"

namespace tonvisor::testing {
namespace {

constexpr const char* kWriteAddr = "Write Register Addr";
constexpr const char* kWriteValue = "Write Register Value";
constexpr const char* kReadAddr = "Read Register Addr";
constexpr const char* kReadValue = "Read Register Value";

// The sheet with its Direct Register Access page shown.
struct RecordedTools : PanelTest {
  explicit RecordedTools(bool simulated = false) : PanelTest(simulated) { showTools(); }

  DirectRegisterPage* tools() const { return sheet->directRegisterPage(); }
  void showTools() const { sheet->tabs()->setCurrentWidget(tools()); }
  RegisterWriteMonitorPage* showMonitor() const {
    showTools();
    tools()->sheet()->setCurrentWidget(tools()->monitorPage());
    return tools()->monitorPage();
  }

  // A box of a numbered row: row(kWriteAddr, 2) is "Write Register Addr 2".
  QLineEdit* row(const char* name, int r) const { return box(QString("%1 %2").arg(name).arg(r)); }
  QStringList column(const char* name) const { return {row(name, 1)->text(), row(name, 2)->text()}; }
  void typeWrite(int r, const QString& address, const QString& value) const {
    Type(row(kWriteAddr, r), address);
    Type(row(kWriteValue, r), value);
  }
  // The row-count spin or the Clear button of "Register Write" or "Register Read".
  QSpinBox* rowSpin(const QString& side) const { return Control<QSpinBox>(sheet.get(), side + " Rows"); }
  QPushButton* clear(const char* side) const {
    return Control<QPushButton>(sheet->findChild<QGroupBox*>(side), "Clear");
  }
  static void SpinTo(QSpinBox* spin, int value) {
    while (spin->value() < value) QTest::keyClick(spin, Qt::Key_Up);
    while (spin->value() > value) QTest::keyClick(spin, Qt::Key_Down);
  }

  QListWidget* monitorList() const { return Control<QListWidget>(sheet.get(), "Register Writes"); }
  QStringList listed() const {
    QStringList lines;
    for (int i = 0; i < monitorList()->count(); ++i) lines << monitorList()->item(i)->text();
    return lines;
  }
};

struct SimulatedTools : RecordedTools {
  SimulatedTools() : RecordedTools(true) {
    sheet->tabs()->setCurrentIndex(0);
    Click(button("Connect"));  // I2C at 0x0A
    showTools();
  }
};

TEST_F(RecordedTools, TheSpinDecidesTheRowsWrittenAndBoxesReadAsStrtoulBase16) {
  // Untouched, the count is 0 and row 1 alone is written, whatever the disabled rows hold.
  const char* addresses[] = {"", "22", "0x22", "0X0022", "2G", "12345"};
  const char* values[] = {"1818", "0x0F0F", " ff", "zz", "-1", "10000"};
  for (int r = 1; r <= 6; ++r) {
    row(kWriteAddr, r)->setText(addresses[r - 1]);
    row(kWriteValue, r)->setText(values[r - 1]);
  }
  EXPECT_FALSE(row(kWriteAddr, 2)->isEnabled());
  Click(button("Write"));
  SpinTo(rowSpin("Register Write"), 6);
  Click(button("Write"));

  // Down to 3: rows 4 to 6 are disabled at once, keep their text, and are not written.
  SpinTo(rowSpin("Register Write"), 3);
  for (int r = 1; r <= 6; ++r) {
    EXPECT_EQ(row(kWriteAddr, r)->isEnabled(), r <= 3) << r;
    EXPECT_EQ(row(kWriteValue, r)->isEnabled(), r <= 3) << r;
  }
  EXPECT_EQ(row(kWriteAddr, 5)->text(), "2G");
  Click(button("Write"));
  EXPECT_EQ(LogLines(link.writeLog()),
            (Lines{"   \n", "# Write Register \n", "W 0000 1818",                                           //
                   "   \n", "# Write Register \n", "W 0000 1818", "W 0022 0F0F", "W 0022 00FF", "W 0022 0000",  //
                   "W 0002 FFFF", "W 2345 0000",                                                        //
                   "   \n", "# Write Register \n", "W 0000 1818", "W 0022 0F0F", "W 0022 00FF"}));
}

TEST_F(RecordedTools, ReadShowsTheRowsInUseClearEmptiesThemAndAFailedReadShowsNothing) {
  // Untouched, the count is 0 and row 1 alone is read.
  Type(row(kReadAddr, 1), "22");
  row(kReadAddr, 2)->setText("24");
  bridge.i2cReadBytes[0] = 0x12;
  bridge.i2cReadBytes[1] = 0xAB;
  Click(button("Read"));
  EXPECT_EQ(bridge.i2cReads(), (Lines{"i2c 0x0A write 00 22 read 2"}));
  EXPECT_EQ(column(kReadValue), (QStringList{"12AB", ""}));
  SpinTo(rowSpin("Register Read"), 2);
  Click(button("Read"));
  EXPECT_EQ(column(kReadValue), (QStringList{"12AB", "12AB"}));

  Click(clear("Register Read"));
  EXPECT_EQ(column(kReadAddr) + column(kReadValue), QStringList(4, ""));
  Click(button("Read"));  // blank boxes read as address 0
  ASSERT_EQ(column(kReadValue), (QStringList{"12AB", "12AB"}));
  bridge.setResult("i2c.transfer", bridge::kUsbError);
  Click(button("Read"));
  EXPECT_EQ(column(kReadValue), (QStringList{"", ""}));  // no stale or made-up number
  EXPECT_EQ(shown(), (Lines{"Tonvisor | DirectRegisterRwPage |  Error Read Registers"}));  // one for the press
}

TEST_F(RecordedTools, ClearKeepsTheRowsInUseAndEachFailedWriteIsReportedOnce) {
  SpinTo(rowSpin("Register Write"), 2);
  typeWrite(1, "24", "1234");
  typeWrite(2, "24", "1234");
  Click(clear("Register Write"));
  EXPECT_EQ(column(kWriteAddr) + column(kWriteValue), (QStringList{" ", "", " ", ""}));
  // Both rows are still tried (I2C logs each attempt), a blank box reads as 0, and one
  // message speaks for the batch.
  bridge.setResult("i2c.transfer", bridge::kUsbError);
  Click(button("Write"));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# Write Register \n", "W 0000 0000", "W 0000 0000"}));

  // WriteSPI: row 1 through SPI whatever the link, without comment lines.
  link.writeLog().clear();
  typeWrite(1, "0x0024", "0x0123");
  Click(button("WriteSPI"));
  EXPECT_EQ(bridge.callsTo("spi write"), (Lines{"spi write 00 24 01 23"}));
  bridge.setResult("spi.transfer", bridge::kUsbError);
  Click(button("WriteSPI"));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"W 0024 0123"}));
  EXPECT_EQ(shown(), Lines(2, "Tonvisor | DirectRegisterRwPage |  Error Write Registers"));

  // The chip select's pins fail at the read and at the write: one message for the press.
  messages.clear();
  bridge.setResult("busB.open", bridge::kUsbError);
  Click(button("WriteSPI"));
  EXPECT_EQ(shown(),
            (Lines{"Error | none |  BusB Open Error", "Tonvisor | DirectRegisterRwPage |  Error Write Registers"}));
}

TEST_F(RecordedTools, ReturnInAReadAddressReadsAndInAWriteRowWritesNothing) {
  SpinTo(rowSpin("Register Write"), 2);
  typeWrite(1, "22", "1818");
  typeWrite(2, "24", "0001");
  for (const char* name : {kWriteAddr, kWriteValue}) {
    for (int r = 1; r <= 2; ++r) QTest::keyClick(row(name, r), Qt::Key_Return);
  }
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_EQ(link.writeLog().count(), 0u);

  Type(row(kReadAddr, 1), "22");
  bridge.i2cReadBytes[0] = 0x12;
  bridge.i2cReadBytes[1] = 0xAB;
  QTest::keyClick(row(kReadAddr, 1), Qt::Key_Return);
  EXPECT_EQ(bridge.i2cReads().size(), 1u);
  EXPECT_EQ(row(kReadValue, 1)->text(), "12AB");
  EXPECT_EQ(bridge.callsTo("i2c 0x").size(), 1u);  // the read, and no write
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(SimulatedTools, WriteThenReadBackThroughTheChipWithTheBoxesKeptWhileAnotherPageIsShown) {
  SpinTo(rowSpin("Register Write"), 2);
  SpinTo(rowSpin("Register Read"), 2);
  typeWrite(1, "22", "0F0F");
  typeWrite(2, "0x0024", "1234");
  Type(row(kReadAddr, 1), "0022");
  Type(row(kReadAddr, 2), "24");
  sheet->tabs()->setCurrentIndex(0);
  showTools();
  Click(button("Write"));
  const std::size_t logged = link.writeLog().count();
  Click(button("Read"));
  EXPECT_EQ(column(kReadValue), (QStringList{"0F0F", "1234"}));
  EXPECT_EQ(link.writeLog().count(), logged);  // reads log nothing
  EXPECT_TRUE(row(kReadValue, 1)->isReadOnly());

  // SPI cannot read: the boxes are emptied, the link says why once for the press, the page
  // adds nothing.
  link.settings().connectionType = "SPI";
  Click(button("Read"));
  EXPECT_EQ(column(kReadValue), (QStringList{"", ""}));
  EXPECT_EQ(shown(), Lines(1, "Error | none |  Read Register Not Supported"));
}

TEST_F(RecordedTools, TheMonitorListsTheLogWhileShownInEitherFormAndStartsOverAtConnect) {
  EXPECT_EQ(TabTexts(tools()->sheet()), (QStringList{"Direct Register RW", "Register Write Monitor", "Register Map"}));
  EXPECT_EQ(tools()->sheet()->currentIndex(), 0);
  RegisterWriteMonitorPage* monitor = showMonitor();
  QListWidget* lines = monitorList();
  WriteLog& log = link.writeLog();
  log.appendComment("   \n");
  log.appendComment("# Write Register \n");
  log.appendWrite(0x0022, 0x1818);
  QTRY_COMPARE(lines->count(), 3);
  EXPECT_EQ(listed(), (QStringList{"   ", "# Write Register ", "Write   0x0022    0x1818"}));
  EXPECT_EQ(lines->currentRow(), 2);

  // By name, the tabs set at 8 columns; the newest line is still the selected one.
  lines->setCurrentRow(1);
  Choose(list("Display Mode"), "Show Reg Name");
  EXPECT_EQ(listed().at(2), "Write           CHIP_ANA_HP_CTRL_REG" + QString(28, ' ') + "0x1818");
  EXPECT_EQ(lines->currentRow(), 2);

  // Hidden: nothing is rendered until the page, still on its tab, is seen again.
  sheet->tabs()->setCurrentIndex(0);
  log.appendWrite(0x0024, 0x0001);
  QTest::qWait(20);
  EXPECT_EQ(monitor->renderedLines().size(), 3u);
  showTools();
  EXPECT_EQ(lines->count(), 4);

  // Connect empties the log; refilled past the old length while hidden, the list and the
  // texts Save Script writes hold only the new entries, in the form chosen.
  sheet->tabs()->setCurrentIndex(0);
  Click(button("Connect"));
  for (int i = 0; i < 5; ++i) log.appendWrite(0x0010, static_cast<std::uint16_t>(i));
  showTools();
  ASSERT_EQ(lines->count(), 5);
  EXPECT_EQ(monitor->renderedLines().size(), 5u);
  EXPECT_EQ(lines->item(0)->text(), "Write           CHIP_DAC_VOL_REG" + QString(32, ' ') + "0x0000");
  EXPECT_EQ(lines->currentRow(), 4);
  Choose(list("Display Mode"), "Show Reg Addr");
  EXPECT_EQ(lines->item(4)->text(), "Write   0x0010    0x0004");
}

TEST_F(SimulatedTools, SaveScriptThenRunScriptGivesTheSameTrafficInEitherForm) {
  // A session: clocks programmed, three registers written by hand.
  sheet->tabs()->setCurrentIndex(0);
  Click(button("Config Clock"));
  showTools();
  SpinTo(rowSpin("Register Write"), 3);
  typeWrite(1, "22", "1818");
  typeWrite(2, "10", "3C3C");
  typeWrite(3, "F00", "0001");
  Click(button("Write"));
  const Lines session = WritesIn(LogLines(link.writeLog()));
  ASSERT_EQ(session.size(), 8u);

  showMonitor();
  for (const char* mode : {"Show Reg Addr", "Show Reg Name"}) {
    SCOPED_TRACE(mode);
    Choose(list("Display Mode"), mode);
    const QString path = tempPath(QString(mode) + ".txt");
    files.saveAnswer = path;
    Click(button("Save Script"));
    const bool byName = std::string(mode).ends_with("Name");
    EXPECT_EQ(ReadFile(path).find("\tCHIP_ANA_HP_CTRL_REG") != std::string::npos, byName);

    link.writeLog().clear();
    files.openAnswer = path;
    Click(button("Run Script"));
    // Listed at once, without waiting for the next refresh.
    EXPECT_EQ(static_cast<std::size_t>(monitorList()->count()), link.writeLog().count());
    EXPECT_EQ(WritesIn(LogLines(link.writeLog())), session);
  }
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedTools, SaveAndRunSayWhenThereIsNoFileToUse) {
  showMonitor();
  Click(button("Save Script"));  // cancelled, nothing chosen yet
  files.saveAnswer = temp.path();  // a folder
  Click(button("Save Script"));
  files.saveAnswer = writeFile("empty.txt", "old contents");
  Click(button("Save Script"));
  EXPECT_EQ(ReadFile(*files.saveAnswer), "");  // an empty log saves an empty file
  files.saveAnswer.reset();
  Click(button("Save Script"));  // cancelled after a path was chosen: silence
  Click(button("Run Script"));   // cancelled: silence
  files.openAnswer = QString();
  Click(button("Run Script"));
  files.openAnswer = tempPath("missing.txt");
  Click(button("Run Script"));
  const std::string page = "Tonvisor | RegisterWriteMonitorPage | ";
  EXPECT_EQ(shown(), (Lines{page + "You must select a filename.\n", page + " Error Creating File",
                            page + "You must select a filename.\n", page + "File Does Not Exist"}));
  EXPECT_EQ(link.writeLog().count(), 0u);
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

using ScriptFiles = PanelTest;
TEST_F(ScriptFiles, CountScriptLinesCountsALastLineWithoutItsLineEnd) {
  const auto count = [&](const char* bytes) { return CountScriptLines(writeFile("s.txt", bytes)); };
  EXPECT_EQ(count("# a\nWrite 0x0010 0\n"), 2u);
  EXPECT_EQ(count("# a\nWrite 0x0010 0"), 2u);
  EXPECT_EQ(count(""), 0u);
  EXPECT_EQ(CountScriptLines(tempPath("missing.txt")), 0u);
}

}  // namespace
}  // namespace tonvisor::testing
