#include "panel/peq_designer.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/typed_text.h"
#include "panel/panel_context.h"
#include "panel/response_plot.h"
#include "tools/pages/file_chooser.h"
#include "tools/peq_design_file.h"

namespace tonvisor {

namespace {

// Until Config Clock sets the chip's rate, designs are drawn at the rate most boards run.
constexpr double kDefaultRateHz = 48000.0;

// In the order of PeqBandType.
constexpr const char* kTypeCaptions[] = {"Flat",     "Peaking",   "Low shelf", "High shelf",
                                         "Low-pass", "High-pass", "Notch",     "Band-pass"};

struct NumberColumn {
  const char* caption;
  double lowest;
  double highest;
  int decimals;
  double step;
};
// Wide enough for any design a file can hold that the chip can run; the checks of the design
// itself (half the rate, the coefficients' range) say what is wrong beyond that.
constexpr NumberColumn kFrequency{"frequency", 0.01, 1e6, 2, 10.0};
constexpr NumberColumn kGain{"gain", -100.0, 100.0, 2, 0.5};
constexpr NumberColumn kQ{"Q", 0.001, 1000.0, 3, 0.1};

QString kilohertz(double hz) { return QString::fromStdString(FormatDecimal(hz / 1000.0)) + QStringLiteral(" kHz"); }

QDoubleSpinBox* numberBox(const NumberColumn& column, std::size_t band) {
  auto* box = new QDoubleSpinBox;
  box->setLocale(QLocale::c());
  box->setRange(column.lowest, column.highest);
  box->setDecimals(column.decimals);
  box->setSingleStep(column.step);
  box->setAccelerated(true);
  // Typed, stepped with the arrow keys or turned with the wheel: arrows beside each of 21
  // boxes would take the room the plot needs.
  box->setButtonSymbols(QAbstractSpinBox::NoButtons);
  box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QString(column.decimals + 8, QLatin1Char('0'))));
  box->setAccessibleName(QStringLiteral("Band %1 %2").arg(band).arg(QLatin1String(column.caption)));
  return box;
}

}  // namespace

PeqDesigner::PeqDesigner(FileChooser& files, const PanelState& state, std::function<void(const QString&)> tell,
                         QWidget* parent)
    : QWidget(parent), m_files(files), m_state(state), m_tell(std::move(tell)) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(1);
  const QStringList headers = {tr("Band"), tr("Type"), tr("Hz"), tr("dB"), tr("Q")};
  for (int c = 0; c < headers.size(); ++c) grid->addWidget(new QLabel(headers[c]), 0, c, Qt::AlignHCenter);
  for (std::size_t b = 0; b < kPeqBandCount; ++b) addRow(b, grid);

  m_problem = new QLabel;
  m_problem->setWordWrap(true);
  m_problem->setAccessibleName(tr("Design problem"));
  QPalette warning = m_problem->palette();
  warning.setColor(QPalette::WindowText, Qt::darkRed);
  m_problem->setPalette(warning);

  m_load = new QPushButton(tr("Load into Chip"));
  m_load->setAccessibleName(tr("Load into Chip"));
  auto* openButton = new QPushButton(tr("Open Design..."));
  openButton->setAccessibleName(tr("Open Design"));
  auto* saveButton = new QPushButton(tr("Save Design..."));
  saveButton->setAccessibleName(tr("Save Design"));
  connect(m_load, &QPushButton::clicked, this, &PeqDesigner::loadRequested);
  connect(openButton, &QPushButton::clicked, this, &PeqDesigner::open);
  connect(saveButton, &QPushButton::clicked, this, &PeqDesigner::save);
  m_buttons = new QHBoxLayout;
  m_buttons->addWidget(m_load);
  m_buttons->addWidget(openButton);
  m_buttons->addWidget(saveButton);
  m_buttons->addStretch();

  auto* table = new QVBoxLayout;
  table->addLayout(grid);
  table->addWidget(m_problem);
  table->addStretch();

  m_plot = new ResponsePlot;
  auto* body = new QHBoxLayout;
  body->addLayout(table);
  body->addWidget(m_plot, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(m_buttons);
  layout->addLayout(body, 1);
  for (std::size_t b = 0; b < kPeqBandCount; ++b) showRow(b);
  showDesign();
}

