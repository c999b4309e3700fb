#include "panel/outputs_page.h"

#include <algorithm>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "codec/field_meaning.h"

namespace tonvisor {

namespace {

// The DAC slider's right end is 0 dB; each position to the left is one DAC code, 0.5017 dB.
constexpr int kDacZeroDbPosition = 191;
double DacDb(int position) { return (position - kDacZeroDbPosition) * 0.5017; }
// The headphone slider's position p is code 127 - p: 12 dB at the right end, 0 dB at 103, and
// -51.5 dB at the left end (code 127, the quietest).
constexpr int kHpQuietestCode = field::WriteHpLeftVolume.largestCode();
int HpCode(int position) { return kHpQuietestCode - position; }
double HpDb(int position) { return HpVolumeDb(HpCode(position)); }

constexpr SliderRow kDacVolume{"DAC Volume", ValueText::Number("%.1fdB", DacDb), " 0dB ", kDacZeroDbPosition,
                               nullptr, kDacZeroDbPosition, false};
constexpr CheckRow kDacMute{"Mute", &field::WriteDacMute};
constexpr SliderRow kHpVolume{"Volume", ValueText::Number("%.1fdB", HpDb), " 0dB", 103, nullptr, kHpQuietestCode};
constexpr CheckRow kHpMute{"HP Mute"};
constexpr CheckRow kHpZcd{"Enable ZCD", &field::WriteHpZcd, "Mute HP ZCD Enable/Disable failed"};
constexpr CheckRow kLineOutMute{"LO Mute", &field::WriteLineOutMute, "Mute LO failed"};

// Where the chip keeps what these controls show: the left channel's codes (the pages set both
// channels alike) and the headphone mute, bit 4 of CHIP_ANA_CTRL_REG.
constexpr FieldPlace kDacLeftVolume{reg::CHIP_DAC_VOL_REG, 0x00FF, 0};
constexpr FieldPlace kHpLeftVolume = FieldPlace::Of(field::WriteHpLeftVolume);
constexpr FieldPlace kHpMuteBit{reg::CHIP_ANA_CTRL_REG, 0x0010, 4};
constexpr int kDacZeroDbCode = 0x3C;

// The DAC slider's position for a code: the one whose release writes that code when there is
// one (two positions write some codes: the one shown stays), else the nearer end.
int DacPosition(int code, int shown) {
  if (DacVolumeCode(DacDb(shown)) == code) return shown;
  for (int position = 0; position <= kDacZeroDbPosition; ++position) {
    if (DacVolumeCode(DacDb(position)) == code) return position;
  }
  return code < kDacZeroDbCode ? kDacZeroDbPosition : 0;
}

// The chip's own level of a DAC code: 0.5017 dB a code below code 0x3C, 0 dB.
QString DacText(int code) { return QString::asprintf("%.1fdB", DacVolumeDb(code)); }

// What a failed ramp or mute is called in the one message that ends it.
constexpr const char* kHpVolumeWork = "HP_OUT Analog Volume Control";
constexpr const char* kHpMuteWork = "HP Mute";

}  // namespace

OutputsPage::OutputsPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "OutputsPage", parent) {}

void OutputsPage::build() {
  QGroupBox* dac = group("DAC Digital Volume Control");
  auto* dacSlider = new QGridLayout;
  ValueSlider* dacVolume = addSlider(dacSlider, kDacVolume, [this](int position) { dacVolumeReleased(position); });
  auto* dacLayout = new QVBoxLayout(dac);
  dacLayout->addLayout(dacSlider);
  addCheck(dacLayout, kDacMute, [this](bool checked) { dacMuteClicked(checked); });
  follow(kDacLeftVolume, [dacVolume](int code) {
    showOnSlider(dacVolume, DacPosition(code, dacVolume->value()), DacText(code));
  }, [dacVolume](bool unknown) { markSliderUnknown(dacVolume, unknown); });


  QGroupBox* hp = group("HP_OUT Analog Volume Control");
  auto* hpSlider = new QGridLayout;
  ValueSlider* hpVolume = addSlider(hpSlider, kHpVolume, [this](int position) { hpVolumeReleased(position); });
  auto* hpLayout = new QVBoxLayout(hp);
  hpLayout->addLayout(hpSlider);
  m_hpMute = addCheck(hpLayout, kHpMute, [this](bool checked) { hpMuteClicked(checked); });
  follow(kHpLeftVolume, [hpVolume](int code) {
    const int position = std::max(0, kHpQuietestCode - code);
    showOnSlider(hpVolume, position, QString::fromStdString(hpVolume->text().of(kHpQuietestCode - code)));
  }, [hpVolume](bool unknown) { markSliderUnknown(hpVolume, unknown); });
  // The volume saved for the unmute is the program's own: following the mute leaves it.
  follow(kHpMuteBit, [this](int code) { m_hpMute->setChecked(code != 0); },
         [this](bool unknown) { markUnknown(m_hpMute, unknown); });
  addCheck(hpLayout, kHpZcd);

  alignSliderColumns({dacSlider, hpSlider});

  QGroupBox* lineOut = group("LINEOUT Analog Volume Control");
  addCheck(new QVBoxLayout(lineOut), kLineOutMute);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(dac);
  layout->addWidget(hp);
  layout->addWidget(lineOut);
  layout->addStretch();
}

void OutputsPage::dacVolumeReleased(int position) {
  act([&] { codec().ConfigureDacVolume(DacDb(position)); });
}

void OutputsPage::dacMuteClicked(bool checked) {
  state().dacMuted = checked;
  act([&] { codec().WriteDacMute(checked ? 1 : 0); });
}

void OutputsPage::hpVolumeReleased(int position) {
  const int code = HpCode(position);
  actLong(tr(kHpVolumeWork), [&] { codec().RampHpVolume(code); });
  // While muted, the volume chosen is the one to come back to: the unmute would otherwise ramp
  // back to the volume saved at the mute and lose it.
  if (m_hpMute->isChecked()) codec().SetSavedHpVolume(static_cast<std::uint16_t>(code | code << 8));
}

void OutputsPage::hpMuteClicked(bool checked) {
  actLong(tr(kHpMuteWork), [&] { codec().WriteHpMute(checked ? 1 : 0); });
}

}  // namespace tonvisor
