#include "panel/eq_page.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "codec/peq_presets.h"
#include "link/typed_text.h"
#include "panel/dap_codes.h"
#include "panel/live_slider.h"
#include "panel/peq_designer.h"
#include "panel/slider_accessibility.h"
#include "panel/up_down.h"

namespace tonvisor {

namespace {

// The equaliser modes, as the mode field's codes.
constexpr int kPeq = 1;
constexpr int kToneControl = 2;
constexpr int kGeq = 3;
constexpr Choice kPresets[] = {{"Flat", static_cast<int>(PeqPreset::Flat)},
                               {"Rock", static_cast<int>(PeqPreset::Rock)},
                               {"Classical", static_cast<int>(PeqPreset::Classical)},
                               {"Dance", static_cast<int>(PeqPreset::Dance)},
                               {"Acoustic", static_cast<int>(PeqPreset::Acoustic)}};

constexpr const char* kModeCaption = "Select PEQ/GEQ/Tone Control";
constexpr const char* kModeFailed = " Error Enable EQ Mode";
constexpr const char* kPresetCaption = "PEQ Control";
// The parametric equaliser's seven bands, all of them used by every preset.
constexpr int kPeqFilters = 7;
// A preset: the number of filters, then 77 coefficient writes (Acoustic 78).
constexpr std::size_t kPresetAccesses = 78;

constexpr std::size_t kGeqBands = 5;
constexpr std::size_t kBass = 5;
constexpr std::size_t kTreble = 6;
// Where the plot puts each band's gain: Bass shares its register with GEQ0, Treble with GEQ4.
constexpr double kCentreHz[] = {115.0, 330.0, 990.0, 3000.0, 9900.0, 115.0, 9900.0};
// Return reads the boxes in this order.
constexpr std::size_t kTypedOrder[] = {kBass, 0, 1, 2, 3, 4, kTreble};

}  // namespace

EqPage::EqPage(const PanelContext& context, QWidget* parent)
    : ChipPage(context, "EqPage", parent),
      m_bands{{{"GEQ0", "115Hz", &field::WriteGeq0Volume, " Writing GEQ0 Failed"},
               {"GEQ1", "330Hz", &field::WriteGeq1Volume, " Writing GEQ1 Failed"},
               {"GEQ2", "990Hz", &field::WriteGeq2Volume, " Writing GEQ2 Failed"},
               {"GEQ3", "3000Hz", &field::WriteGeq3Volume, " Writing GEQ3 Failed"},
               {"GEQ4", "9900Hz", &field::WriteGeq4Volume, " Writing GEQ4 Failed"},
               {"Bass", nullptr, &field::WriteToneBass, " Writing Bass Failed"},
               {"Treble", nullptr, &field::WriteToneTreble, " Writing Treble Failed"}}} {}

void EqPage::build() {
  auto* modeForm = new QFormLayout;
  m_mode = addChoice(modeForm, {kModeCaption, choices::kEqMode, &field::SelectEqMode},
                     [this](int mode) { modeChosen(mode); });
  m_presets = list(kPresets);
  m_presets->setAccessibleName(tr(kPresetCaption));
  conflictGuard().guard(m_presets);
  connect(m_presets, &QComboBox::activated, this,
          [this](int index) { presetChosen(m_presets->itemData(index).toInt()); });
  QGroupBox* peq = group(kPresetCaption);
  m_designer = new PeqDesigner(context().files, state(), [this](const QString& text) { tell(text); });
  connect(m_designer, &PeqDesigner::loadRequested, this, &EqPage::loadDesign);
  m_designer->placeBeforeButtons(m_presets);
  conflictGuard().guard(m_designer->loadButton());
  (new QVBoxLayout(peq))->addWidget(m_designer);

  auto* top = new QHBoxLayout;
  top->addLayout(modeForm);
  top->addStretch();
  QGroupBox* geq = group("GEQ Control");
  auto* geqColumns = new QHBoxLayout(geq);
  for (std::size_t b = 0; b < kGeqBands; ++b) geqColumns->addLayout(addBand(m_bands[b]));
  QGroupBox* tone = group("Tone Control Setting");
  auto* toneColumns = new QHBoxLayout(tone);
  toneColumns->addLayout(addBand(m_bands[kBass]));
  toneColumns->addLayout(addBand(m_bands[kTreble]));
  auto* bands = new QHBoxLayout;
  bands->addWidget(geq, kGeqBands);
  bands->addWidget(tone, 2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(peq, 1);
  layout->addLayout(bands);

  // Nothing is on until a mode is chosen; nothing is written meanwhile.
  for (Band& band : m_bands) {
    for (QWidget* control : {static_cast<QWidget*>(band.slider), static_cast<QWidget*>(band.box),
                             static_cast<QWidget*>(band.steps)}) {
      control->setEnabled(false);
    }
  }
  conflictGuard().setEnabled(m_presets, false);
  conflictGuard().setEnabled(m_designer->loadButton(), false);
  // The list follows the chip by itself; the bands it enables follow with it.
  follow(field::SelectEqMode, [this](int mode) { enableFor(mode); });
}

QLayout* EqPage::addBand(Band& band) {
  band.slider = new LiveSlider(Qt::Vertical, kEqBandLargest, kEqBandZeroDb);
  // Before it is named: naming it makes its accessible interface.
  SetAccessibleValueText(band.slider, [](int code) {
    return QStringLiteral("%1 dB").arg(QString::fromStdString(EqGainText(EqBandGainDb(code))));
  });
  band.slider->setAccessibleName(tr(band.name));
  // The designer above shares the page's height: a band keeps room for its 96 positions.
  band.slider->setMinimumHeight(band.slider->fontMetrics().height() * 7);
  band.box = edit(tr("%1 value").arg(tr(band.name)), QString::fromStdString(EqGainText(0.0)));
  band.box->setMaximumWidth(band.box->fontMetrics().horizontalAdvance(QStringLiteral("-00.000")) + 8);
  band.steps = new UpDown(tr("%1 up-down").arg(tr(band.name)), 0, kEqBandLargest, kEqBandZeroDb);

  auto* column = new QVBoxLayout;
  auto* name = new QLabel(tr(band.name));
  column->addWidget(name, 0, Qt::AlignHCenter);
  // Bass and Treble have no frequency: their line is left empty, so that their sliders start
  // and end level with the GEQ's and the same gain sits at the same height on every band.
  auto* frequency = new QLabel(band.frequency != nullptr ? tr(band.frequency) : QString());
  frequency->setMinimumHeight(frequency->fontMetrics().height());
  column->addWidget(frequency, 0, Qt::AlignHCenter);
  column->addWidget(band.slider, 1, Qt::AlignHCenter);
  auto* typed = new QHBoxLayout;
  typed->setSpacing(1);
  typed->addWidget(band.steps);
  typed->addWidget(band.box);
  column->addLayout(typed);

  follow(*band.field, [this, &band](int code) {
    band.gainDb = EqBandGainDb(code);
    if (!band.slider->isSliderDown()) band.slider->setValue(std::min(code, kEqBandLargest));
    band.steps->setPosition(std::min(code, kEqBandLargest));
    band.box->setText(QString::fromStdString(EqGainText(band.gainDb)));
  }, [&band](bool unknown) {
    markUnknown(band.box, unknown);
    markUnknown(band.slider, unknown);
  });

  connect(band.slider, &LiveSlider::moved, this, [this, &band](int code) {
    band.steps->setPosition(code);
    bandMoved(band, code);
  });
  connect(band.steps, &UpDown::stepped, this, [this, &band](int code) {
    band.slider->setValue(code);
    bandMoved(band, code);
  });
  return column;
}

void EqPage::enableFor(int mode) {
  conflictGuard().setEnabled(m_presets, mode == kPeq);
  conflictGuard().setEnabled(m_designer->loadButton(), mode == kPeq);
  for (std::size_t b = 0; b < m_bands.size(); ++b) {
    const bool on = b < kGeqBands ? mode == kGeq : mode == kToneControl;
    m_bands[b].slider->setEnabled(on);
    m_bands[b].box->setEnabled(on);
    m_bands[b].steps->setEnabled(on);
  }
}

void EqPage::modeChosen(int mode) {
  enableFor(mode);
  act([mode, owner = owner()](LinkSide& side, JobReport&) {
    // The parametric equaliser runs all seven filters, whatever it ran before.
    if (mode == kPeq) side.codec.WriteNumPeqFilters(kPeqFilters);
    if (side.codec.SelectEqMode(mode).status != status::kOk) side.tell(kModeFailed, owner);
  });
  plotBandGains();
}

void EqPage::presetChosen(int preset) {
  const auto chosen = static_cast<PeqPreset>(preset);
  const std::size_t accesses = kPresetAccesses + (chosen == PeqPreset::Acoustic ? 1 : 0);
  // Over Ethernet a preset takes seconds: a progress window, and one message at the end when
  // writes did not reach the chip.
  actWithProgress(tr("Load Preset"), accesses, [chosen](LinkSide& side, JobReport&) {
    WriteLog& log = side.link.writeLog();
    log.appendComment("   \n");
    log.appendComment("# Load Preset\n");
    side.codec.WriteNumPeqFilters(kPeqFilters);
    LoadPeqPreset(side.link, chosen);
  });
  m_designer->showPreset(chosen);
}

void EqPage::loadDesign() {
  const std::optional<PeqDesigner::ChipLoad> design = m_designer->designForChip();
  if (!design) return;
  // As a preset: a progress window over Ethernet, one message at the end for failed writes.
  actWithProgress(tr("Load PEQ Design"), kPresetAccesses, [load = *design](LinkSide& side, JobReport&) {
    LoadPeqDesign(side.codec, load.name, load.table);
  });
}

void EqPage::plotBandGains() {
  const int mode = m_mode->currentData().toInt();
  if (mode != kGeq && mode != kToneControl) {
    m_designer->hideBandGains();
    return;
  }
  QList<QPointF> points;
  for (std::size_t b = 0; b < m_bands.size(); ++b) {
    if ((b < kGeqBands) == (mode == kGeq)) points.append({kCentreHz[b], m_bands[b].gainDb});
  }
  m_designer->showBandGains(points, mode == kGeq ? tr("GEQ band gains") : tr("Tone Control band gains"));
}

void EqPage::bandMoved(Band& band, int code) {
  band.gainDb = EqBandGainDb(code);
  showGains();
  apply(*band.field, code, band.failure, band.field);
}

void EqPage::showGains() {
  for (Band& band : m_bands) band.box->setText(QString::fromStdString(EqGainText(band.gainDb)));
  plotBandGains();
}

bool EqPage::enterPressed() {
  // Every box is read before anything is written: a box without a number is named, and
  // nothing is written.
  double typed[7] = {};
  for (const std::size_t b : kTypedOrder) {
    const std::string text = m_bands[b].box->text().trimmed().toStdString();
    const NumberReading<double> number = ReadFiniteNumber(text);
    if (!number.value && !number.outOfRange) {
      tell(tr("The %1 gain must be a number of dB, such as -1.25.").arg(tr(m_bands[b].name)));
      return true;
    }
    // Too large for a double is beyond the band's range; too small is 0 dB.
    typed[b] = number.value ? *number.value : ReadLeadingDecimal(text).value_or(0.0);
  }
  for (std::size_t b = 0; b < m_bands.size(); ++b) m_bands[b].gainDb = typed[b];

  const int mode = m_mode->currentData().toInt();
  std::vector<std::pair<const CodecField*, int>> writes;
  for (std::size_t b = 0; b < m_bands.size(); ++b) {
    Band& band = m_bands[b];
    if (b < kGeqBands ? mode != kGeq : mode != kToneControl) continue;
    const ClampedCode code = EqBandCodeFromGain(band.gainDb);
    // Beyond -11.75 or +12 dB the band is set to the nearer end, and its box says so.
    if (code.clamped) {
      band.gainDb = EqBandGainDb(code.code);
      band.box->setText(QString::fromStdString(EqGainText(band.gainDb)));
    }
    band.slider->setValue(code.code);
    band.steps->setPosition(code.code);
    writes.emplace_back(band.field, code.code);
  }
  act([writes](LinkSide& side, JobReport&) {
    for (const auto& [field, code] : writes) side.codec.apply(*field, code);
  });
  plotBandGains();
  return true;
}

}  // namespace tonvisor
