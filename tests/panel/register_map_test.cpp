#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTableWidget>

#include "panel_harness.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/register_map_page.h"

namespace tonvisor::testing {
namespace {

using Page = RegisterMapPage;

// The Register Map on a simulated chip that powers up and behaves as the part does.
struct RegisterMap : ::testing::Test {
  RegisterMap() {
    sheet = std::make_unique<MainSheet>(context);
    sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    Type(Control<QLineEdit>(sheet.get(), "I2C Address"), "A");
    Click(button("Connect"));
    auto* tools = sheet->directRegisterPage();
    sheet->tabs()->setCurrentWidget(tools);
    tools->sheet()->setCurrentWidget(tools->mapPage());
    page = tools->mapPage();
    link.writeLog().clear();
  }
  QPushButton* button(const QString& name) const { return Control<QPushButton>(sheet.get(), name); }
  QTableWidget* registers() const { return page->registerTable(); }
  QTableWidget* fields() const { return page->fieldTable(); }

  int rowOf(const QString& name) const {
    for (int row = 0; row < registers()->rowCount(); ++row) {
      if (registers()->item(row, Page::kNameColumn)->text() == name) return row;
    }
    ADD_FAILURE() << "no register " << name.toStdString();
    return 0;
  }
  QString valueOf(const QString& name) const { return registers()->item(rowOf(name), Page::kValueColumn)->text(); }
  // The field rows as "name bits value meaning" after selecting the register.
  QStringList fieldsOf(const QString& name) {
    registers()->selectRow(rowOf(name));
    QStringList lines;
    for (int row = 0; row < fields()->rowCount(); ++row) {
      QString meaning;
      if (auto* list = qobject_cast<QComboBox*>(fields()->cellWidget(row, Page::kMeaningColumn))) {
        meaning = list->currentText();
      }
      lines << QStringLiteral("%1 %2 %3 %4")
                   .arg(fields()->item(row, Page::kFieldColumn)->text(), fields()->item(row, Page::kBitsColumn)->text(),
                        fields()->item(row, Page::kFieldValueColumn)->text(), meaning)
                   .trimmed();
    }
    return lines;
  }
  // Types into a cell as a user does: start editing, replace the text, Return.
  static void Edit(QTableWidget* table, int row, int column, const QString& text) {
    table->setCurrentCell(row, column);
    table->editItem(table->item(row, column));
    QLineEdit* editor = nullptr;
    for (QLineEdit* open : table->viewport()->findChildren<QLineEdit*>()) {
      if (open->isVisible()) editor = open;
    }
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view commits an edit on its next turn
  }
  Lines shown() const { return messages.texts(); }

