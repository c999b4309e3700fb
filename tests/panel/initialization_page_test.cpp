#include <gtest/gtest.h>

#include <algorithm>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "codec/register_map.h"
#include "panel/initialization_page.h"
#include "panel_harness.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "support/recording_bridge.h"
#include "support/write_log_text.h"
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

// The page's controls by their captions.
struct Page {
  explicit Page(MainSheet& sheet) : page(sheet.initializationPage()) {}
  QComboBox* connectionType() const { return Control<QComboBox>(page, "Connection Type"); }
  QLineEdit* i2cAddress() const { return Control<QLineEdit>(page, "I2C Address"); }
  QLineEdit* ethernetAddress() const { return Control<QLineEdit>(page, "Ethernet Address"); }
  QLineEdit* port() const { return Control<QLineEdit>(page, "Port"); }
  QLabel* spiNote() const { return Control<QLabel>(page, "SPI note"); }
  QPushButton* connect() const { return Control<QPushButton>(page, "Connect"); }
  QPushButton* chipInitialize() const { return Control<QPushButton>(page, "Chip Initialize"); }
  QComboBox* sysMclk() const { return Control<QComboBox>(page, "SYS_MCLK"); }
  QComboBox* sampleRate() const { return Control<QComboBox>(page, "System Sample Rate"); }
  QLineEdit* extMclk() const { return Control<QLineEdit>(page, "Ext MCLK Rate (MHz)"); }
  QComboBox* i2sClockRole() const { return Control<QComboBox>(page, "I2S Clock - Master/Slave"); }
  QPushButton* configClock() const { return Control<QPushButton>(page, "Config Clock"); }
  // A caption of the page, shown or hidden with its field.
  QLabel* label(const QString& text) const {
    for (QLabel* l : page->findChildren<QLabel*>()) {
      if (l->text() == text) return l;
    }
    ADD_FAILURE() << "no label " << text.toStdString();
    return nullptr;
  }

  InitializationPage* page;
};

struct RecordedPanel : ::testing::Test {
  RecordingBridge bridge;
  testing::PanelHarness panel{bridge};
  MainSheet& sheet = panel.show();
  Page page{sheet};

  Message pageMessage(const std::string& text) const { return {text, "Tonvisor", OwnerOf(page.page)}; }
};

struct SimulatedPanel : ::testing::Test {
  ChipModel chip;
  SimulatedBridge bridge{chip};
  testing::PanelHarness panel{bridge};
  MainSheet& sheet = panel.show();
  Page page{sheet};
};

TEST_F(RecordedPanel, EachLinkShowsItsOwnFields) {
  // I2C, as the page opens.
  EXPECT_FALSE(page.i2cAddress()->isReadOnly());
  for (QWidget* hidden : std::initializer_list<QWidget*>{page.ethernetAddress(), page.label("Ethernet Address"),
                                                         page.port(), page.label("Port"), page.spiNote()}) {
    EXPECT_FALSE(hidden->isVisible()) << hidden->accessibleName().toStdString();
  }

  Choose(page.connectionType(), "SPI");
  EXPECT_EQ(panel.link.settings().connectionType, "SPI");
  EXPECT_TRUE(page.spiNote()->isVisible());
  EXPECT_EQ(page.spiNote()->text(), "This software allows use of SPI only for direct register write and to run scripts");
  EXPECT_TRUE(page.i2cAddress()->isReadOnly());
  EXPECT_TRUE(page.label("I2C Address")->isVisible());
  EXPECT_FALSE(page.ethernetAddress()->isVisible());
  EXPECT_FALSE(page.port()->isVisible());

  Choose(page.connectionType(), "Ethernet");
  EXPECT_EQ(panel.link.settings().connectionType, "Ethernet");
  EXPECT_FALSE(page.spiNote()->isVisible());
  EXPECT_TRUE(page.i2cAddress()->isReadOnly());
  for (QWidget* shown : std::initializer_list<QWidget*>{page.ethernetAddress(), page.label("Ethernet Address"),
                                                        page.port(), page.label("Port")}) {
    EXPECT_TRUE(shown->isVisible()) << shown->accessibleName().toStdString();
  }
  EXPECT_EQ(page.port()->text(), "30");

  Choose(page.connectionType(), "I2C");
  EXPECT_FALSE(page.i2cAddress()->isReadOnly());
  EXPECT_FALSE(page.port()->isVisible());
}

