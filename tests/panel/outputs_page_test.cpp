#include <gtest/gtest.h>

#include <cstdio>

#include "codec/register_map.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct OutputsPageTest : PanelTest {
  explicit OutputsPageTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    forgetChip();
    showPage(MainSheet::Tab::Outputs);
  }
  Lines log() { return LogLines(link.writeLog()); }
  // Moves a slider with keys (which acts on nothing) and then lets go of it with the mouse.
  void releaseAt(const QString& name, int position) {
    QSlider* moved = slider(name);
    QTest::keyClick(moved, Qt::Key_Home);
    for (int p = 0; p < position; ++p) QTest::keyClick(moved, Qt::Key_Right);
    ClickHandle(moved);
  }
  std::uint16_t hp() const { return chip.read(reg::CHIP_ANA_HP_CTRL_REG); }
  bool hpMuted() const { return (chip.read(reg::CHIP_ANA_CTRL_REG) & 0x0010) != 0; }
};
struct RecordedOutputsPage : OutputsPageTest {
  RecordedOutputsPage() : OutputsPageTest(false) {}
};

std::string FromPage(const std::string& text) { return "Tonvisor | OutputsPage | " + text; }

TEST_F(OutputsPageTest, OpensAtZeroDbWithTheHiddenRightVolumeNowhereAndWritesNothing) {
  EXPECT_EQ(slider("DAC Volume")->maximum(), 191);
  EXPECT_EQ(slider("DAC Volume")->value(), 191);
  EXPECT_EQ(valueOf("DAC Volume"), " 0dB ");
  EXPECT_EQ(slider("Volume")->maximum(), 127);
  EXPECT_EQ(slider("Volume")->value(), 103);
  EXPECT_EQ(valueOf("Volume"), " 0dB");
  for (const char* name : {"Mute", "HP Mute", "Enable ZCD", "LO Mute"}) EXPECT_FALSE(check(name)->isChecked()) << name;
  // One volume slider for both headphone channels, and no box for independent channels.
  EXPECT_EQ(sheet->page(MainSheet::Tab::Outputs)->findChildren<QSlider*>().size(), 2);
  for (QCheckBox* box : sheet->findChildren<QCheckBox*>()) EXPECT_FALSE(box->text().contains("INDEPENDENT"));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(OutputsPageTest, TheDacSliderShowsAndPassesHalfDecibelStepsOf0_5017) {
  const std::tuple<int, const char*, const char*> releases[] = {
      {191, "0.0dB", "W 0010 3C3C"}, {190, "-0.5dB", "W 0010 3D3D"}, {0, "-95.8dB", "W 0010 FBFB"},
      {16, "-87.8dB", "W 0010 EAEA"}};  // -87.7975 dB truncates to code 234
  for (const auto& [position, label, write] : releases) {
    link.writeLog().clear();
    releaseAt("DAC Volume", position);
    EXPECT_EQ(valueOf("DAC Volume"), label);
    EXPECT_EQ(log(), (Lines{"   \n", "# Configure DAC Volume\n", write}));
  }
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(OutputsPageTest, TheHeadphoneSliderRampsToCode127MinusItsPosition) {
  chip.write(reg::CHIP_ANA_HP_CTRL_REG, 0x1818);
  const std::tuple<int, const char*, std::uint16_t> releases[] = {
      {127, "12.0dB", 0x0000}, {0, "-51.5dB", 0x7F7F}, {103, "0.0dB", 0x1818}};
  for (const auto& [position, label, reached] : releases) {
    link.writeLog().clear();
    releaseAt("Volume", position);
    EXPECT_EQ(valueOf("Volume"), label);
    EXPECT_EQ(hp(), reached);
    EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n"}));  // over I2C the steps stay out of the log
  }
  // Let go where it already is: the same ramp, which has nothing left to do.
  link.writeLog().clear();
  ClickHandle(slider("Volume"));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(OutputsPageTest, HpMuteRampsDownAndBackAndTheBoxesSetTheirBits) {
  chip.write(reg::CHIP_ANA_HP_CTRL_REG, 0x1818);
  Click(check("HP Mute"));
  EXPECT_EQ(hp(), 0x7F7F);
  EXPECT_TRUE(hpMuted());
  Click(check("HP Mute"));
  EXPECT_EQ(hp(), 0x1818);
  EXPECT_FALSE(hpMuted());

  link.writeLog().clear();
  Click(check("Mute"));
  Click(check("Enable ZCD"));
  Click(check("LO Mute"));
  EXPECT_EQ(log(), (Lines{"   \n", "# Write DAC mute/unmute\n", "W 000E 000C",          //
                          "   \n", "# Writing HP ZCD Enable/Disable\n", "W 0024 0020",  //
                          "   \n", "# Writing LO Mute/ Unmute\n", "W 0024 0120"}));
  EXPECT_TRUE(messages.messages.empty());
}

// Mend: a volume chosen while muted used to be lost at the unmute, which ramped back to the
// volume saved at the mute.
TEST_F(OutputsPageTest, AVolumeChosenWhileMutedIsTheOneTheUnmuteComesBackTo) {
  chip.write(reg::CHIP_ANA_HP_CTRL_REG, 0x1818);
  Click(check("HP Mute"));
  releaseAt("Volume", 127 - 0x30);
  EXPECT_EQ(valueOf("Volume"), "-12.0dB");
  EXPECT_EQ(hp(), 0x3030);  // the ramp happens, as it always has
  EXPECT_TRUE(hpMuted());
  // The unmute brings the volume down to the quietest code while still muted, and only then
  // clears the mute and ramps up: the headphones never come on at the volume chosen.
  link.writeLog().clear();
  Click(check("HP Mute"));
  EXPECT_FALSE(hpMuted());
  EXPECT_EQ(hp(), 0x3030);
  EXPECT_EQ(log(), (Lines{"   \n", "# Ramping HP Volume...\n", "   \n", "# Unmute HP Out\n", "W 0024 0000", "   \n",
                          "# Ramping HP Volume...\n"}));

  // Unmuted, a release changes only the volume; the next mute saves whatever is set then.
  releaseAt("Volume", 127 - 0x20);
  Click(check("HP Mute"));
  Click(check("HP Mute"));
  EXPECT_EQ(hp(), 0x2020);
}

// Mend: Config Clock unmuted the DAC at its end even with the Outputs page's "Mute" checked.
TEST_F(OutputsPageTest, ConfigClockLeavesTheDacMutedWhileTheMuteBoxIsChecked) {
  Click(check("Mute"));
  link.writeLog().clear();
  showPage(MainSheet::Tab::Initialization);
  Click(button("Config Clock"));
  const Lines written = log();
  ASSERT_GE(written.size(), 6u);
  EXPECT_EQ(Lines(written.end() - 6, written.end()), (Lines{"   \n", "# Write DAC mute/unmute\n", "W 000E 0000",  //
                                                            "   \n", "# Write DAC mute/unmute\n", "W 000E 000C"}));
  EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG) & 0x000C, 0x000C);

  showPage(MainSheet::Tab::Outputs);
  Click(check("Mute"));
  showPage(MainSheet::Tab::Initialization);
  Click(button("Config Clock"));
  EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG) & 0x000C, 0x0000);
  EXPECT_EQ(WritesIn(log()).back(), "W 000E 0000");
}

