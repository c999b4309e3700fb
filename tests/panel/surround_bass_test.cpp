#include <gtest/gtest.h>

#include "codec/register_map.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

struct DapBlockTest : PanelTest {
  explicit DapBlockTest(bool simulated = true) : PanelTest(simulated) {
    Click(button("Connect"));
    forgetChip();
    link.writeLog().clear();
  }
  Lines log() { return LogLines(link.writeLog()); }
  // Moves a slider with keys (which write nothing) and lets go of it with the mouse.
  void releaseAt(const QString& name, int position) {
    QSlider* moved = slider(name);
    moved->setFocus();
    QTest::keyClick(moved, Qt::Key_Home);
    for (int p = 0; p < position; ++p) QTest::keyClick(moved, Qt::Key_Right);
    ClickHandle(moved);
  }
};
struct RecordedDapBlock : DapBlockTest {
  RecordedDapBlock() : DapBlockTest(false) {}
};

constexpr const char* kWidthComment = "# Write KRVL Surround Settings\n";
constexpr const char* kBassComment = "# Write Bass Enhance Setting\n";

TEST_F(DapBlockTest, SurroundWidthStepsSlidesAndTypesIntoBitsSixToFour) {
  showDapPage("Korvel Surround");
  EXPECT_EQ(slider("Surround Width")->value(), 4);
  EXPECT_EQ(box("Surround Width value")->text(), "4");
  EXPECT_EQ(link.writeLog().count(), 0u);

  // Three steps up write 5, 6 and 7; a fourth changes nothing.
  for (int step = 0; step < 4; ++step) Click(upDown("Surround Width up-down")->upButton());
  EXPECT_EQ(log(), Written(kWidthComment, {"W 010A 0050", "W 010A 0060", "W 010A 0070"}));
  EXPECT_EQ(slider("Surround Width")->value(), 7);
  EXPECT_EQ(box("Surround Width value")->text(), "7");

  link.writeLog().clear();
  releaseAt("Surround Width", 0);
  EXPECT_EQ(box("Surround Width value")->text(), "0");
  Type(box("Surround Width value"), "6");
  QTest::keyClick(box("Surround Width value"), Qt::Key_Return);
  EXPECT_EQ(slider("Surround Width")->value(), 6);
  // Up in the box steps from what it holds.
  QTest::keyClick(box("Surround Width value"), Qt::Key_Up);
  Click(check("Enable KRVL Surround"));
  Click(check("Enable KRVL Surround"));
  EXPECT_EQ(log(), Written(kWidthComment, {"W 010A 0000", "W 010A 0060", "W 010A 0070"}) +
                       Written("# Writing KRVL Surround enable and disable\n", {"W 010A 0073", "W 010A 0070"}));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(DapBlockTest, SurroundRefusesATypedWidthOutsideZeroToSevenAndWritesNothing) {
  showDapPage("Korvel Surround");
  for (const char* typed : {"9", "-1", "three", "", "2.5"}) {
    Type(box("Surround Width value"), typed);
    QTest::keyClick(box("Surround Width value"), Qt::Key_Enter);
  }
  EXPECT_EQ(messages.messages.size(), 5u);
  EXPECT_EQ(shown().front(), "Tonvisor | SurroundPage | The Surround Width must be a whole number from 0 to 7.");
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(slider("Surround Width")->value(), 4);
  // The typed 9 is not held back; stepping brings it to the nearer end.
  Type(box("Surround Width value"), "9");
  Click(upDown("Surround Width up-down")->downButton());
  EXPECT_EQ(box("Surround Width value")->text(), "7");
  EXPECT_EQ(WritesIn(log()), Lines{"W 010A 0070"});
}

TEST_F(DapBlockTest, BassWritesItsCutOffTheFirstTimeItIsShownAndOnlyThen) {
  showDapPage("DAP Mixer");
  EXPECT_EQ(link.writeLog().count(), 0u);
  showDapPage("Korvel Bass");
  showDapPage("AVC");
  showPage(MainSheet::Tab::Outputs);
  showDapPage("Korvel Bass");
  EXPECT_EQ(log(), Written(kBassComment, {"W 0104 0040"}));
  EXPECT_EQ(list("Cut-Off Frequency(Hz)")->currentText(), "175");
  // The write made the register known: the filter's list shows the chip's code 0.
  EXPECT_EQ(list("High Pass Filter Cut-Off Frequency(Hz)")->currentText(), "80");
  EXPECT_EQ(box("Bass Level value")->text(), "31");
  EXPECT_EQ(box("Main Channel Mix Level value")->text(), "5");
}

TEST_F(DapBlockTest, BassListsBoxesAndSlidersWriteTheirFields) {
  showDapPage("Korvel Bass");
  link.writeLog().clear();
  Pick(list("High Pass Filter Cut-Off Frequency(Hz)"), "80");
  Pick(list("High Pass Filter Cut-Off Frequency(Hz)"), "225");
  Pick(list("High Pass Filter Cut-Off Frequency(Hz)"), "SAME_AS_CUTOFF_FREQ");
  Pick(list("Cut-Off Frequency(Hz)"), "225");
  Click(check("Bypass High Pass Filter"));
  Click(check("Enable Bass Enhance"));
  const char* hpf = "# Write Bass Enhance High Pass Filter Settings\n";
  EXPECT_EQ(log(), Written(hpf, {"W 0104 0040", "W 0104 0C40", "W 0104 0E40"}) + Written(kBassComment, {"W 0104 0E60"}) +
                       Written("# Writing Bass Enhance HPF Bypass enable/disable\n", {"W 0104 0F60"}) +
                       Written("# Writing Bass Enhance enable and disable\n", {"W 0104 0F61"}));

  // Levels: the slider's ends, a step of the main channel's up-down.
  link.writeLog().clear();
  releaseAt("Bass Level", 0);
  releaseAt("Bass Level", 127);
  EXPECT_EQ(upDown("Bass Level up-down")->position(), 127);
  Click(upDown("Main Channel Mix Level up-down")->upButton());
  EXPECT_EQ(box("Main Channel Mix Level value")->text(), "6");
  EXPECT_EQ(slider("Main Channel Mix Level")->value(), 6);
  EXPECT_EQ(log(), Written(kBassComment, {"W 0106 0000", "W 0106 007F", "W 0106 067F"}));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(DapBlockTest, BassReturnWritesTheBassLevelThenTheMainChannels) {
  showDapPage("Korvel Bass");
  link.writeLog().clear();
  Type(box("Bass Level value"), "40");
  Type(box("Main Channel Mix Level value"), " 10 ");
  QTest::keyClick(box("Bass Level value"), Qt::Key_Return);
  EXPECT_EQ(log(), Written(kBassComment, {"W 0106 0028", "W 0106 0A28"}));
  EXPECT_EQ(slider("Bass Level")->value(), 40);
  EXPECT_EQ(upDown("Main Channel Mix Level up-down")->position(), 10);

  // A box without a whole number is named and nothing is written.
  link.writeLog().clear();
  Type(box("Main Channel Mix Level value"), "1.5");
  QTest::keyClick(box("Bass Level value"), Qt::Key_Return);
  EXPECT_EQ(shown(), Lines{"Tonvisor | BassPage | The Main Channel Mix Level must be a whole number."});
  EXPECT_EQ(link.writeLog().count(), 0u);
}

// Mend: "64" wrote the highest main-channel level (its 6-bit field wrapped to 0), "200" a bass
// level of 72.
TEST_F(DapBlockTest, BassLevelsBeyondTheirSlidersWriteTheNearerEndAndShowIt) {
  showDapPage("Korvel Bass");
  link.writeLog().clear();
  Type(box("Bass Level value"), "200");
  Type(box("Main Channel Mix Level value"), "64");
  QTest::keyClick(box("Bass Level value"), Qt::Key_Return);
  EXPECT_EQ(WritesIn(log()), (Lines{"W 0106 007F", "W 0106 3F7F"}));
  EXPECT_EQ(box("Bass Level value")->text(), "127");
  EXPECT_EQ(box("Main Channel Mix Level value")->text(), "63");
  Type(box("Bass Level value"), "-99999999999");
  QTest::keyClick(box("Bass Level value"), Qt::Key_Return);
  EXPECT_EQ(box("Bass Level value")->text(), "0");
  EXPECT_EQ(chip.read(reg::DAP_BASS_ENHANCE_CTRL_REG), 0x3F00);
}

TEST_F(DapBlockTest, BassMultiplierTruncatesTheTypedNumberAndRefusesOneThatDoesNotFit) {
  showDapPage("Korvel Bass");
  link.writeLog().clear();
  Click(button("Set Multiplier"));  // an empty box reads as 0
  Type(box("Multiplier "), "2.9");
  Click(button("Set Multiplier"));
  EXPECT_EQ(log(), Written("# Write Bass Enhance Mult Settings\n", {"W 0104 0040", "W 0104 8040"}));
  // Mend: 4 and -1 wrote the low bits of their codes (0 and 3).
  link.writeLog().clear();
  for (const char* typed : {"4", "-1", "1e10"}) {
    Type(box("Multiplier "), typed);
    Click(button("Set Multiplier"));
  }
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(shown(), Lines(3, "Tonvisor | BassPage | The Multiplier must be from 0 to 3."));
}

TEST_F(RecordedDapBlock, SurroundAndBassSayWhichWriteFailed) {
  bridge.setResult("i2c.write", 4);
  showDapPage("Korvel Surround");
  Click(upDown("Surround Width up-down")->upButton());
  ClickHandle(slider("Surround Width"));
  Click(check("Enable KRVL Surround"));
  QTest::keyClick(box("Surround Width value"), Qt::Key_Return);
  showDapPage("Korvel Bass");
  Choose(list("Cut-Off Frequency(Hz)"), "80");
  Choose(list("High Pass Filter Cut-Off Frequency(Hz)"), "80");
  Click(check("Bypass High Pass Filter"));
  Click(check("Enable Bass Enhance"));
  Click(button("Set Multiplier"));
  Click(upDown("Bass Level up-down")->upButton());
  ClickHandle(slider("Main Channel Mix Level"));
  QTest::keyClick(box("Bass Level value"), Qt::Key_Return);
  const std::string surround = "Tonvisor | SurroundPage | ";
  const std::string bass = "Tonvisor | BassPage | ";
  EXPECT_EQ(shown(), (Lines{surround + "Setting Surround Width failed", surround + "Setting Surround Width failed",
                            surround + "Setting Surround Enable failed",
                            // Return and the first showing have no message of their own.
                            surround + "No chip answering at I2C address 0x0A for the read-modify-write of register "
                                       "0x010A.",
                            bass + "No chip answering at I2C address 0x0A for the read-modify-write of register "
                                   "0x0104.",
                            bass + "Setting Bass Cut Off Freq failed",
                            bass + "Setting Bass HPF Cut Off Freq failed",
                            bass + "Setting Bass Enhance Bypass HPF failed",
                            bass + "Setting Bass Enhance Enable failed", bass + " Set MULT Failed ",
                            bass + "Setting Bass Level failed", bass + "Setting DAP LR Level failed",
                            bass + "2 of 2 register accesses did not reach the chip. The first: no chip answering at "
                                   "I2C address 0x0A for the read-modify-write of register 0x0106."}));
}

}  // namespace
}  // namespace tonvisor::testing