TEST_F(RecordedPanel, ConnectOpensI2cAtTheTypedHexAddressAndWaitsForANewChoice) {
  for (const char* text : {"0x1A", "1a", "1A"}) {
    bridge.calls.clear();
    panel.link.settings().i2cAddress = 0x0A;
    Type(page.i2cAddress(), text);
    Click(page.connect());
    EXPECT_EQ(bridge.calls, (Lines{"i2c.open", "i2c.initDevice 17 59", "i2c.completeSetup 17 1"})) << text;
    EXPECT_EQ(panel.link.settings().i2cAddress, 0x1A) << text;
    EXPECT_FALSE(page.connect()->isEnabled()) << text;
    // Only choosing a link again enables Connect.
    Choose(page.connectionType(), "SPI");
    EXPECT_TRUE(page.connect()->isEnabled());
    Choose(page.connectionType(), "I2C");
  }
  EXPECT_TRUE(panel.messages.messages.empty());
}

TEST_F(RecordedPanel, ConnectEmptiesTheLogAndRefusesAnI2cAddressWithoutAHexDigit) {
  for (const char* text : {"zz", "", "  ", "0x"}) {
    panel.link.writeLog().appendComment("# before\n");
    panel.messages.clear();
    bridge.calls.clear();
    Type(page.i2cAddress(), text);
    Click(page.connect());
    EXPECT_EQ(panel.link.writeLog().count(), 0u) << text;
    if (std::string(text) == "0x") {
      // "0x" still holds the digit 0: that is device address 0, opened as typed.
      EXPECT_EQ(bridge.calls.size(), 3u);
      EXPECT_FALSE(page.connect()->isEnabled());
      Choose(page.connectionType(), "SPI");
      Choose(page.connectionType(), "I2C");
      continue;
    }
    EXPECT_EQ(testing::ShownAll(panel.messages.messages),
              testing::ShownAll(std::vector<Message>{pageMessage("The I2C Address must be a hexadecimal number, such as A or 0x0A.")}))
        << text;
    EXPECT_TRUE(bridge.calls.empty()) << text;
    EXPECT_TRUE(page.connect()->isEnabled()) << text;
    EXPECT_EQ(panel.link.settings().i2cAddress, 0x0A) << text;
  }
}

TEST_F(RecordedPanel, AChannelThatDoesNotOpenIsReportedAndConnectStaysEnabled) {
  bridge.setResult("i2c.open", 1);
  bridge.setResult("spi.initDevice", 1);
  panel.link.writeLog().appendComment("# before\n");
  Click(page.connect());
  EXPECT_EQ(panel.link.writeLog().count(), 0u);  // emptied though the press failed
  EXPECT_TRUE(page.connect()->isEnabled());

  Choose(page.connectionType(), "SPI");
  Click(page.connect());
  EXPECT_TRUE(page.connect()->isEnabled());
  EXPECT_EQ(testing::ShownAll(panel.messages.messages),
            testing::ShownAll(std::vector<Message>{pageMessage("I2C Initialization Error"), pageMessage("SPI Initialization Error")}));

  bridge.setResult("spi.initDevice", 0);
  bridge.calls.clear();
  Click(page.connect());
  EXPECT_FALSE(page.connect()->isEnabled());
  EXPECT_EQ(bridge.calls.front(), "spi.open");
  EXPECT_EQ(panel.messages.messages.size(), 2u);
}

