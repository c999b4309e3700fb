#include "panel/i2s_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tonvisor {

namespace {

// Every list starts at its first item.
constexpr ChoiceRow kLists[] = {
    {"I2S0_SCLK Freq", choices::kSclkFreq, &field::ConfigureI2s0SclkFreq, " Set I2S0 SCLK Freq Failed "},
    {"SCLK_INV To Data", choices::kSclkInv, &field::ConfigureI2s0SclkInv, " Set I2S0 SCLK INV Failed "},
    {"I2S0_DLen", choices::kDLen, &field::ConfigureI2s0DLen, " Set I2S0 DLen Failed "},
    {"I2S0_MODE", choices::kI2sMode, &field::ConfigureI2s0Mode, " Set I2S0 Mode Failed "},
    {"I2S0_LRAlign To Data", choices::kLrAlign, &field::ConfigureI2s0LrAlign, " Set I2S0 LRALIGN Failed "},
    {"I2S0_LRPol To Data", choices::kLrPol, &field::ConfigureI2s0LrPol, " Set I2S0 LRPol Failed "},
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