  ChipModel chip{ChipModel::Behaviour::Chip};
  SimulatedBridge bridge{chip};
  RecordingMessenger messages;
  DeviceLink link{bridge, messages, EthernetOptions{.pause = [](std::chrono::milliseconds) {}}};
  CodecOperations codec{link};
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{link, codec, state, files, unsavedLog};
  std::unique_ptr<MainSheet> sheet;
  RegisterMapPage* page = nullptr;
  QTemporaryDir temp;
};

TEST_F(RegisterMap, ReadAllShowsEveryRegisterAndEachFieldByName) {
  EXPECT_EQ(registers()->rowCount(), 53);
  EXPECT_EQ(valueOf("CHIP_ID_REG"), "unknown");  // nothing read yet, and never taken for 0
  Click(button("Read All"));
  EXPECT_EQ(valueOf("CHIP_ID_REG"), "0xA011");
  EXPECT_EQ(valueOf("CHIP_CLK_CTRL_REG"), "0x0008");
  EXPECT_EQ(fieldsOf("CHIP_CLK_CTRL_REG"),
            (QStringList{"ConfigureSysMclk 1:0 0 256xFs", "ConfigureSampleRate 3:2 2 48 kHz"}));
  chip.write(reg::CHIP_SSS_CTRL_REG, 0x0010);
  Click(button("Read All"));
  EXPECT_TRUE(fieldsOf("CHIP_SSS_CTRL_REG").contains("ConfigureDacOut 5:4 1 I2S_DIN"));
  EXPECT_TRUE(shown().empty());
  EXPECT_EQ(link.writeLog().count(), 0u);  // reads log nothing
}

TEST_F(RegisterMap, AValueOrAFieldTypedInIsWrittenAndReadBackAndMarkedAsChanged) {
  Click(button("Read All"));
  const int dac = rowOf("CHIP_DAC_VOL_REG");
  Edit(registers(), dac, Page::kValueColumn, "6060");
  EXPECT_EQ(chip.read(reg::CHIP_DAC_VOL_REG), 0x6060);
  EXPECT_EQ(valueOf("CHIP_DAC_VOL_REG"), "0x6060");
  EXPECT_EQ(registers()->item(dac, Page::kValueColumn)->toolTip(), "Changed since the last Read All (was 0x3C3C)");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# Write Register \n", "W 0010 6060"}));

  // The read-only ID ignores the write; the view shows what came back, not what was typed.
  Edit(registers(), rowOf("CHIP_ID_REG"), Page::kValueColumn, "0x1234");
  EXPECT_EQ(valueOf("CHIP_ID_REG"), "0xA011");
  EXPECT_TRUE(registers()->item(rowOf("CHIP_ID_REG"), Page::kValueColumn)->toolTip().isEmpty());

  // A field: its bits only, by number or by name.
  link.writeLog().clear();
  fieldsOf("CHIP_CLK_CTRL_REG");
  Edit(fields(), 1, Page::kFieldValueColumn, "3");
  EXPECT_EQ(chip.read(reg::CHIP_CLK_CTRL_REG), 0x000C);
  auto* rate = qobject_cast<QComboBox*>(fields()->cellWidget(1, Page::kMeaningColumn));
  ASSERT_NE(rate, nullptr);
  EXPECT_EQ(rate->currentText(), "96 kHz");
  Choose(rate, "44.1 kHz");
  EXPECT_EQ(chip.read(reg::CHIP_CLK_CTRL_REG), 0x0004);
  // Home, then Down: 32 kHz, then 44.1 kHz.
  EXPECT_EQ(WritesIn(LogLines(link.writeLog())), (Lines{"W 0004 000C", "W 0004 0000", "W 0004 0004"}));

  // What does not fit is refused with the range, and nothing is written.
  link.writeLog().clear();
  Edit(fields(), 1, Page::kFieldValueColumn, "4");
  Edit(registers(), dac, Page::kValueColumn, "10000");
  EXPECT_EQ(shown(), (Lines{"The value of ConfigureSampleRate must be a whole number from 0 to 3.",
                            "The value of CHIP_DAC_VOL_REG must be a hexadecimal number from 0 to FFFF, such as "
                            "0x0123."}));
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(valueOf("CHIP_DAC_VOL_REG"), "0x6060");
}

// A pair of separate bits is one setting: 0 or 1, both bits written, and never "2" taken for
// "power off" (typed 2 used to land in the gap between the bits and clear both).
TEST_F(RegisterMap, APairOfBitsIsShownAndWrittenAsOneSetting) {
  chip.write(reg::CHIP_ANA_POWER_REG, 0x7460);  // the PLL's power switch on, its VCO's off
  Click(button("Read All"));
  const QString pll = QStringLiteral("InitializePllPower 10, 8 ");
  EXPECT_TRUE(fieldsOf("CHIP_ANA_POWER_REG").contains(pll + "mixed"));
  const int row = static_cast<int>(fieldsOf("CHIP_ANA_POWER_REG").indexOf(pll + "mixed"));

  struct Case {
    const char* typed;
    std::uint16_t after;
    const char* shown;
  };
  for (const Case& c : {Case{"1", 0x7560, "1"}, Case{"2", 0x7560, "1"}, Case{"0", 0x7060, "0"}}) {
    Edit(fields(), row, Page::kFieldValueColumn, c.typed);
    EXPECT_EQ(chip.read(reg::CHIP_ANA_POWER_REG), c.after) << c.typed;
    EXPECT_TRUE(fieldsOf("CHIP_ANA_POWER_REG").contains(pll + c.shown)) << c.typed;
  }
  EXPECT_EQ(shown(), (Lines{"The value of InitializePllPower must be a whole number from 0 to 1."}));
  EXPECT_TRUE(fieldsOf("CHIP_ADCDAC_CTRL_REG").contains("WriteDacMute 3, 2 1"));  // both channels muted
}

TEST_F(RegisterMap, ReadsThatBringNothingLeaveTheValuesUnknownAndAreToldOnce) {
  Type(Control<QLineEdit>(sheet.get(), "I2C Address"), "1B");  // no chip answers there
  Choose(Control<QComboBox>(sheet.get(), "Connection Type"), "SPI");
  Choose(Control<QComboBox>(sheet.get(), "Connection Type"), "I2C");
  Click(button("Connect"));
  Click(button("Read All"));
  EXPECT_EQ(valueOf("CHIP_ID_REG"), "unknown");
  EXPECT_EQ(shown(), (Lines{"Read Chip: 53 of 53 register accesses did not reach the chip. The first: no chip "
                            "answering at I2C address 0x1B for the read of register 0x0000.",
                            "Read All: 53 of 53 register accesses did not reach the chip. The first: no chip "
                            "answering at I2C address 0x1B for the read of register 0x0000."}));

  messages.clear();
  link.settings().connectionType = "SPI";
  Click(button("Read All"));
  EXPECT_EQ(shown(), (Lines{"Read All: SPI can only write, so no register can be read. Choose I2C or Ethernet to "
                            "read the chip."}));
  EXPECT_EQ(valueOf("CHIP_DAC_VOL_REG"), "unknown");
}

TEST_F(RegisterMap, ASnapshotIsSavedComparedFieldByFieldAndItsDifferencesWrittenBack) {
  files.saveAnswer = temp.filePath("good.txt");
  Click(button("Save Snapshot"));
  EXPECT_EQ(shown(), (Lines{"Press Read All first: a snapshot saves what Read All found."}));
  Click(button("Read All"));
  Click(button("Save Snapshot"));
  QFile saved(*files.saveAnswer);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().startsWith("# KRVL7300 snapshot, "));

