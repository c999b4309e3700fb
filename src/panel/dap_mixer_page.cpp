#include "panel/dap_mixer_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "link/typed_text.h"
#include "panel/dap_codes.h"
#include "panel/slider_scale.h"

namespace tonvisor {

namespace {


constexpr CheckRow kMixerEnable{"Enable DAP Mixer", &field::WriteDapMixerEnable, " Enable DAP Mixer Failed"};
constexpr ChoiceRow kMixerInput{"Select DAP Mixer Input", choices::kMixerInput, &field::WriteDapMixerInput,
                                " Set Mixer Input Failed "};

// A slider's position is the 16-bit gain itself: 32768 is unity, shown "100%".
constexpr ValueText kVolumeText = ValueText::Number("%.f%%", DapVolumePercent);
constexpr int kUnity = 32768;
constexpr const char* kMixerVolume = "DAP Mixer Volume";
constexpr const char* kMainVolume = "DAP Main Volume";

QString TextOf(int gain) { return QString::fromStdString(kVolumeText.of(gain)); }

}  // namespace

DapMixerPage::DapMixerPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "DapMixerPage", parent) {}

void DapMixerPage::build() {
  auto* layout = new QVBoxLayout(this);
  auto* boxes = new QVBoxLayout;
  addCheck(boxes, kMixerEnable);
  layout->addLayout(boxes);
  auto* form = new QFormLayout;
  addChoice(form, kMixerInput);
  auto* formRow = new QHBoxLayout;  // the list as wide as its items, not the page
  formRow->addLayout(form);
  formRow->addStretch();
  layout->addLayout(formRow);
  m_mixer = addVolume(layout, kMixerVolume, field::WriteDapMixerVolume, "Write DAP Mixer Volume failed");
  m_main = addVolume(layout, kMainVolume, field::WriteDapMainVolume, "Write DAP Main Volume failed");
  layout->addStretch();
}

DapMixerPage::Volume DapMixerPage::addVolume(QLayout* layout, const char* title, const CodecField& field,
                                             const char* failure) {
  Volume volume;
  volume.slider = new ValueSlider(kVolumeText, kDapVolumeLargest);
  volume.slider->setValue(kUnity);
  volume.slider->setAccessibleName(tr(title));
  volume.box = edit(tr("%1 value").arg(tr(title)), TextOf(kUnity));
  volume.box->setMaximumWidth(volume.box->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));

  auto* grid = new QGridLayout;
  grid->addWidget(volume.slider, 0, 0);
  grid->addWidget(volume.box, 0, 1);
  grid->addWidget(new SliderScale(volume.slider, {{0, tr("0%")}, {kUnity, tr("100%")}, {kDapVolumeLargest, tr("200%")}}),
                  1, 0);
  QGroupBox* group = this->group(title);
  group->setLayout(grid);
  layout->addWidget(group);

  const Volume shown = volume;
  follow(field, [shown](int gain) {
    showOnSlider(shown.slider, gain, TextOf(gain));
    // A box that already reads as this gain ("150" for 150 %) is left as typed.
    const std::optional<double> typed = ReadLeadingDecimal(shown.box->text().toStdString());
    if (!typed || DapVolumeFromPercent(*typed).code != gain) shown.box->setText(TextOf(gain));
  }, [shown](bool unknown) {
    markUnknown(shown.box, unknown);
    markUnknown(shown.slider, unknown);
  });

  const Volume released = volume;
  connect(volume.slider, &ValueSlider::released, this, [this, released, &field, failure](int gain) {
    act([&] {
      const Status status = codec().apply(field, gain).status;
      // The box shows the gain let go of, whatever came of the write.
      released.box->setText(TextOf(gain));
      if (status != status::kOk) tell(failure);
    });
  });
  return volume;
}

bool DapMixerPage::enterPressed() {
  act([&] {
    enterVolume(m_main, field::WriteDapMainVolume);
    enterVolume(m_mixer, field::WriteDapMixerVolume);
  });
  return true;
}

void DapMixerPage::enterVolume(const Volume& volume, const CodecField& field) {
  // The number the box starts with ("150", "150%"); a box without one reads as 0 %.
  const double percent = ReadLeadingDecimal(volume.box->text().toStdString()).value_or(0.0);
  const ClampedCode gain = DapVolumeFromPercent(percent);
  volume.slider->setValue(gain.code);
  // Beyond 0 % to 200 %, the box shows what was written instead of what was typed.
  if (gain.clamped) volume.box->setText(TextOf(gain.code));
  codec().apply(field, gain.code);
}

}  // namespace tonvisor
