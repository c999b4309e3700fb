#include <gtest/gtest.h>

#include <QGroupBox>

#include "codec/register_map.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct InputsPageTest : PanelTest {
  explicit InputsPageTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    forgetChip();
    showPage(MainSheet::Tab::Inputs);
  }
  Lines log() { return LogLines(link.writeLog()); }
};
struct RecordedInputsPage : InputsPageTest {
  RecordedInputsPage() : InputsPageTest(false) {}
};

TEST_F(InputsPageTest, OpensAtZeroWithTheFirstLabelsAndWritesNothing) {
  const std::tuple<const char*, int, const char*> sliders[] = {
      {"Left Volume", 15, "0dB"}, {"Right Volume", 15, "0dB"}, {"Mic Gain", 3, "0dB"}, {"Mic Bias", 3, "power off"}};
  for (const auto& [name, maximum, label] : sliders) {
    EXPECT_EQ(slider(name)->maximum(), maximum) << name;
    EXPECT_EQ(slider(name)->value(), 0) << name;
    EXPECT_EQ(valueOf(name), label) << name;
  }
  for (const char* name : {"Independent L/R Volume Control", "ADC Mute", "Enable ZCD"}) {
    EXPECT_FALSE(check(name)->isChecked()) << name;
  }
  EXPECT_EQ(Control<QGroupBox>(sheet.get(), "ADC Analog Volume Control ")->title(), "ADC Analog Volume Control ");
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(InputsPageTest, TheVolumesMoveTogetherTheReleasedChannelFirstUnlessIndependent) {
  DragTo(slider("Left Volume"), 15);
  EXPECT_EQ(slider("Right Volume")->value(), 15);
  EXPECT_EQ(valueOf("Left Volume"), "22.5dB");
  EXPECT_EQ(valueOf("Right Volume"), "22.5dB");
  EXPECT_EQ(log(), (Lines{"   \n", "# Write ADC left volume\n", "W 0020 000F",  //
                          "   \n", "# Write ADC right volume\n", "W 0020 00FF"}));

  link.writeLog().clear();
  ClickTrack(slider("Right Volume"), false);  // one tick down: 14
  EXPECT_EQ(valueOf("Left Volume"), "21.0dB");
  EXPECT_EQ(log(), (Lines{"   \n", "# Write ADC right volume\n", "W 0020 00EF",  //
                          "   \n", "# Write ADC left volume\n", "W 0020 00EE"}));

  // Independent: the other slider, its label and its channel stay as they are.
  Click(check("Independent L/R Volume Control"));
  EXPECT_EQ(link.writeLog().count(), 6u);  // the box itself writes nothing
  DragTo(slider("Left Volume"), 0);
  EXPECT_EQ(valueOf("Left Volume"), "0.0dB");
  EXPECT_EQ(slider("Right Volume")->value(), 14);
  EXPECT_EQ(valueOf("Right Volume"), "21.0dB");
  EXPECT_EQ(chip.read(reg::CHIP_ANA_ADC_CTRL_REG), 0x00E0);
}

TEST_F(InputsPageTest, MicSlidersShowTheirTablesAndKeysWaitForTheNextRelease) {
  DragTo(slider("Mic Gain"), 2);
  DragTo(slider("Mic Bias"), 3);
  EXPECT_EQ(valueOf("Mic Gain"), "30dB");
  EXPECT_EQ(valueOf("Mic Bias"), "8Kohm");
  EXPECT_EQ(log(), (Lines{"   \n", "# Write Mic Gain\n", "W 002A 0002",  //
                          "   \n", "# Configure Mic bias\n", "W 002A 0302"}));

  // A key moves the slider only; the next click of the handle acts where it is.
  link.writeLog().clear();
  QTest::keyClick(slider("Mic Gain"), Qt::Key_Left);
  EXPECT_EQ(valueOf("Mic Gain"), "30dB");
  EXPECT_EQ(link.writeLog().count(), 0u);
  ClickHandle(slider("Mic Gain"));
  ClickHandle(slider("Mic Gain"));
  EXPECT_EQ(valueOf("Mic Gain"), "20dB");
  EXPECT_EQ(WritesIn(log()), (Lines{"W 002A 0301", "W 002A 0301"}));
}

TEST_F(RecordedInputsPage, OnlyTheMuteAndZcdBoxesReportARefusedWriteAndTheyStayChecked) {
  bridge.setResult("i2c.write", 4);
  DragTo(slider("Left Volume"), 3);  // the volumes have no message: what failed, in words
  Click(check("ADC Mute"));
  Click(check("Enable ZCD"));
  EXPECT_EQ(shown(), (Lines{"Tonvisor | InputsPage | 2 of 2 register accesses did not reach the chip. The first: no "
                            "chip answering at I2C address 0x0A for the read-modify-write of register 0x0020.",
                            "Tonvisor | InputsPage | Mute ADC failed",
                            "Tonvisor | InputsPage | Mute ZCD Enable/Disable failed"}));
  EXPECT_TRUE(check("ADC Mute")->isChecked());
  EXPECT_TRUE(check("Enable ZCD")->isChecked());

  bridge.setResult("i2c.write", 0);
  messages.clear();
  link.writeLog().clear();
  Click(check("ADC Mute"));
  Click(check("Enable ZCD"));
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing ADC Mute/ Unmute\n", "W 0024 0000",  //
                          "   \n", "# Writing ZCD Enable/Disable\n", "W 0024 0000"}));
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor::testing
