#include <gtest/gtest.h>

#include <QFormLayout>
#include <QGridLayout>
#include <QProgressDialog>
#include <QToolButton>
#include <QVBoxLayout>

#include "tools/pages/script_progress.h"

#include "panel/chip_page.h"
#include "panel/live_slider.h"
#include "panel/up_down.h"
#include "panel/value_slider.h"
#include "panel/value_text.h"
#include "panel_harness.h"

namespace tonvisor::testing {
namespace {

constexpr int kGainsDb[] = {0, 20, 30, 40};
constexpr const char* kBiases[] = {"power off", "2Kohm", "4Kohm", "8Kohm"};

TEST(ValueText, PrintsEachFormatExactlyAtTheEdgesOfItsRange) {
  constexpr ValueText adc = ValueText::Number("%2.1fdB", [](int p) { return p * 1.5; });
  constexpr ValueText dac = ValueText::Number("%.1fdB", [](int p) { return (p - 191) * 0.5017; });
  constexpr ValueText gain = ValueText::Integer("%ddB", kGainsDb);
  constexpr ValueText bias = ValueText::Text("%s", kBiases);
  constexpr ValueText padded = ValueText::Number("%6.1f%%", [](int p) { return p * -0.25; });
  const std::pair<std::string, std::string> cases[] = {
      {adc.of(0), "0.0dB"},     {adc.of(1), "1.5dB"},     {adc.of(15), "22.5dB"},
      {dac.of(191), "0.0dB"},   {dac.of(190), "-0.5dB"},  {dac.of(0), "-95.8dB"},
      {gain.of(0), "0dB"},      {gain.of(2), "30dB"},     {gain.of(3), "40dB"},
      {bias.of(0), "power off"}, {bias.of(3), "8Kohm"},
      {padded.of(1), "  -0.2%"},  // printf's own rounding of -0.25: to even
      // Past a table's end there is nothing to show.
      {gain.of(4), ""},         {bias.of(-1), ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

TEST(ValueSlider, TicksStayReadableOnLongSliders) {
  const std::pair<int, int> positions[] = {{2, 1}, {4, 1}, {16, 1}, {17, 1}, {18, 2}, {128, 8}, {192, 12}, {4096, 256}};
  for (const auto& [count, interval] : positions) {
    EXPECT_EQ(ValueSlider::ReadableTickInterval(count), interval) << count << " positions";
  }
}

// A page of the kit's rows, one of each, on the recording bridge over I2C.
class KitPage : public ChipPage {
 public:
  static constexpr Choice kModes[] = {{"DSP Mode A/B", 2}, {"I2S or Left Justified", 0}};

  explicit KitPage(const PanelContext& context) : ChipPage(context, "KitPage") {}
  using ChipPage::actWithProgress;

  void build() override {
    ++builds;
    auto* form = new QFormLayout;
    mode = addChoice(form, {"I2S0_MODE", kModes, &field::ConfigureI2s0Mode, " Set I2S0 Mode Failed ", 1});
    auto* boxes = new QVBoxLayout;
    surround = addCheck(boxes, {"Surround", &field::WriteSurroundEnable, "Surround failed", 3});
    auto* grid = new QGridLayout;
    gain = addSlider(grid, {"Mic Gain", ValueText::Integer("%ddB", kGainsDb), "0dB", 0, &field::WriteMicGain});
    wide = addSlider(grid, {"Wide", ValueText::Number("%.1fdB", [](int p) { return p * 0.5; }), " 0dB ", 30,
                            &field::WriteHpLeftVolume, 60});
    width = edit("Width", "4");
    widthSteps = new UpDown("Width steps", 0, 7, 4);
    widthSteps->attachTo(width);
    level = new UpDown("Level steps", 0, 3, 1);
    band = new LiveSlider(Qt::Vertical, 95, 47);
    connect(widthSteps, &UpDown::stepped, this, [this](int position) { told.push_back("width " + std::to_string(position)); });
    connect(level, &UpDown::stepped, this, [this](int position) { told.push_back("level " + std::to_string(position)); });
    connect(band, &LiveSlider::moved, this, [this](int position) {
      told.push_back("band " + std::to_string(position) + (band->value() == position ? "" : " (not yet its value)"));
    });
    ramp = button("Ramp");
    connect(ramp, &QPushButton::clicked, this, [this] {
      actLong(tr("Ramp"), [this](LinkSide& side, JobReport&) {
        busyMeanwhile = runner().busy();
        side.codec.RampHpVolume(0x10);
      });
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(boxes);
    layout->addLayout(grid);
    layout->addWidget(ramp);
    auto* steps = new QHBoxLayout;
    steps->addWidget(widthSteps);
    steps->addWidget(width);
    steps->addWidget(level);
    steps->addWidget(band);
    layout->addLayout(steps);
  }

  bool enterPressed() override {
    ++enters;
    return true;
  }

  QComboBox* mode = nullptr;
  QCheckBox* surround = nullptr;
  ValueSlider* gain = nullptr;
  ValueSlider* wide = nullptr;
  QPushButton* ramp = nullptr;
  QLineEdit* width = nullptr;
  UpDown* widthSteps = nullptr;
  UpDown* level = nullptr;
  LiveSlider* band = nullptr;
  std::vector<std::string> told;
  int enters = 0;
  bool busyMeanwhile = false;
  int builds = 0;
};

class KitTest : public ::testing::Test {
 protected:
  KitTest() {
    EXPECT_EQ(link.i2c().I2cOpen(0x0A), status::kOk);
    link.cache().describe({});  // the recording bridge keeps no registers
    // The controls are made only when the page is first shown, and only once.
    EXPECT_EQ(page.builds, 0);
    EXPECT_TRUE(page.findChildren<QWidget*>().isEmpty());
    page.resize(500, 300);
    page.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
    bridge.calls.clear();
  }

  Lines log() { return LogLines(link.writeLog()); }
  Lines shown() const {
    Lines lines;
    for (const Message& m : messages.messages) {
      const QWidget* owner = WidgetOf(m.owner);
      lines.push_back(m.caption + " | " + (owner ? owner->objectName().toStdString() : "none") + " | " + m.text);
    }
    return lines;
  }
  // Register writes only, as "W 002A 0002", since the log was last emptied.
  Lines writes() { return WritesIn(log()); }

  RecordingBridge bridge;
  RecordingMessenger messages;
  DeviceLink link{bridge, messages};
  CodecOperations codec{link};
  InlineLinkRunner runner{link, codec, messages};
  PanelState state;
  FakeFileChooser files;
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{runner, state, files, unsavedLog};
  KitPage page{context};
};

TEST_F(KitTest, ControlsAreNamedAfterTheirCaptionsAndStartWhereTheirRowsSay) {
  page.hide();
  page.show();
  EXPECT_EQ(page.builds, 1);
  EXPECT_TRUE(page.mode->isVisible());
  EXPECT_EQ(Control<QComboBox>(&page, "I2S0_MODE"), page.mode);
  EXPECT_EQ(Control<QCheckBox>(&page, "Surround"), page.surround);
  EXPECT_EQ(Control<QSlider>(&page, "Mic Gain"), page.gain);
  EXPECT_EQ(Control<QPushButton>(&page, "Ramp"), page.ramp);
  EXPECT_EQ(page.mode->currentText(), "I2S or Left Justified");
  EXPECT_EQ(page.gain->maximum(), 3);  // from the field's two bits
  EXPECT_EQ(page.wide->maximum(), 60);
  EXPECT_EQ(page.wide->value(), 30);
  EXPECT_EQ(page.wide->valueLabel()->text(), " 0dB ");
  EXPECT_EQ(page.findChild<QLabel*>("Wide value"), page.wide->valueLabel());
  EXPECT_TRUE(log().empty());
}

TEST_F(KitTest, ASliderActsOnTheMouseReleaseOfAClickOrADragAndOnNothingElse) {
  // A click on the track moves one page and acts at once on the position it reached.
  ClickTrack(page.gain, true);
  EXPECT_EQ(page.gain->value(), 1);
  EXPECT_EQ(page.gain->valueLabel()->text(), "20dB");
  EXPECT_EQ(log(), (Lines{"   \n", "# Write Mic Gain\n", "W 002A 0001"}));

  // Keys and the wheel move the slider, and neither the label nor the chip follows ...
  link.writeLog().clear();
  QTest::keyClick(page.gain, Qt::Key_End);
  Wheel(page.wide, -2);
  EXPECT_EQ(page.gain->value(), 3);
  EXPECT_NE(page.wide->value(), 30);
  EXPECT_EQ(page.gain->valueLabel()->text(), "20dB");
  EXPECT_EQ(page.wide->valueLabel()->text(), " 0dB ");
  // ... nor does a move made by code.
  page.gain->setValue(2);
  page.wide->moveTo(40);
  EXPECT_EQ(page.wide->valueLabel()->text(), "20.0dB");
  EXPECT_TRUE(log().empty());

  // A click on the handle that moves nothing acts again at the present position.
  ClickHandle(page.gain);
  ClickHandle(page.gain);
  EXPECT_EQ(page.gain->valueLabel()->text(), "30dB");
  EXPECT_EQ(writes(), (Lines{"W 002A 0002", "W 002A 0002"}));

  // A drag acts once, where the handle is let go.
  link.writeLog().clear();
  DragTo(page.wide, 12);
  EXPECT_EQ(page.wide->valueLabel()->text(), "6.0dB");
  EXPECT_EQ(log(), (Lines{"   \n", "# Write HP left volume\n", "W 0022 000C"}));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(KitTest, AChoicePassesItsItemsCodeAndOnlyWhenTheUserChooses) {
  page.mode->setCurrentIndex(0);  // by code: nothing is chosen
  page.mode->setCurrentIndex(1);
  EXPECT_TRUE(log().empty());
  Choose(page.mode, "DSP Mode A/B");
  Choose(page.mode, "I2S or Left Justified");
  EXPECT_EQ(log(), (Lines{"   \n", "# Configure I2S0 Mode\n", "W 0006 0008",  //
                          "   \n", "# Configure I2S0 Mode\n", "W 0006 0000"}));
}

TEST_F(KitTest, ACheckBoxPassesItsOnValueOrZero) {
  Click(page.surround);
  page.surround->setChecked(false);  // by code: nothing happens
  Click(page.surround);
  Click(page.surround);
  EXPECT_EQ(writes(), (Lines{"W 010A 0003", "W 010A 0003", "W 010A 0000"}));
}

TEST_F(KitTest, ARowsMessageFollowsANonZeroStatusOnlyAndIsThePagesOwn) {
  bridge.setResult("i2c.write", 4);  // the chip does not acknowledge
  Choose(page.mode, "DSP Mode A/B");
  Click(page.surround);
  ClickHandle(page.gain);  // a row without a message of its own: what failed, in words
  EXPECT_EQ(shown(), (Lines{"Tonvisor | KitPage |  Set I2S0 Mode Failed ", "Tonvisor | KitPage | Surround failed",
                            "Tonvisor | KitPage | No chip answering at I2C address 0x0A for the read-modify-write of "
                            "register 0x002A."}));

  // Over SPI a modify is refused with status 0: the link's message is the only one.
  messages.clear();
  link.settings().connectionType = "SPI";
  Choose(page.mode, "I2S or Left Justified");
  EXPECT_EQ(shown(), (Lines{"Error | none |  Modify Register Not Supported"}));
}

TEST_F(KitTest, LongWorkKeepsTheRunnerBusyAndEndsWithOneMessageWhenAccessesFailed) {
  bridge.i2cReadBytes[1] = 0x14;  // the ramp starts from code 0x14: four steps down to 0x10
  Click(page.ramp);
  EXPECT_TRUE(page.busyMeanwhile);
  EXPECT_FALSE(runner.busy());
  EXPECT_TRUE(messages.messages.empty());

  bridge.setResult("i2c.write", 4);
  Click(page.ramp);
  EXPECT_EQ(shown(), (Lines{"Tonvisor | KitPage | Ramp: 4 of 5 register accesses did not reach the chip. The first: "
                            "no chip answering at I2C address 0x0A for the write of register 0x0022."}));
}

TEST_F(KitTest, AnAttachedUpDownStepsFromWhateverItsBoxHoldsAndStopsAtItsEnds) {
  Click(page.widthSteps->upButton());
  EXPECT_EQ(page.width->text(), "5");
  Type(page.width, "2");
  Click(page.widthSteps->downButton());
  EXPECT_EQ(page.width->text(), "1");
  // Up and Down typed in the box step it too; a step past an end changes nothing.
  Type(page.width, "6");
  QTest::keyClick(page.width, Qt::Key_Up);
  QTest::keyClick(page.width, Qt::Key_Up);
  EXPECT_EQ(page.width->text(), "7");
  // A number out of range stays in the box until stepped, then steps to the nearer end.
  Type(page.width, "9");
  EXPECT_EQ(page.width->text(), "9");
  Click(page.widthSteps->upButton());
  EXPECT_EQ(page.width->text(), "7");
  Type(page.width, "99999999999");
  Click(page.widthSteps->downButton());
  Type(page.width, "-3");
  Click(page.widthSteps->upButton());
  // No number: from where the control last was.
  Type(page.width, "wide");
  Click(page.widthSteps->upButton());
  // Set by code: shown in the box, told to no one.
  page.widthSteps->setPosition(2);
  EXPECT_EQ(page.width->text(), "2");
  EXPECT_EQ(page.told, (std::vector<std::string>{"width 5", "width 1", "width 7", "width 7", "width 7", "width 0",
                                                 "width 1"}));
}

TEST_F(KitTest, AnUpDownOnItsOwnStepsItsOwnPositionWithItsButtonsAndKeys) {
  Click(page.level->upButton());
  Click(page.level->upButton());
  Click(page.level->upButton());  // at 3 already
  page.level->setFocus();
  QTest::keyClick(page.level, Qt::Key_Down);
  page.level->setPosition(0);
  Click(page.level->downButton());
  EXPECT_EQ(page.level->position(), 0);
  EXPECT_EQ(page.told, (std::vector<std::string>{"level 2", "level 3", "level 2"}));
  EXPECT_TRUE(log().empty());
}

TEST_F(KitTest, ALiveSliderTellsEveryMoveOfTheUserAndNoneOfTheCode) {
  page.band->setFocus();
  QTest::keyClick(page.band, Qt::Key_Up);  // up the screen: a larger value
  QTest::keyClick(page.band, Qt::Key_End);  // the largest value, at the top
  QTest::keyClick(page.band, Qt::Key_Up);   // there already: nothing
  Wheel(page.band, -1);
  page.band->setValue(10);
  // A click on the track below the handle moves a page down.
  ClickTrack(page.band, false);
  const int wheelStep = 95 - QApplication::wheelScrollLines();  // the wheel turned towards the user: down
  EXPECT_EQ(page.told, (std::vector<std::string>{"band 48", "band 95", "band " + std::to_string(wheelStep), "band 2"}));
}

TEST_F(KitTest, EnterAnywhereOnThePageIsThePagesAndTheBoxesKeepTheirKeys) {
  QTest::keyClick(page.width, Qt::Key_Return);
  QTest::keyClick(page.mode, Qt::Key_Enter);
  QTest::keyClick(page.surround, Qt::Key_Return);
  QTest::keyClick(page.ramp, Qt::Key_Return);  // a page's button is not pressed by Return
  EXPECT_EQ(page.enters, 4);
  EXPECT_TRUE(log().empty());
}

TEST_F(KitTest, LongWorkWithProgressShowsTheOperationsMessageOrElseOneClosingMessage) {
  page.actWithProgress("Switch", 3, [](LinkSide& side, JobReport& report) { report.status = side.codec.WriteDapEnable(1).status; }, "Switch failed");
  EXPECT_TRUE(messages.messages.empty());

  // A status of its own: the page's message and no other.
  bridge.setResult("i2c.write", 4);
  page.actWithProgress("Switch", 3, [](LinkSide& side, JobReport& report) { report.status = side.codec.WriteDapEnable(1).status; }, "Switch failed");
  EXPECT_EQ(shown(), (Lines{"Tonvisor | KitPage | Switch failed"}));

  // Status 0 with accesses that failed (SPI refuses the modifies, so no switch between the
  // mute and the unmute): the closing message.
  messages.clear();
  link.settings().connectionType = "SPI";
  page.actWithProgress("Switch", 3, [](LinkSide& side, JobReport& report) { report.status = side.codec.WriteDapEnable(1).status; }, "Switch failed");
  EXPECT_EQ(shown(), (Lines{"Error | none |  Modify Register Not Supported",
                            "Tonvisor | KitPage | Switch: 2 of 2 register accesses did not reach the chip. The first: "
                            "SPI cannot read-modify-write register 0x000E (it can only write)."}));
}

TEST(WorkProgress, WithoutCancelTheDialogStaysUpThroughEscapeAndCloseUntilTheWorkIsDone) {
  QWidget window;
  WorkProgress progress(&window, "Load Preset", 78, "%1 of %2 register accesses done",
                        WorkProgress::Cancel::NotOffered, std::chrono::milliseconds(0));
  EXPECT_TRUE(progress.stepDone(1));
  QProgressDialog* dialog = progress.dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->labelText(), "Load Preset\n1 of 78 register accesses done");
  EXPECT_TRUE(dialog->findChildren<QPushButton*>().isEmpty());
  QTest::keyClick(dialog, Qt::Key_Escape);
  dialog->close();
  EXPECT_TRUE(dialog->isVisible());
  // The count moves a few times a second; then more steps than counted keep the bar full.
  EXPECT_TRUE(progress.stepDone(2));
  EXPECT_EQ(dialog->value(), 1);
  QTest::qWait(300);
  EXPECT_TRUE(progress.stepDone(79));
  EXPECT_EQ(dialog->maximum(), 79);
  EXPECT_EQ(dialog->value(), 79);
  progress.close();
  EXPECT_EQ(progress.dialog(), nullptr);
}

}  // namespace
}  // namespace tonvisor::testing
