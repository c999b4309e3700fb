// The pages follow the chip: after a Connect every control shows what the board's chip holds,
// and goes on showing it after accesses of any route, without writing a thing itself.
#include <gtest/gtest.h>

#include <QTableWidget>

#include "codec/register_map.h"
#include "panel/dap_codes.h"
#include "panel_harness.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/register_map_page.h"

namespace tonvisor::testing {
namespace {

// Values no page starts at, for every field a page shows.
constexpr std::pair<std::uint16_t, std::uint16_t> kBoardValues[] = {
    {reg::CHIP_CLK_CTRL_REG, 0x0007},           // PLL, 44.1 kHz
    {reg::CHIP_I2S0_CTRL_REG, 0x017B},          // 32Fs, slave, falling edge, 16 bits, DSP, no delay, right
    {reg::CHIP_ANA_ADC_CTRL_REG, 0x0095},       // ADC left 5, right 9
    {reg::CHIP_ANA_CTRL_REG, 0x0137},           // ADC and HP muted, both ZCDs, LINEIN, line out muted
    {reg::CHIP_MIC_CTRL_REG, 0x0302},           // 30 dB, 8 kohm
    {reg::CHIP_DAC_VOL_REG, 0x6363},            // -19.6 dB
    {reg::CHIP_ADCDAC_CTRL_REG, 0x0200},        // DAC not muted
    {reg::CHIP_ANA_HP_CTRL_REG, 0x3030},        // -12 dB
    {reg::CHIP_SSS_CTRL_REG, 0x0110},           // the mixer takes I2S_DIN
    {reg::DAP_CONTROL_REG, 0x0011},             // processor and mixer on
    {reg::DAP_MIX_CHAN_REG, 0x4000},            // 50 %
    {reg::DAP_MAIN_CHAN_REG, 0xC000},           // 150 %
    {reg::DAP_KRVL_SURROUND_REG, 0x0063},       // width 6, on
    {reg::DAP_BASS_ENHANCE_REG, 0x8B21},        // on, 125 Hz, bypass, HPF 200 Hz, multiplier 2
    {reg::DAP_BASS_ENHANCE_CTRL_REG, 0x1428},   // levels 40 and 20
    {reg::DAP_AUDIO_EQ_REG, 0x0003},            // GEQ
    {reg::DAP_AUDIO_EQ_BASS_BAND0_REG, 0x0033}, // +1 dB
    {reg::DAP_AUDIO_EQ_BAND1_REG, 0x002B},      // -1 dB
    {reg::DAP_AUDIO_EQ_BAND2_REG, 0x0040},      // +4.25 dB
    {reg::DAP_AUDIO_EQ_BAND3_REG, 0x001F},      // -4 dB
    {reg::DAP_AUDIO_EQ_TREBLE_BAND4_REG, 0x005F},  // +12 dB
    {reg::DAP_AVC_CTRL_REG, 0x2301},            // on, 12 dB, 100 ms
};
constexpr double kRateHz = 44100.0;
const int kThresholdCode = *AvcThresholdCode(-6.0);
const int kAttackCode = *AvcAttackCode(64.0, kRateHz);
const int kDecayCode = *AvcDecayCode(8.0, kRateHz);

// The program on the board emulator, its chip started at those values.
struct ChipOnBoard : PanelTest {
  ChipOnBoard() : PanelTest(true) {
    for (const auto& [address, value] : kBoardValues) boardChip.write(address, value);
    boardChip.write(reg::DAP_AVC_THRESHOLD_REG, static_cast<std::uint16_t>(kThresholdCode));
    boardChip.write(reg::DAP_AVC_ATTACK_REG, static_cast<std::uint16_t>(kAttackCode));
    boardChip.write(reg::DAP_AVC_DECAY_REG, static_cast<std::uint16_t>(kDecayCode));
    EXPECT_FALSE(board.start());
    boardWritesBefore = boardChip.writeCount();
  }
  void connect() {
    showPage(MainSheet::Tab::Initialization);
    Choose(list("Connection Type"), "Ethernet");
    Type(box("Ethernet Address"), "127.0.0.1");
    Type(box("Port"), QString::number(board.port()));
    Click(button("Connect"));
    QApplication::processEvents();
  }
  std::uint64_t boardWrites() const { return boardChip.writeCount() - boardWritesBefore; }
  QTableWidget* registerMap() const { return sheet->directRegisterPage()->mapPage()->registerTable(); }
  QTableWidgetItem* mapValue(const QString& name) const {
    for (int row = 0; row < registerMap()->rowCount(); ++row) {
      if (registerMap()->item(row, RegisterMapPage::kNameColumn)->text() == name) {
        return registerMap()->item(row, RegisterMapPage::kValueColumn);
      }
    }
    return nullptr;
  }