TEST_F(RecordedOutputsPage, OnlyZcdAndLoMuteReportARefusedWriteAndLongWorkEndsWithOneMessage) {
  bridge.setResult("i2c.write", 4);
  releaseAt("DAC Volume", 100);
  Click(check("Mute"));
  Click(check("Enable ZCD"));
  Click(check("LO Mute"));
  // The DAC volume and mute have no message of their own: what failed, in words.
  EXPECT_EQ(shown(), (Lines{FromPage("No chip answering at I2C address 0x0A for the write of register 0x0010."),
                            FromPage("No chip answering at I2C address 0x0A for the read-modify-write of register "
                                     "0x000E."),
                            FromPage("Mute HP ZCD Enable/Disable failed"), FromPage("Mute LO failed")}));
  EXPECT_TRUE(check("LO Mute")->isChecked());

  // The recording bridge reads 0: from code 0 to 127 is 127 steps, each refused.
  messages.clear();
  Click(check("HP Mute"));
  releaseAt("Volume", 100);
  EXPECT_EQ(shown(),
            (Lines{FromPage("HP Mute: 128 of 130 register accesses did not reach the chip. The first: no chip answering "
                            "at I2C address 0x0A for the write of register 0x0022."),
                   FromPage("HP_OUT Analog Volume Control: 27 of 28 register accesses did not reach the chip. The "
                            "first: no chip answering at I2C address 0x0A for the write of register 0x0022.")}));
}

}  // namespace
}  // namespace tonvisor::testing