TEST_F(RecordedPanel, EthernetConnectChecksAddressAndPortAndOpensNothing) {
  Choose(page.connectionType(), "Ethernet");
  LinkSettings& settings = panel.link.settings();

  Click(page.connect());  // blank address, port 30
  EXPECT_EQ(settings.ethernetAddress, "0.0.0.0");
  EXPECT_EQ(testing::Shown(panel.messages.messages.back()), testing::Shown(pageMessage(" Invalid IP Address ")));

  // The field takes only numbers of 0 to 255: the third digit of "300" is refused.
  Type(page.ethernetAddress(), "300.1");
  Type(page.port(), "0");
  Click(page.connect());
  EXPECT_EQ(settings.ethernetAddress, "30.1.0.0");
  EXPECT_EQ(settings.ethernetPort, 0u);
  EXPECT_EQ(testing::Shown(panel.messages.messages.back()), testing::Shown(pageMessage(" Invalid Socket ")));
  EXPECT_TRUE(page.connect()->isEnabled());

  for (const char* port : {"70000", "3x", "", "-1"}) {
    panel.messages.clear();
    Type(page.port(), port);
    Click(page.connect());
    EXPECT_EQ(panel.messages.texts(), (Lines{"The Port must be a whole number from 0 to 65535."})) << port;
    EXPECT_EQ(settings.ethernetPort, 0u) << port;
    EXPECT_TRUE(page.connect()->isEnabled());
  }

  panel.messages.clear();
  Type(page.ethernetAddress(), "127.0.0.20");
  Type(page.port(), "5000");
  Click(page.connect());
  EXPECT_TRUE(panel.messages.messages.empty());
  EXPECT_FALSE(page.connect()->isEnabled());
  EXPECT_EQ(settings.ethernetAddress, "127.0.0.20");
  EXPECT_EQ(settings.ethernetPort, 5000u);
  EXPECT_TRUE(bridge.calls.empty());
}

TEST_F(SimulatedPanel, ChipInitializeRunsItsScriptOnceAndOnlyOnce) {
  panel.context.initScriptPath = QString::fromStdString(testing::WriteTextFile(
      "init.txt", "# power up\nWrite CHIP_ANA_POWER_REG 0x4260\nWrite 0x0024 0120\n"));
  panel.show();
  Page fresh(*panel.sheet);
  Click(fresh.connect());
  Click(fresh.chipInitialize());
  const Lines expected{"   \n", "# power up\n", "W 0030 4260", "W 0024 0120"};
  EXPECT_EQ(LogLines(panel.link.writeLog()), expected);
  EXPECT_EQ(chip.read(reg::CHIP_ANA_POWER_REG), 0x4260);
  EXPECT_FALSE(fresh.chipInitialize()->isEnabled());
  Click(fresh.chipInitialize());
  EXPECT_EQ(LogLines(panel.link.writeLog()), expected);
  EXPECT_TRUE(panel.messages.messages.empty());
}

TEST_F(SimulatedPanel, ChipInitializeWithoutItsScriptSaysSoUnownedAndIsStillSpent) {
  EXPECT_EQ(panel.context.initScriptPath, "c:\\KRVL7300_CA1_Init_Script.txt");
  Click(page.chipInitialize());
  EXPECT_EQ(testing::ShownAll(panel.messages.messages), testing::ShownAll(std::vector<Message>{{"File Does Not Exist", "Tonvisor", Owner::none()}}));
  EXPECT_FALSE(page.chipInitialize()->isEnabled());
  EXPECT_EQ(panel.link.writeLog().count(), 0u);
}