void PeqDesigner::placeBeforeButtons(QWidget* control) { m_buttons->insertWidget(0, control); }

void PeqDesigner::addRow(std::size_t band, QGridLayout* grid) {
  Row& row = m_rows[band];
  row.type = new QComboBox;
  for (PeqBandType type : kPeqBandTypes) {
    row.type->addItem(tr(kTypeCaptions[static_cast<std::size_t>(type)]), static_cast<int>(type));
  }
  row.type->setAccessibleName(QStringLiteral("Band %1 type").arg(band));
  row.frequency = numberBox(kFrequency, band);
  row.gain = numberBox(kGain, band);
  row.q = numberBox(kQ, band);
  const int r = static_cast<int>(band) + 1;
  grid->addWidget(new QLabel(QString::number(band)), r, 0, Qt::AlignHCenter);
  grid->addWidget(row.type, r, 1);
  grid->addWidget(row.frequency, r, 2);
  grid->addWidget(row.gain, r, 3);
  grid->addWidget(row.q, r, 4);
  // Only the user's edits change the design: showRow() sets the boxes with signals blocked.
  connect(row.type, &QComboBox::activated, this, [this, band] { edited(band); });
  for (QDoubleSpinBox* box : {row.frequency, row.gain, row.q}) {
    connect(box, &QDoubleSpinBox::valueChanged, this, [this, band] { edited(band); });
  }
}

void PeqDesigner::edited(std::size_t band) {
  const Row& row = m_rows[band];
  PeqBand& designed = m_design[band];
  designed.type = static_cast<PeqBandType>(row.type->currentData().toInt());
  // A box keeps the exact value a file gave until the user changes that box.
  auto take = [](const QDoubleSpinBox* box, double& value) {
    if (QString::number(value, 'f', box->decimals()) != QString::number(box->value(), 'f', box->decimals())) {
      value = box->value();
    }
  };
  take(row.frequency, designed.frequencyHz);
  take(row.gain, designed.gainDb);
  take(row.q, designed.q);
  enableRow(band);
  showDesign();
}

void PeqDesigner::showRow(std::size_t band) {
  const Row& row = m_rows[band];
  const PeqBand& designed = m_design[band];
  for (QWidget* box : {static_cast<QWidget*>(row.type), static_cast<QWidget*>(row.frequency),
                       static_cast<QWidget*>(row.gain), static_cast<QWidget*>(row.q)}) {
    box->blockSignals(true);
  }
  row.type->setCurrentIndex(row.type->findData(static_cast<int>(designed.type)));
  row.frequency->setValue(designed.frequencyHz);
  row.gain->setValue(designed.gainDb);
  row.q->setValue(designed.q);
  for (QWidget* box : {static_cast<QWidget*>(row.type), static_cast<QWidget*>(row.frequency),
                       static_cast<QWidget*>(row.gain), static_cast<QWidget*>(row.q)}) {
    box->blockSignals(false);
  }
  enableRow(band);
}

void PeqDesigner::enableRow(std::size_t band) {
  const Row& row = m_rows[band];
  const PeqBandType type = m_design[band].type;
  row.frequency->setEnabled(type != PeqBandType::Flat);
  row.q->setEnabled(type != PeqBandType::Flat);
  row.gain->setEnabled(PeqBandUsesGain(type));
}

double PeqDesigner::plotRate() const {
  if (m_state.systemSampleRate > 0.0) return m_state.systemSampleRate;
  return m_designRate.value_or(kDefaultRateHz);
}

void PeqDesigner::showEvent(QShowEvent* event) {
  // Config Clock may have changed the rate since the plot was last drawn.
  refresh();
  QWidget::showEvent(event);
}

void PeqDesigner::showDesign() {
  m_preset.reset();
  refresh();
}

void PeqDesigner::showPreset(PeqPreset preset) {
  m_preset = preset;
  refresh();
}

void PeqDesigner::showBandGains(const QList<QPointF>& hzAndDb, const QString& title) {
  m_points = std::pair{hzAndDb, title};
  refresh();
}

