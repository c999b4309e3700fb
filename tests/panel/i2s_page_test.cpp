#include <gtest/gtest.h>

#include "codec/register_map.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct I2sPageTest : PanelTest {
  explicit I2sPageTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    showPage(MainSheet::Tab::I2s);
  }
};
struct RecordedI2sPage : I2sPageTest {
  RecordedI2sPage() : I2sPageTest(false) {}
};

std::string FromPage(const std::string& text) { return "Tonvisor | I2sPage | " + text; }

TEST_F(I2sPageTest, OpensOnEachListsFirstItemWritingNothingAndEachChoiceSetsItsField) {
  const std::pair<const char*, QStringList> lists[] = {
      {"I2S0_SCLK Freq", {"64Fs", "32Fs"}},
      {"SCLK_INV To Data", {"On rising edge", "On falling edge"}},
      {"I2S0_DLen", {"32 bits", "24 bits", "20 bits", "16 bits"}},
      {"I2S0_MODE", {"I2S or Left Justified", "Right Justified", "DSP Mode A/B"}},
      {"I2S0_LRAlign To Data", {"Delay By 1 Bit Clk", "No delay"}},
      {"I2S0_LRPol To Data", {"Left Channel", "Right Channel"}},
  };
  for (const auto& [name, items] : lists) {
    QStringList shownItems;
    for (int i = 0; i < list(name)->count(); ++i) shownItems << list(name)->itemText(i);
    EXPECT_EQ(shownItems, items) << name;
    EXPECT_EQ(list(name)->currentIndex(), 0) << name;
  }
  EXPECT_EQ(link.writeLog().count(), 0u);

  chip.write(reg::CHIP_I2S0_CTRL_REG, 0x0080);  // the clock role stays as it is
  Pick(list("I2S0_DLen"), "16 bits");
  Pick(list("I2S0_MODE"), "DSP Mode A/B");
  Pick(list("I2S0_LRAlign To Data"), "No delay");
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# Configure I2S0 DLen\n", "W 0006 00B0",       //
                                              "   \n", "# Configure I2S0 Mode\n", "W 0006 00B8",       //
                                              "   \n", "# Configure I2S0 LRAlign\n", "W 0006 00BA"}));
  Pick(list("I2S0_SCLK Freq"), "32Fs");
  Pick(list("SCLK_INV To Data"), "On falling edge");
  Pick(list("I2S0_LRPol To Data"), "Right Channel");
  EXPECT_EQ(chip.read(reg::CHIP_I2S0_CTRL_REG), 0x01FB);
  Pick(list("I2S0_MODE"), "I2S or Left Justified");
  Pick(list("I2S0_DLen"), "24 bits");
  EXPECT_EQ(chip.read(reg::CHIP_I2S0_CTRL_REG), 0x01D3);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedI2sPage, AWriteTheChipRefusesShowsTheListsOwnMessageAndKeepsTheChoice) {
  bridge.setResult("i2c.write", 4);
  const std::pair<const char*, const char*> choices[] = {
      {"I2S0_SCLK Freq", "32Fs"},       {"SCLK_INV To Data", "On falling edge"},
      {"I2S0_DLen", "20 bits"},         {"I2S0_MODE", "Right Justified"},
      {"I2S0_LRAlign To Data", "No delay"}, {"I2S0_LRPol To Data", "Right Channel"},
  };
  for (const auto& [name, item] : choices) Pick(list(name), item);
  EXPECT_EQ(shown(), (Lines{FromPage(" Set I2S0 SCLK Freq Failed "), FromPage(" Set I2S0 SCLK INV Failed "),
                            FromPage(" Set I2S0 DLen Failed "), FromPage(" Set I2S0 Mode Failed "),
                            FromPage(" Set I2S0 LRALIGN Failed "), FromPage(" Set I2S0 LRPol Failed ")}));
  EXPECT_EQ(list("I2S0_DLen")->currentText(), "20 bits");
}

TEST_F(RecordedI2sPage, OverSpiAndEthernetOnlyTheLinkSpeaks) {
  Choose(list("Connection Type"), "SPI");
  showPage(MainSheet::Tab::I2s);
  Pick(list("I2S0_MODE"), "Right Justified");
  Choose(list("Connection Type"), "Ethernet");  // no board at the address
  Pick(list("I2S0_MODE"), "DSP Mode A/B");
  EXPECT_EQ(shown(), (Lines{"Error | none |  Modify Register Not Supported",
                            "Tonvisor | main window | Connecting to socket Failed"}));
  EXPECT_EQ(WritesIn(LogLines(link.writeLog()), false),
            (Lines{"   \n", "# Configure I2S0 Mode\n", "   \n", "# Configure I2S0 Mode\n"}));
}

}  // namespace
}  // namespace tonvisor::testing
