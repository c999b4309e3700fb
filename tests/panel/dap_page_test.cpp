#include <gtest/gtest.h>

#include "codec/register_map.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct DapPageTest : PanelTest {
  explicit DapPageTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    forgetChip();
    link.writeLog().clear();
  }
  Lines log() { return LogLines(link.writeLog()); }
  QTabWidget* processor() const {
    return static_cast<DigitalAudioProcessingPage*>(sheet->page(MainSheet::Tab::DigitalAudioProcessing))->sheet();
  }
};
struct RecordedDapPage : DapPageTest {
  RecordedDapPage() : DapPageTest(false) {}
};

std::string FromPage(const std::string& page, const std::string& text) { return "Tonvisor | " + page + " | " + text; }

TEST_F(DapPageTest, TheProcessorsSheetKeepsItsTabAcrossTheMainTabsAndOpeningWritesNothing) {
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  EXPECT_FALSE(check("Enable Digital Audio Processing")->isChecked());
  EXPECT_EQ(TabTexts(processor()),
            (QStringList{"DAP Mixer", "Korvel Surround", "Korvel Bass", "PEQ/GEQ/Tone Control", "AVC"}));
  EXPECT_EQ(processor()->currentIndex(), 0);
  showDapPage("AVC");
  QTabWidget* first = processor();
  showPage(MainSheet::Tab::Outputs);
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  EXPECT_EQ(processor(), first);
  EXPECT_EQ(processor()->currentIndex(), 4);
  EXPECT_TRUE(processor()->currentWidget()->isVisible());
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(DapPageTest, TheSwitchMutesTheDacAroundEachChangeOfTheProcessorsBit) {
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  Click(check("Enable Digital Audio Processing"));
  EXPECT_EQ(chip.read(reg::DAP_CONTROL_REG) & 1, 1);
  Click(check("Enable Digital Audio Processing"));
  EXPECT_EQ(chip.read(reg::DAP_CONTROL_REG) & 1, 0);
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "W 0100 0001", "   \n", "# Write DAC mute/unmute\n", "W 000E 0000",  //
                          "   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "W 0100 0000", "   \n", "# Write DAC mute/unmute\n", "W 000E 0000"}));
  EXPECT_TRUE(messages.messages.empty());
}

// Mend: the switch's closing unmute undid the Outputs page's checked "Mute".
TEST_F(DapPageTest, TheSwitchLeavesTheDacMutedWhileTheOutputsMuteIsChecked) {
  showPage(MainSheet::Tab::Outputs);
  Click(check("Mute"));
  link.writeLog().clear();
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  Click(check("Enable Digital Audio Processing"));
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP enable and disable\n", "   \n", "# Write DAC mute/unmute\n",
                          "W 000E 000C", "W 0100 0001"}));
  EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG) & 0x000C, 0x000C);

  showPage(MainSheet::Tab::Outputs);
  Click(check("Mute"));
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  Click(check("Enable Digital Audio Processing"));
  EXPECT_EQ(chip.read(reg::CHIP_ADCDAC_CTRL_REG) & 0x000C, 0x0000);
  EXPECT_EQ(WritesIn(log()).back(), "W 000E 0000");
}

TEST_F(RecordedDapPage, AFailedSwitchSaysSoOnceAndTheBoxKeepsTheUsersState) {
  bridge.setResult("i2c.write", 4);
  showPage(MainSheet::Tab::DigitalAudioProcessing);
  Click(check("Enable Digital Audio Processing"));
  EXPECT_EQ(shown(), (Lines{FromPage("DigitalAudioProcessingPage", "Enable/Disable DAP failed")}));
  EXPECT_TRUE(check("Enable Digital Audio Processing")->isChecked());
}

