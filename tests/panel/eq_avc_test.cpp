#include <gtest/gtest.h>

#include <QProgressDialog>
#include <QThread>

#include "codec/register_map.h"
#include "link/user_action.h"
#include "panel_harness.h"
#include "sim/board_server.h"

namespace tonvisor::testing {
namespace {

struct EqAvcTest : PanelTest {
  explicit EqAvcTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    forgetChip();
    link.writeLog().clear();
  }
  Lines log() { return LogLines(link.writeLog()); }
  bool enabled(const QString& band) const {
    return slider(band)->isEnabled() && box(band + " value")->isEnabled() && upDown(band + " up-down")->isEnabled();
  }
  void enter() { QTest::keyClick(list("Select PEQ/GEQ/Tone Control"), Qt::Key_Return); }
};
struct RecordedEqAvc : EqAvcTest {
  RecordedEqAvc() : EqAvcTest(false) {}
};

constexpr const char* kMode = "# Select between PEQ or GEQ or Tone Control\n";
const QStringList kGeqBands = {"GEQ0", "GEQ1", "GEQ2", "GEQ3", "GEQ4"};

TEST_F(EqAvcTest, EqModesEnableTheirOwnControlsAndWriteTheModeField) {
  showDapPage("PEQ/GEQ/Tone Control");
  EXPECT_EQ(list("Select PEQ/GEQ/Tone Control")->currentText(), "Disabled");
  EXPECT_FALSE(list("PEQ Control")->isEnabled());
  for (const QString& band : kGeqBands + QStringList{"Bass", "Treble"}) {
    EXPECT_FALSE(slider(band)->isEnabled() || box(band + " value")->isEnabled()) << band.toStdString();
    EXPECT_EQ(slider(band)->value(), 47);
    EXPECT_EQ(box(band + " value")->text(), "0");
  }
  EXPECT_EQ(link.writeLog().count(), 0u);

  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  EXPECT_TRUE(list("PEQ Control")->isEnabled());
  EXPECT_FALSE(enabled("GEQ0") || enabled("Bass"));
  Pick(list("Select PEQ/GEQ/Tone Control"), "GEQ");
  EXPECT_FALSE(list("PEQ Control")->isEnabled());
  for (const QString& band : kGeqBands) EXPECT_TRUE(enabled(band)) << band.toStdString();
  EXPECT_FALSE(enabled("Bass") || enabled("Treble"));
  Pick(list("Select PEQ/GEQ/Tone Control"), "Tone Control");
  EXPECT_TRUE(enabled("Bass") && enabled("Treble"));
  EXPECT_FALSE(enabled("GEQ0") || enabled("GEQ4"));
  Pick(list("Select PEQ/GEQ/Tone Control"), "Disabled");
  EXPECT_FALSE(enabled("Bass") || enabled("GEQ2") || list("PEQ Control")->isEnabled());
  EXPECT_EQ(log(), Written("# Write Num PEQ Filters\n", {"W 0102 0007"}) +
                       Written(kMode, {"W 0108 0001", "W 0108 0003", "W 0108 0002", "W 0108 0000"}));
}

TEST_F(EqAvcTest, EqPresetLogsItsCommentAndSevenFiltersAheadOfTheCoefficients) {
  showDapPage("PEQ/GEQ/Tone Control");
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  link.writeLog().clear();
  Pick(list("PEQ Control"), "Rock");
  const Lines written = log();
  ASSERT_GE(written.size(), 10u);
  EXPECT_EQ(Lines(written.begin(), written.begin() + 9),
            (Lines{"   \n", "# Load Preset\n", "   \n", "# Write Num PEQ Filters\n", "W 0102 0007", "   \n",
                   "# Write Coeffs for Band 0\n", "W 0110 0005", "W 010E 401E"}));
  const Lines writes = WritesIn(written);
  EXPECT_EQ(writes.size(), 78u);
  EXPECT_EQ(writes.back(), "W 010C 0106");
  EXPECT_EQ(written.back(), "   \n");
  EXPECT_EQ(chip.read(reg::DAP_COEF_WR_A2_MSB_REG), 0xFA2B);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(EqAvcTest, EqBandsWriteAtEveryMoveOfTheirSlidersAndEveryStepOfTheirUpDowns) {
  showDapPage("PEQ/GEQ/Tone Control");
  Pick(list("Select PEQ/GEQ/Tone Control"), "GEQ");
  link.writeLog().clear();
  Click(upDown("GEQ2 up-down")->upButton());
  EXPECT_EQ(slider("GEQ2")->value(), 48);
  EXPECT_EQ(box("GEQ2 value")->text(), "0.25");
  EXPECT_EQ(log(), Written("# Write GEQ2 Volume\n", {"W 011A 0030"}));

  // A drag to the top writes each position it passes and ends at +12 dB.
  link.writeLog().clear();
  QSlider* geq0 = slider("GEQ0");
  const QPoint from = SliderPart(geq0, QStyle::SC_SliderHandle).center();
  const QPoint top(from.x(), SliderPart(geq0, QStyle::SC_SliderGroove).top());
  QTest::mousePress(geq0, Qt::LeftButton, Qt::NoModifier, from);
  for (int step = 1; step <= 4; ++step) QTest::mouseMove(geq0, from + (top - from) * step / 4);
  QTest::mouseRelease(geq0, Qt::LeftButton, Qt::NoModifier, top);
  const Lines dragged = WritesIn(log());
  EXPECT_GE(dragged.size(), 4u);
  EXPECT_EQ(dragged.back(), "W 0116 005F");
  EXPECT_EQ(box("GEQ0 value")->text(), "12");
  EXPECT_EQ(upDown("GEQ0 up-down")->position(), 95);
  // Keys and the wheel write too: to the bottom, then one notch up.
  link.writeLog().clear();
  QTest::keyClick(geq0, Qt::Key_Home);
  EXPECT_EQ(box("GEQ0 value")->text(), "-11.75");
  Wheel(geq0, 1);
  // Every box shows its band's gain; the one moved before keeps its 0.25.
  EXPECT_EQ(box("GEQ2 value")->text(), "0.25");
  geq0->setValue(60);  // by code: nothing
  EXPECT_EQ(log(), Written("# Write GEQ0 Volume\n", {"W 0116 0000", "W 0116 0003"}));
}

TEST_F(EqAvcTest, EqReturnWritesTheTypedGainsOfTheSelectedEqualiserOnly) {
  showDapPage("PEQ/GEQ/Tone Control");
  Type(box("Bass value"), "5");  // the boxes take text while disabled only from code
  box("GEQ0 value")->setText("1.1");
  box("GEQ1 value")->setText("-1.1");
  box("Bass value")->setText("12");
  box("Treble value")->setText("-11.75");
  enter();
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  link.writeLog().clear();
  enter();
  EXPECT_EQ(link.writeLog().count(), 0u);

  Pick(list("Select PEQ/GEQ/Tone Control"), "GEQ");
  link.writeLog().clear();
  enter();
  EXPECT_EQ(WritesIn(log()), (Lines{"W 0116 0034", "W 0118 002B", "W 011A 002F", "W 011C 002F", "W 011E 002F"}));
  EXPECT_EQ(slider("GEQ0")->value(), 52);
  EXPECT_EQ(upDown("GEQ1 up-down")->position(), 43);
  EXPECT_EQ(box("GEQ0 value")->text(), "1.1");  // kept as typed

  Pick(list("Select PEQ/GEQ/Tone Control"), "Tone Control");
  link.writeLog().clear();
  enter();
  EXPECT_EQ(log(), Written("# Write TC/Bass Settings\n", {"W 0116 005F"}) +
                       Written("# Write TC/Treble Settings\n", {"W 011E 0000"}));
}

// Mend: a typed -20 dB wrote +12 dB, the loudest code, once the code wrapped in its 7 bits.
TEST_F(EqAvcTest, EqGainsBeyondTheBandsRangeWriteTheNearerEndAndShowIt) {
  showDapPage("PEQ/GEQ/Tone Control");
  Pick(list("Select PEQ/GEQ/Tone Control"), "GEQ");
  link.writeLog().clear();
  Type(box("GEQ0 value"), "-20");
  Type(box("GEQ4 value"), "1e999");
  enter();
  EXPECT_EQ(WritesIn(log()), (Lines{"W 0116 0000", "W 0118 002F", "W 011A 002F", "W 011C 002F", "W 011E 005F"}));
  EXPECT_EQ(box("GEQ0 value")->text(), "-11.75");
  EXPECT_EQ(box("GEQ4 value")->text(), "12");

  // A box without a number is named and nothing is written.
  link.writeLog().clear();
  Type(box("GEQ3 value"), "0x10");
  enter();
  EXPECT_EQ(shown(), Lines{"Tonvisor | EqPage | The GEQ3 gain must be a number of dB, such as -1.25."});
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(RecordedEqAvc, APresetThatDidNotReachTheChipEndsWithOneMessage) {
  showDapPage("PEQ/GEQ/Tone Control");
  Pick(list("Select PEQ/GEQ/Tone Control"), "PEQ");
  bridge.setResult("i2c.write", 4);
  Pick(list("PEQ Control"), "Dance");
  EXPECT_EQ(shown(), (Lines{"Tonvisor | EqPage | Load Preset: 78 of 78 register accesses did not reach the chip. The "
                            "first: no chip answering at I2C address 0x0A for the write of register 0x0102."}));
}

TEST_F(RecordedEqAvc, EqModeAndBandFailuresUseThePagesOwnTexts) {
  showDapPage("PEQ/GEQ/Tone Control");
  bridge.setResult("i2c.write", 4);
  Pick(list("Select PEQ/GEQ/Tone Control"), "GEQ");
  Click(upDown("GEQ0 up-down")->upButton());
  Pick(list("Select PEQ/GEQ/Tone Control"), "Tone Control");
  Click(upDown("Treble up-down")->downButton());
  enter();  // no message of its own: what failed, in words
  const std::string page = "Tonvisor | EqPage | ";
  EXPECT_EQ(shown(), (Lines{page + " Error Enable EQ Mode", page + " Writing GEQ0 Failed", page + " Error Enable EQ Mode",
                            page + " Writing Treble Failed",
                            page + "2 of 2 register accesses did not reach the chip. The first: no chip answering at "
                                   "I2C address 0x0A for the read-modify-write of register 0x0116."}));
}

// Over Ethernet a preset takes seconds: a window counts the accesses, and is gone at the end.
TEST(EqPreset, OverEthernetAProgressWindowCountsItsAccesses) {
  // 8 ms a write in place of the board's 20: 79 accesses still outlast the half second.
  ProgramOnBoard<RecordingMessenger> program(
      EthernetOptions{.pause = [](std::chrono::milliseconds) { QThread::msleep(8); }});
  MainSheet& sheet = program.sheet;
  DeviceLink& link = program.link;

  auto* processor = static_cast<DigitalAudioProcessingPage*>(sheet.page(MainSheet::Tab::DigitalAudioProcessing));
  sheet.tabs()->setCurrentWidget(processor);
  processor->sheet()->setCurrentIndex(3);
  QWidget* eq = processor->sheet()->currentWidget();
  Pick(Control<QComboBox>(eq, "Select PEQ/GEQ/Tone Control"), "PEQ");
  QString seen;
  std::size_t accesses = 0;
  const AccessWatch watch(link, [&](const AccessResult&) {
    ++accesses;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* progress = qobject_cast<QProgressDialog*>(window); progress != nullptr && progress->isVisible()) {
        seen = progress->labelText();
      }
    }
  });
  Pick(Control<QComboBox>(eq, "PEQ Control"), "Acoustic");
  EXPECT_EQ(accesses, 79u);
  // The count moves a few times a second.
  EXPECT_TRUE(seen.startsWith("Load Preset\n") && seen.endsWith(" of 79 register accesses done")) << seen.toStdString();
  for (QWidget* window : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<QProgressDialog*>(window), nullptr);
  EXPECT_TRUE(program.messages.messages.empty());
  EXPECT_EQ(program.boardChip.read(reg::DAP_PEQ_REG), 0x0006);
}

TEST_F(EqAvcTest, AvcListsAndBoxWriteTheirFields) {
  showDapPage("AVC");
  EXPECT_EQ(list("AVC Max Gain(dB)")->currentText(), "6dB");
  EXPECT_EQ(list("LBI Response(ms)")->currentText(), "25ms");
  EXPECT_EQ(box("Threshold (dB)")->text(), "-12");
  EXPECT_EQ(box("AVC Decay Rate (dB/s)")->text(), "4");
  EXPECT_EQ(box("AVC Attack Rate (dB/s)")->text(), "32");
  // Three buttons read "Set"; each is named after the box it writes.
  for (const char* name : {"Set Threshold (dB)", "Set AVC Decay Rate (dB/s)", "Set AVC Attack Rate (dB/s)"}) {
    EXPECT_EQ(button(name)->text(), "Set");
  }
  EXPECT_EQ(link.writeLog().count(), 0u);
  Pick(list("LBI Response(ms)"), "100ms");
  Pick(list("LBI Response(ms)"), "0ms");
  Pick(list("AVC Max Gain(dB)"), "12dB");
  Click(check("Enable AVC"));
  EXPECT_EQ(log(), Written("# Write AVC LBI Response\n", {"W 0124 0300", "W 0124 0000"}) +
                       Written("# Write AVC Max Gain\n", {"W 0124 2000"}) +
                       Written("# Write AVC enable and disable\n", {"W 0124 2001"}));
}

TEST_F(EqAvcTest, AvcThresholdAndRatesWriteTheirCodesAtTheSampleRateOfTheLastConfigClock) {
  showDapPage("AVC");
  Click(button("Set Threshold (dB)"));
  Type(box("Threshold (dB)"), "");
  Click(button("Set Threshold (dB)"));  // no number: 0 dB
  EXPECT_EQ(log(), Written("# Write AVC Threshold\n", {"W 0126 1472", "W 0126 5168"}));

  showPage(MainSheet::Tab::Initialization);
  Click(button("Config Clock"));  // 48 kHz
  showDapPage("AVC");
  link.writeLog().clear();
  Click(button("Set AVC Attack Rate (dB/s)"));
  Click(button("Set AVC Decay Rate (dB/s)"));
  showPage(MainSheet::Tab::Initialization);
  Pick(list("System Sample Rate"), "96 kHz");
  Click(button("Config Clock"));
  showDapPage("AVC");
  link.writeLog().clear();
  Click(button("Set AVC Attack Rate (dB/s)"));
  Type(box("AVC Decay Rate (dB/s)"), "slow");
  Click(button("Set AVC Decay Rate (dB/s)"));
  EXPECT_EQ(log(), Written("# Write AVC Attack Rate\n", {"W 0128 0014"}) +
                       Written("# Write AVC Decay Rate\n", {"W 012A 0000"}));
  EXPECT_TRUE(messages.messages.empty());
}

// Mends: before Config Clock the rates divided by a sample rate of 0; a threshold or rate
// beyond its field wrote the low bits of its code.
TEST_F(EqAvcTest, AvcRefusesRatesWithoutASampleRateAndNumbersBeyondTheirFields) {
  showDapPage("AVC");
  Click(button("Set AVC Attack Rate (dB/s)"));
  Click(button("Set AVC Decay Rate (dB/s)"));
  Type(box("Threshold (dB)"), "10");
  Click(button("Set Threshold (dB)"));
  const std::string page = "Tonvisor | AvcPage | ";
  const std::string noRate = page +
                             "Set the sample rate with Config Clock on the Initialization page first: the AVC attack "
                             "and decay rates depend on it.";
  EXPECT_EQ(shown(), (Lines{noRate, noRate,
                            page + "The Threshold (dB) must be at most 9.95: the chip's threshold goes no higher."}));
  EXPECT_EQ(link.writeLog().count(), 0u);

  showPage(MainSheet::Tab::Initialization);
  Pick(list("System Sample Rate"), "44.1 kHz");
  Click(button("Config Clock"));
  showDapPage("AVC");
  link.writeLog().clear();
  messages.clear();
  Type(box("AVC Attack Rate (dB/s)"), "4000");
  Click(button("Set AVC Attack Rate (dB/s)"));
  Type(box("AVC Decay Rate (dB/s)"), "-1");
  Click(button("Set AVC Decay Rate (dB/s)"));
  EXPECT_EQ(shown(),
            (Lines{page + "The AVC Attack Rate (dB/s) must be from 0 to 3004.3 at a sample rate of 44.1 kHz.",
                   page + "The AVC Decay Rate (dB/s) must be from 0 to 187.0 at a sample rate of 44.1 kHz."}));
  EXPECT_EQ(link.writeLog().count(), 0u);
}

TEST_F(RecordedEqAvc, AvcFailuresKeepTheirBlanks) {
  state.systemSampleRate = 48000;
  showDapPage("AVC");
  bridge.setResult("i2c.write", 4);
  Click(check("Enable AVC"));
  Pick(list("AVC Max Gain(dB)"), "0dB");
  Pick(list("LBI Response(ms)"), "50ms");
  Click(button("Set Threshold (dB)"));
  Click(button("Set AVC Decay Rate (dB/s)"));
  Click(button("Set AVC Attack Rate (dB/s)"));
  const std::string page = "Tonvisor | AvcPage | ";
  EXPECT_EQ(shown(), (Lines{page + " Enable AVC Failed", page + " Set AVC Max Gain Failed ",
                            page + " Set AVC LBI Response Failed ", page + " Set AVC Threshold Failed ",
                            page + " Set AVC Decay Rate Failed ", page + " Set AVC Attack Rate Failed "}));
}

}  // namespace
}  // namespace tonvisor::testing
