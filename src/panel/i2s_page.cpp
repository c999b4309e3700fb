#include "panel/i2s_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tonvisor {

namespace {

constexpr Choice kSclkFreq[] = {{"64Fs", 0}, {"32Fs", 1}};
constexpr Choice kSclkInv[] = {{"On rising edge", 0}, {"On falling edge", 1}};
constexpr Choice kDLen[] = {{"32 bits", 0}, {"24 bits", 1}, {"20 bits", 2}, {"16 bits", 3}};
// The mode field's code 3 is not offered.
constexpr Choice kMode[] = {{"I2S or Left Justified", 0}, {"Right Justified", 1}, {"DSP Mode A/B", 2}};
constexpr Choice kLrAlign[] = {{"Delay By 1 Bit Clk", 0}, {"No delay", 1}};
constexpr Choice kLrPol[] = {{"Left Channel", 0}, {"Right Channel", 1}};

// Every list starts at its first item.
constexpr ChoiceRow kLists[] = {
    {"I2S0_SCLK Freq", kSclkFreq, &field::ConfigureI2s0SclkFreq, " Set I2S0 SCLK Freq Failed "},
    {"SCLK_INV To Data", kSclkInv, &field::ConfigureI2s0SclkInv, " Set I2S0 SCLK INV Failed "},
    {"I2S0_DLen", kDLen, &field::ConfigureI2s0DLen, " Set I2S0 DLen Failed "},
    {"I2S0_MODE", kMode, &field::ConfigureI2s0Mode, " Set I2S0 Mode Failed "},
    {"I2S0_LRAlign To Data", kLrAlign, &field::ConfigureI2s0LrAlign, " Set I2S0 LRALIGN Failed "},
    {"I2S0_LRPol To Data", kLrPol, &field::ConfigureI2s0LrPol, " Set I2S0 LRPol Failed "},
};

}  // namespace

I2sPage::I2sPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "I2sPage", parent) {}

void I2sPage::build() {
  auto* form = new QFormLayout;
  for (const ChoiceRow& row : kLists) addChoice(form, row);
  QGroupBox* port = group("I2S0");
  port->setLayout(form);

  // The group as wide as its longest item, not the whole page.
  auto* row = new QHBoxLayout;
  row->addWidget(port);
  row->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addStretch();
}

}  // namespace tonvisor