  chip.write(reg::CHIP_CLK_CTRL_REG, 0x0004);
  chip.write(reg::DAP_COEF_WR_B0_MSB_REG, 0x4000);  // a coefficient: compared, never written back
  files.openAnswer = files.saveAnswer;
  Click(button("Compare with Snapshot"));
  const int clock = rowOf("CHIP_CLK_CTRL_REG");
  EXPECT_EQ(registers()->item(clock, Page::kSnapshotColumn)->text(), "0x0008");
  EXPECT_NE(registers()->item(clock, Page::kValueColumn)->background(),
            registers()->item(rowOf("CHIP_DAC_VOL_REG"), Page::kValueColumn)->background());
  fieldsOf("CHIP_CLK_CTRL_REG");
  EXPECT_EQ(fields()->item(1, Page::kFieldSnapshotColumn)->text(), "2");
  EXPECT_TRUE(button("Write Differences")->isEnabled());

  link.writeLog().clear();
  Click(button("Write Differences"));
  EXPECT_EQ(chip.read(reg::CHIP_CLK_CTRL_REG), 0x0008);
  EXPECT_EQ(chip.read(reg::DAP_COEF_WR_B0_MSB_REG), 0x4000);
  // The DAC muted around the restore (it powers up muted, so both writes keep 0x020C).
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# Write the differences from snapshot good.txt\n",
                                              "W 000E 020C", "W 0004 0008", "W 000E 020C"}));
  // Only the coefficient still differs, and it is not one to write back.
  EXPECT_EQ(registers()->item(clock, Page::kValueColumn)->text(), "0x0008");
  EXPECT_EQ(shown().size(), 1u);
}

// A comparison needs the chip as it is now: after a Read All that SPI refuses or that reaches
// no chip there is nothing to compare, and Write Differences must not write every register.
TEST_F(RegisterMap, NoComparisonWithoutAWholeReadingOfTheChip) {
  files.saveAnswer = temp.filePath("good.txt");
  files.openAnswer = files.saveAnswer;
  Click(button("Read All"));
  Click(button("Save Snapshot"));
  chip.write(reg::CHIP_CLK_CTRL_REG, 0x0004);
  Click(button("Compare with Snapshot"));
  ASSERT_TRUE(button("Write Differences")->isEnabled());

  for (const char* type : {"SPI", "I2C"}) {
    Type(Control<QLineEdit>(sheet.get(), "I2C Address"), "1B");  // no chip answers there
    Choose(Control<QComboBox>(sheet.get(), "Connection Type"), type);
    Click(button("Connect"));
    messages.clear();
    Click(button("Compare with Snapshot"));
    EXPECT_EQ(shown().size(), 1u) << type;  // why nothing could be read
    EXPECT_FALSE(button("Write Differences")->isEnabled()) << type;
    EXPECT_TRUE(registers()->isColumnHidden(Page::kSnapshotColumn)) << type;
  }
  link.writeLog().clear();
  Click(button("Write Differences"));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

}  // namespace
}  // namespace tonvisor::testing