TEST_F(RecordedPanel, ConfigClockOverI2cMutesProgramsSetsTheRolePinsAndUnmutes) {
  Click(page.connect());
  bridge.calls.clear();
  Click(page.configClock());  // 256xFs, 48 kHz, Master

  EXPECT_EQ(LogLines(panel.link.writeLog()),
            (Lines{"   \n", "# Write DAC mute/unmute\n", "W 000E 000C",            //
                   "   \n", "# Configure SYS MCLK\n", "W 0004 0000",               //
                   "   \n", "# Configure sample rate\n", "W 0004 0008",            //
                   "   \n", "# Configure I2S Master/slave\n", "W 0006 0080",       //
                   "   \n", "# Write DAC mute/unmute\n", "W 000E 0000"}));
  EXPECT_EQ(panel.state.systemSampleRate, 48000.0);

  // Pin 0 low, then pin 1 high, between the sample rate and the I2S role.
  std::vector<std::size_t> pinWrites;
  std::size_t rateWrite = 0, roleWrite = 0;
  for (std::size_t i = 0; i < bridge.calls.size(); ++i) {
    const std::string& call = bridge.calls[i];
    if (call.starts_with("busB.write")) pinWrites.push_back(i);
    if (call.starts_with("i2c.write 17 [14 00 04]") && call.find("[00 08]") != std::string::npos) rateWrite = i;
    if (call.starts_with("i2c.write 17 [14 00 06]")) roleWrite = i;
  }
  ASSERT_EQ(pinWrites.size(), 2u);
  EXPECT_EQ(bridge.calls[pinWrites[0]], "busB.write 51 [00] 1");
  EXPECT_EQ(bridge.calls[pinWrites[1]], "busB.write 51 [02] 1");
  EXPECT_LT(rateWrite, pinWrites[0]);
  EXPECT_LT(pinWrites[1], roleWrite);

  // Slave: pin 0 high, then pin 1 low.
  bridge.calls.clear();
  Choose(page.i2sClockRole(), "Slave");
  Click(page.configClock());
  EXPECT_EQ(bridge.callsTo("busB.write"), (Lines{"busB.write 51 [03] 1", "busB.write 51 [01] 1"}));
}

TEST_F(SimulatedPanel, ConfigClockWithThePllProgramsTheWorkedDivisors) {
  struct Row {
    const char* extMclk;
    const char* rate;
    bool halved;
    int integer;
    int fraction;
  };
  const Row rows[] = {
      {"12.288", "48 kHz", false, 16, 0},     {"12.288", "44.1 kHz", false, 14, 1433},
      {"11.2896", "44.1 kHz", false, 16, 0},  {"12", "48 kHz", false, 16, 786},
      {"24", "44.1 kHz", true, 15, 108},      {"24.576", "44.1 kHz", true, 14, 1433},
      {"17", "48 kHz", false, 11, 1157},      {"18.432", "44.1 kHz", true, 19, 1228},
      {"17.5", "32 kHz", true, 22, 961},  // 8.75 MHz after halving
  };
  Click(page.connect());
  Choose(page.sysMclk(), "PLL");
  for (const Row& row : rows) {
    Type(page.extMclk(), row.extMclk);
    Choose(page.sampleRate(), row.rate);
    Click(page.configClock());
    const std::string name = std::string(row.extMclk) + " at " + row.rate;
    EXPECT_EQ(chip.read(reg::CHIP_PLL_CTRL_REG), (row.integer << 11) | row.fraction) << name;
    EXPECT_EQ((chip.read(reg::CHIP_CLK_TOP_CTRL_REG) >> 3) & 1, row.halved ? 1 : 0) << name;
    EXPECT_EQ(chip.read(reg::CHIP_CLK_CTRL_REG) & 0x3, 3) << name;
    EXPECT_EQ(chip.read(reg::CHIP_ANA_POWER_REG) & 0x0500, 0x0500) << name;
    EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG) & 0x000C, 0) << name;  // unmuted again
  }
  EXPECT_EQ(panel.state.systemSampleRate, 32000.0);
  EXPECT_TRUE(panel.messages.messages.empty());
}

TEST_F(RecordedPanel, AnExtMclkThatIsNoPositiveNumberStopsThePllBeforeAnyWrite) {
  Click(page.connect());
  Choose(page.sysMclk(), "PLL");
  for (const char* text : {"", "abc", "0", "-12.288", "1e-50", "1e-30", "inf", "nan", "--5"}) {
    bridge.calls.clear();
    panel.messages.clear();
    Type(page.extMclk(), text);
    Click(page.configClock());
    EXPECT_EQ(testing::ShownAll(panel.messages.messages),
              testing::ShownAll(std::vector<Message>{pageMessage("The Ext MCLK Rate (MHz) must be a positive number, such as 12.288.")}))
        << text;
    EXPECT_TRUE(bridge.calls.empty()) << text;
    EXPECT_EQ(panel.link.writeLog().count(), 0u) << text;
  }
  EXPECT_EQ(panel.state.systemSampleRate, 0.0);

  // Read as "%f" reads: the number that starts the text counts.
  panel.messages.clear();
  Type(page.extMclk(), " 12.288MHz");
  Click(page.configClock());
  EXPECT_TRUE(panel.messages.messages.empty());
  const Lines log = LogLines(panel.link.writeLog());
  EXPECT_NE(std::find(log.begin(), log.end(), "W 0032 8000"), log.end());  // 16 << 11

  // Without the PLL the clock text is not used at all.
  panel.messages.clear();
  Type(page.extMclk(), "abc");
  Choose(page.sysMclk(), "512xFs");
  Click(page.configClock());
  EXPECT_TRUE(panel.messages.messages.empty());
}