void PeqDesigner::hideBandGains() {
  m_points.reset();
  refresh();
}

void PeqDesigner::refresh() {
  const double rate = plotRate();
  // The design's problems are told whatever the plot shows.
  std::array<std::optional<Biquad>, kPeqBandCount> bands;
  QString problem;
  for (std::size_t b = 0; b < kPeqBandCount; ++b) {
    if (m_design[b].type == PeqBandType::Flat) continue;
    // Each band on its own, so that one that cannot be made leaves the others drawn.
    PeqDesign alone{};
    alone[b] = m_design[b];
    const PeqTableResult made = DesignPeqTable(alone, rate);
    if (made.table) {
      bands[b] = DecodePeqBand((*made.table)[b]);
    } else if (problem.isEmpty()) {
      problem = QString::fromStdString(made.error);
    }
  }
  m_problem->setText(problem);
  m_problem->setVisible(!problem.isEmpty());
  const QString at = kilohertz(rate) + (m_state.systemSampleRate > 0.0 ? QString() : tr(" (before Config Clock)"));

  if (m_points) {
    m_plot->showPoints(rate, m_points->first, m_points->second);
  } else if (m_preset) {
    // A preset's coefficients are fixed: only the frequency axis follows the rate.
    for (std::size_t b = 0; b < kPeqBandCount; ++b) bands[b] = DecodePeqBand(PeqPresetTable(*m_preset)[b]);
    const std::string_view name = PeqPresetName(*m_preset);
    m_plot->showCurves(rate, bands,
                       tr("Preset %1 at %2").arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), at));
  } else {
    m_plot->showCurves(rate, bands, tr("Design %1 at %2").arg(QString::fromStdString(m_name), at));
  }
}

std::optional<PeqDesigner::ChipLoad> PeqDesigner::designForChip() {
  const double chipRate = m_state.systemSampleRate;
  if (!(chipRate > 0.0)) {
    m_tell(tr("Set the sample rate with Config Clock on the Initialization page first: the PEQ design's "
              "coefficients depend on it."));
    return std::nullopt;
  }
  if (m_designRate && *m_designRate != chipRate) {
    m_tell(tr("The design %1 is for %2 Hz, but Config Clock set %3 Hz: its bands would land elsewhere. Save it "
              "again to make it for %3 Hz.")
               .arg(QString::fromStdString(m_name), QString::fromStdString(FormatDecimal(*m_designRate)),
                    QString::fromStdString(FormatDecimal(chipRate))));
    return std::nullopt;
  }
  const PeqTableResult made = DesignPeqTable(m_design, chipRate);
  if (!made.table) {
    m_tell(tr("The design cannot be loaded: %1.").arg(QString::fromStdString(made.error)));
    return std::nullopt;
  }
  return ChipLoad{m_name, *made.table};
}

void PeqDesigner::open() {
  const std::optional<QString> chosen = m_files.chooseOpenFile(this);
  if (!chosen) return;
  std::string error;
  const std::optional<PeqDesignFile> file = ReadPeqDesignFile(LocalPath(*chosen), error);
  if (!file) {
    m_tell(QString::fromStdString(error));
    return;
  }
  m_design = file->design;
  m_designRate = file->rateHz;
  m_name = QFileInfo(*chosen).fileName().toStdString();
  for (std::size_t b = 0; b < kPeqBandCount; ++b) showRow(b);
  showDesign();
}

void PeqDesigner::save() {
  const std::optional<QString> chosen = m_files.chooseSaveFile(this);
  if (!chosen) return;
  // The design is saved for the rate it is made at: the chip's once Config Clock has run.
  const std::optional<double> rate = m_state.systemSampleRate > 0.0 ? std::optional(m_state.systemSampleRate) : m_designRate;
  std::string error;
  if (!WritePeqDesignFile(LocalPath(*chosen), m_design, rate, error)) {
    m_tell(QString::fromStdString(error));
    return;
  }
  m_designRate = rate;
  m_name = QFileInfo(*chosen).fileName().toStdString();
  showDesign();
}

}  // namespace tonvisor