  ChipModel boardChip{ChipModel::Behaviour::Chip};
  BoardServer board{boardChip};
  std::uint64_t boardWritesBefore = 0;
};

// What one control shows: a list's item, a box's check, a slider's position and label, an
// edit box's text.
struct Shown {
  const char* control;
  enum Kind { List, Check, Slider, Box } kind;
  QString text;  // List, Slider (its label), Box
  int number = 0;  // Check (0 or 1), Slider (position)
};

struct PageShown {
  std::optional<MainSheet::Tab> tab;
  const char* dapTab;  // a page of the processor's sheet
  std::vector<Shown> controls;
};

TEST_F(ChipOnBoard, AfterConnectEveryPageShowsWhatTheChipHoldsAndNothingIsWritten) {
  connect();
  const QString attack = QString::number(std::round(AvcAttackRate(kAttackCode, kRateHz) * 10) / 10);
  const QString decay = QString::number(std::round(AvcDecayRate(kDecayCode, kRateHz) * 10) / 10);
  using S = Shown;
  const PageShown pages[] = {
      {MainSheet::Tab::Initialization, nullptr,
       {{"SYS_MCLK", S::List, "PLL"}, {"System Sample Rate", S::List, "44.1 kHz"},
        {"I2S Clock - Master/Slave", S::List, "Slave"}}},
      {MainSheet::Tab::I2s, nullptr,
       {{"I2S0_SCLK Freq", S::List, "32Fs"}, {"SCLK_INV To Data", S::List, "On falling edge"},
        {"I2S0_DLen", S::List, "16 bits"}, {"I2S0_MODE", S::List, "DSP Mode A/B"},
        {"I2S0_LRAlign To Data", S::List, "No delay"}, {"I2S0_LRPol To Data", S::List, "Right Channel"}}},
      {MainSheet::Tab::Inputs, nullptr,
       {{"Left Volume", S::Slider, "7.5dB", 5}, {"Right Volume", S::Slider, "13.5dB", 9},
        {"ADC Mute", S::Check, {}, 1}, {"Enable ZCD", S::Check, {}, 1},
        {"Mic Gain", S::Slider, "30dB", 2}, {"Mic Bias", S::Slider, "8Kohm", 3}}},
      {MainSheet::Tab::Outputs, nullptr,
       {{"DAC Volume", S::Slider, "-19.6dB", 152}, {"Mute", S::Check, {}, 0}, {"Volume", S::Slider, "-12.0dB", 79},
        {"HP Mute", S::Check, {}, 1}, {"Enable ZCD", S::Check, {}, 1}, {"LO Mute", S::Check, {}, 1}}},
      {MainSheet::Tab::DigitalAudioProcessing, nullptr, {{"Enable Digital Audio Processing", S::Check, {}, 1}}},
      {std::nullopt, "DAP Mixer",
       {{"Enable DAP Mixer", S::Check, {}, 1}, {"Select DAP Mixer Input", S::List, "I2S_DIN"},
        {"DAP Mixer Volume value", S::Box, "50%"}, {"DAP Main Volume value", S::Box, "150%"}}},
      {std::nullopt, "Korvel Surround",
       {{"Enable KRVL Surround", S::Check, {}, 1}, {"Surround Width value", S::Box, "6"}}},
      {std::nullopt, "Korvel Bass",
       {{"Enable Bass Enhance", S::Check, {}, 1}, {"Cut-Off Frequency(Hz)", S::List, "125"},
        {"High Pass Filter Cut-Off Frequency(Hz)", S::List, "200"}, {"Bypass High Pass Filter", S::Check, {}, 1},
        {"Multiplier ", S::Box, "2"}, {"Bass Level value", S::Box, "40"},
        {"Main Channel Mix Level value", S::Box, "20"}}},
      {std::nullopt, "PEQ/GEQ/Tone Control",
       {{"Select PEQ/GEQ/Tone Control", S::List, "GEQ"}, {"GEQ0 value", S::Box, "1"}, {"GEQ1 value", S::Box, "-1"},
        {"GEQ2 value", S::Box, "4.25"}, {"GEQ3 value", S::Box, "-4"}, {"GEQ4 value", S::Box, "12"},
        {"Bass value", S::Box, "1"}, {"Treble value", S::Box, "12"}}},
      {std::nullopt, "AVC",
       {{"Enable AVC", S::Check, {}, 1}, {"AVC Max Gain(dB)", S::List, "12dB"}, {"LBI Response(ms)", S::List, "100ms"},
        {"Threshold (dB)", S::Box, "-6"}, {"AVC Attack Rate (dB/s)", S::Box, attack},
        {"AVC Decay Rate (dB/s)", S::Box, decay}}},
  };
  for (const PageShown& page : pages) {
    if (page.tab) showPage(*page.tab);
    if (page.dapTab != nullptr) showDapPage(page.dapTab);
    for (const Shown& shown : page.controls) {
      SCOPED_TRACE(shown.control);
      switch (shown.kind) {
        case Shown::List: EXPECT_EQ(list(shown.control)->currentText(), shown.text); break;
        case Shown::Check: EXPECT_EQ(check(shown.control)->isChecked(), shown.number == 1); break;
        case Shown::Box: EXPECT_EQ(box(shown.control)->text(), shown.text); break;
        case Shown::Slider:
          EXPECT_EQ(slider(shown.control)->value(), shown.number);
          EXPECT_EQ(valueOf(shown.control), shown.text);
          break;
      }
    }
  }
  // Only the equaliser in use is enabled; the sliders stand at the chip's codes.
  EXPECT_TRUE(slider("GEQ2")->isEnabled());
  EXPECT_FALSE(slider("Bass")->isEnabled());
  EXPECT_EQ(slider("GEQ2")->value(), 0x40);
  // The Korvel Bass page keeps the cut-off it found rather than writing its own.
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(boardWrites(), 0u);
  EXPECT_EQ(shown(), Lines{});
}

TEST_F(ChipOnBoard, ControlsWriteFromTheChipsValueAndFollowAScriptWithoutWritingThemselves) {
  connect();
  // A list chosen: the read-modify-write of the value the chip holds.
  showPage(MainSheet::Tab::I2s);
  Pick(list("I2S0_DLen"), "24 bits");
  EXPECT_EQ(WritesIn(LogLines(link.writeLog())), (Lines{"W 0006 015B"}));

  // A script changes registers: the pages' controls follow, and only the script wrote.
  const QString script = writeFile("script.txt", "Write 0x0010 0x3C3C\nWrite 0x0108 0x0002\n");
  files.openAnswer = script;
  showPage(MainSheet::Tab::DirectRegisterAccess);
  Click(button("Run Script"));
  QApplication::processEvents();
  showPage(MainSheet::Tab::Outputs);
  EXPECT_EQ(slider("DAC Volume")->value(), 191);
  EXPECT_EQ(valueOf("DAC Volume"), "0.0dB");
  showDapPage("PEQ/GEQ/Tone Control");
  EXPECT_EQ(list("Select PEQ/GEQ/Tone Control")->currentText(), "Tone Control");
  EXPECT_TRUE(slider("Bass")->isEnabled());
  EXPECT_FALSE(slider("GEQ0")->isEnabled());
  EXPECT_EQ(boardWrites(), 3u);
  EXPECT_EQ(mapValue("CHIP_DAC_VOL_REG")->text(), "0x3C3C");  // and so does the Register Map
}

TEST_F(ChipOnBoard, AFailedWriteLeavesItsControlUnknownAndMarked) {
  connect();
  showPage(MainSheet::Tab::Outputs);
  board.stop();  // the board went away
  QSlider* dac = slider("DAC Volume");
  dac->setFocus();
  QTest::keyClick(dac, Qt::Key_End);
  ClickHandle(dac);
  QApplication::processEvents();
  EXPECT_EQ(valueOf("DAC Volume"), "?");
  EXPECT_EQ(valueLabel("DAC Volume")->toolTip(), "not read from the chip");
  EXPECT_EQ(mapValue("CHIP_DAC_VOL_REG")->text(), "unknown");
  // The mute's register was not touched: still what the chip holds.
  EXPECT_EQ(check("HP Mute")->toolTip(), "");
}

TEST_F(ChipOnBoard, AValueChangedOutsideThisProgramIsToldOnceAndMarked) {
  connect();
  showPage(MainSheet::Tab::Inputs);
  Click(check("ADC Mute"));  // writes 0x0136
  boardChip.write(reg::CHIP_ANA_CTRL_REG, 0x0000);  // a brown-out
  Click(sheet->readChipButton());
  Click(sheet->readChipButton());
  QApplication::processEvents();
  // Said once, in the status line: no message box holds up the bring-up.
  EXPECT_EQ(shown(), Lines{});
  EXPECT_EQ(sheet->outsideChangesText(),
            "Changed outside this program: CHIP_ANA_CTRL_REG (written 0x0136, now 0x0000). The chip may have been "
            "reset or powered down, or another master wrote to it.");
  EXPECT_EQ(mapValue("CHIP_ANA_CTRL_REG")->toolTip(), "changed outside this program (written 0x0136)");
  EXPECT_FALSE(check("Enable ZCD")->isChecked());  // the page shows the chip as it is now
}

TEST_F(PanelTest, OverSpiThePagesKeepTheirPlacesAndReadChipSaysOnceItCannotRead) {
  Choose(list("Connection Type"), "SPI");
  Click(button("Connect"));
  Click(sheet->readChipButton());
  EXPECT_EQ(shown(), (Lines{"Tonvisor | MainSheet | Read Chip: SPI can only write, so no register can be read. "
                            "Choose I2C or Ethernet to read the chip."}));
  showPage(MainSheet::Tab::Outputs);
  EXPECT_EQ(valueOf("DAC Volume"), " 0dB ");
  showPage(MainSheet::Tab::I2s);
  EXPECT_EQ(list("I2S0_DLen")->currentText(), "32 bits");
  EXPECT_TRUE(bridge.i2cReads().empty());
}

}  // namespace
}  // namespace tonvisor::testing