TEST_F(RecordedPanel, ConfigClockOverSpiLeavesTheRolePinsAlone) {
  Choose(page.connectionType(), "SPI");
  Click(page.connect());
  Choose(page.i2sClockRole(), "Slave");
  Choose(page.sysMclk(), "PLL");
  bridge.calls.clear();
  Click(page.configClock());
  // Only the chip-select pin goes low before each SPI write; pins 0 and 1 stay as they were.
  for (const std::string& call : bridge.callsTo("busB.write")) EXPECT_EQ(call, "busB.write 51 [00] 1");
  // SPI cannot modify: the one full write is the PLL divisor (16 << 11 for 12.288 MHz at
  // 48 kHz); each of the seven field changes is refused with its message.
  EXPECT_EQ(bridge.callsTo("spi.write").size(), 1u);
  const Lines log = LogLines(panel.link.writeLog());
  EXPECT_EQ(std::count(log.begin(), log.end(), "W 0032 8000"), 1);
  const Lines texts = panel.messages.texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), " Modify Register Not Supported"), 7);
  EXPECT_EQ(texts.size(), 7u);
}

TEST(EthernetPanel, ConfigClockWithThePllOverEthernetRunsTheSameEveryPressAndNeverTouchesThePins) {
  ChipModel chip;
  BoardServer board(chip);
  ASSERT_FALSE(board.start());
  RecordingBridge bridge;
  testing::PanelHarness panel(bridge);
  Page page(panel.show());

  Choose(page.connectionType(), "Ethernet");
  Type(page.ethernetAddress(), "127.0.0.1");
  Type(page.port(), QString::number(board.port()));
  Click(page.connect());
  ASSERT_FALSE(page.connect()->isEnabled());
  Choose(page.sysMclk(), "PLL");
  Choose(page.sampleRate(), "44.1 kHz");
  Choose(page.i2sClockRole(), "Slave");

  const Lines expected{"   \n", "# Write DAC mute/unmute\n",      "W 000E 000C",  //
                       "   \n", "# Initializing PLL Power\n",     "W 0030 0500",  //
                       "   \n", "# Configure SYS_MCLK div2\n",    "W 0034 0000",  //
                       "   \n", "# Configure PLL divisor\n",      "W 0032 7599",  // 14 << 11 | 1433
                       "   \n", "# Configure SYS MCLK\n",         "W 0004 0003",  //
                       "   \n", "# Configure sample rate\n",      "W 0004 0007",  //
                       "   \n", "# Configure I2S Master/slave\n", "W 0006 0000",  //
                       "   \n", "# Write DAC mute/unmute\n",      "W 000E 0000"};
  Click(page.configClock());
  EXPECT_EQ(LogLines(panel.link.writeLog()), expected);
  // A later press makes the same calls in the same order (the chip's registers now start
  // from what the first press left, so some values differ).
  const auto comments = [](const Lines& lines) {
    Lines kept;
    for (const std::string& line : lines) {
      if (!line.starts_with("W ")) kept.push_back(line);
    }
    return kept;
  };
  panel.link.writeLog().clear();
  Click(page.configClock());
  EXPECT_EQ(comments(LogLines(panel.link.writeLog())), comments(expected));
  EXPECT_EQ(chip.read(reg::CHIP_PLL_CTRL_REG), 0x7599);
  EXPECT_EQ(panel.state.systemSampleRate, 44100.0);
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_TRUE(panel.messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor
