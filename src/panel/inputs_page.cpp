#include "panel/inputs_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "codec/field_meaning.h"

namespace tonvisor {

namespace {

// The ADC's gain steps by 1.5 dB; the labels read "0dB" until the first release.
constexpr ValueText kAdcVolume = ValueText::Number("%2.1fdB", AdcVolumeDb);

constexpr SliderRow kLeftVolume{"Left Volume", kAdcVolume, "0dB", 0, &field::WriteAdcLeftVolume};
constexpr SliderRow kRightVolume{"Right Volume", kAdcVolume, "0dB", 0, &field::WriteAdcRightVolume};
constexpr CheckRow kIndependent{"Independent L/R Volume Control"};  // read by the volume sliders only
constexpr CheckRow kAdcMute{"ADC Mute", &field::WriteAdcMute, "Mute ADC failed"};
constexpr CheckRow kAdcZcd{"Enable ZCD", &field::WriteAdcZcd, "Mute ZCD Enable/Disable failed"};

constexpr SliderRow kMicGain{"Mic Gain", ValueText::Integer("%ddB", kMicGainsDb), "0dB", 0, &field::WriteMicGain};
constexpr SliderRow kMicBias{"Mic Bias", ValueText::Text("%s", kMicBiases), "power off", 0, &field::ConfigureMicBias};

}  // namespace

InputsPage::InputsPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "InputsPage", parent) {}

void InputsPage::build() {
  auto* adcSliders = new QGridLayout;
  m_left = addSlider(adcSliders, kLeftVolume, [this](int) {
    volumeReleased(m_left, field::WriteAdcLeftVolume, m_right, field::WriteAdcRightVolume);
  });
  m_right = addSlider(adcSliders, kRightVolume, [this](int) {
    volumeReleased(m_right, field::WriteAdcRightVolume, m_left, field::WriteAdcLeftVolume);
  });
  auto* adcBoxes = new QVBoxLayout;
  m_independent = addCheck(adcBoxes, kIndependent, [](bool) {});
  addCheck(adcBoxes, kAdcMute);
  addCheck(adcBoxes, kAdcZcd);
  QGroupBox* adc = group("ADC Analog Volume Control ");
  auto* adcLayout = new QVBoxLayout(adc);
  adcLayout->addLayout(adcSliders);
  adcLayout->addLayout(adcBoxes);

  auto* micSliders = new QGridLayout;
  addSlider(micSliders, kMicGain);
  addSlider(micSliders, kMicBias);
  QGroupBox* mic = group("MIC Input Control");
  mic->setLayout(micSliders);

  alignSliderColumns({adcSliders, micSliders});

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(adc);
  layout->addWidget(mic);
  layout->addStretch();
}

void InputsPage::volumeReleased(ValueSlider* moved, const CodecField& channel, ValueSlider* other,
                                const CodecField& otherChannel) {
  const int position = moved->value();
  act([&] {
    codec().apply(channel, position);
    if (m_independent->isChecked()) return;
    other->moveTo(position);
    codec().apply(otherChannel, position);
  });
}

}  // namespace tonvisor