TEST_F(DapPageTest, MixerOpensAtUnityFromTheAdcAndItsSlidersWriteTheirGainWhenLetGo) {
  showDapPage("DAP Mixer");
  EXPECT_EQ(slider("DAP Mixer Volume")->value(), 32768);
  EXPECT_EQ(box("DAP Mixer Volume value")->text(), "100%");
  EXPECT_EQ(box("DAP Main Volume value")->text(), "100%");
  EXPECT_EQ(list("Select DAP Mixer Input")->currentText(), "ADC");
  EXPECT_EQ(link.writeLog().count(), 0u);

  // Keys move the slider and write nothing; the mouse's release writes where it stands.
  QTest::keyClick(slider("DAP Mixer Volume"), Qt::Key_End);
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(box("DAP Mixer Volume value")->text(), "100%");
  ClickHandle(slider("DAP Mixer Volume"));
  QTest::keyClick(slider("DAP Main Volume"), Qt::Key_Home);
  ClickHandle(slider("DAP Main Volume"));
  EXPECT_EQ(box("DAP Mixer Volume value")->text(), "200%");
  EXPECT_EQ(box("DAP Main Volume value")->text(), "0%");
  Choose(list("Select DAP Mixer Input"), "I2S_DIN");
  Click(check("Enable DAP Mixer"));
  EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP Mixer Volume\n", "W 0122 FFFF",  //
                          "   \n", "# Writing DAP Main Volume\n", "W 0120 0000",   //
                          "   \n", "# Write DAP Mixer Input\n", "W 000A 0100",     //
                          "   \n", "# Write DAP Mixer enable and disable\n", "W 0100 0010"}));
}

TEST_F(DapPageTest, MixerReturnWritesTheMainVolumeThenTheMixersFromTheTypedPercentages) {
  showDapPage("DAP Mixer");
  const std::tuple<const char*, const char*, const char*, const char*> typed[] = {
      {"200", "50", "W 0120 FFFF", "W 0122 4000"},  // 200 % is 65535, not 65536
      {"100%", "33", "W 0120 8000", "W 0122 2A3D"},
      {"", "1e2", "W 0120 0000", "W 0122 8000"},  // no number reads as 0 %
  };
  for (const auto& [main, mixer, mainWrite, mixerWrite] : typed) {
    link.writeLog().clear();
    Type(box("DAP Main Volume value"), main);
    Type(box("DAP Mixer Volume value"), mixer);
    QTest::keyClick(box("DAP Mixer Volume value"), Qt::Key_Return);
    EXPECT_EQ(log(), (Lines{"   \n", "# Writing DAP Main Volume\n", mainWrite,  //
                            "   \n", "# Writing DAP Mixer Volume\n", mixerWrite}));
    EXPECT_EQ(box("DAP Mixer Volume value")->text(), mixer);  // kept as typed
  }
  EXPECT_EQ(slider("DAP Mixer Volume")->value(), 32768);
  // Enter with a list holding the focus, too.
  link.writeLog().clear();
  QTest::keyClick(list("Select DAP Mixer Input"), Qt::Key_Enter);
  EXPECT_EQ(WritesIn(log()), (Lines{"W 0120 0000", "W 0122 8000"}));
}

// Mend: "300" wrote 100 % (its gain wrapped in 16 bits) while the slider showed 200 %, and
// "-10" wrote about 190 %.
TEST_F(DapPageTest, MixerGainsBeyondTheSlidersRangeWriteItsEndsAndTheBoxesShowThem) {
  showDapPage("DAP Mixer");
  Type(box("DAP Main Volume value"), "300");
  Type(box("DAP Mixer Volume value"), "-10%");
  QTest::keyClick(box("DAP Main Volume value"), Qt::Key_Return);
  EXPECT_EQ(WritesIn(log()), (Lines{"W 0120 FFFF", "W 0122 0000"}));
  EXPECT_EQ(box("DAP Main Volume value")->text(), "200%");
  EXPECT_EQ(box("DAP Mixer Volume value")->text(), "0%");
  EXPECT_EQ(slider("DAP Main Volume")->value(), 65535);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedDapPage, MixerSaysWhichWriteFailedAndReturnWhatFailed) {
  showDapPage("DAP Mixer");
  bridge.setResult("i2c.write", 4);
  ClickTrack(slider("DAP Main Volume"), true);
  // 36864 is 112.5 %, which printf rounds to even; shown whatever came of the write.
  EXPECT_EQ(box("DAP Main Volume value")->text(), "112%");
  Choose(list("Select DAP Mixer Input"), "I2S_DIN");
  Click(check("Enable DAP Mixer"));
  QTest::keyClick(box("DAP Main Volume value"), Qt::Key_Return);
  EXPECT_EQ(shown(), (Lines{FromPage("DapMixerPage", "Write DAP Main Volume failed"),
                            FromPage("DapMixerPage", " Set Mixer Input Failed "),
                            FromPage("DapMixerPage", " Enable DAP Mixer Failed"),
                            // Return has no message of its own: what failed, in words.
                            FromPage("DapMixerPage", "2 of 2 register accesses did not reach the chip. The first: no "
                                                     "chip answering at I2C address 0x0A for the write of register "
                                                     "0x0120.")}));
}

}  // namespace
}  // namespace tonvisor::testing
