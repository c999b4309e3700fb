#include "panel/avc_page.h"

#include <cmath>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/typed_text.h"
#include "panel/dap_codes.h"

namespace tonvisor {

namespace {


constexpr CheckRow kAvcEnable{"Enable AVC", &field::WriteAvcEnable, " Enable AVC Failed"};
constexpr ChoiceRow kMaxGain{"AVC Max Gain(dB)", choices::kAvcMaxGain, &field::WriteAvcMaxGain, " Set AVC Max Gain Failed ", 1};
constexpr ChoiceRow kLbiResponse{"LBI Response(ms)", choices::kAvcLbiResponse, &field::WriteAvcLbiResponse,
                                 " Set AVC LBI Response Failed ", 1};

constexpr const char* kThreshold = "Threshold (dB)";
constexpr const char* kDecayRate = "AVC Decay Rate (dB/s)";
constexpr const char* kAttackRate = "AVC Attack Rate (dB/s)";

// The number a box starts with; a box without one reads as 0.
double Typed(const QLineEdit* box) { return ReadLeadingDecimal(box->text().toStdString()).value_or(0.0); }

QString Kilohertz(double hz) { return QString::number(hz / 1000.0); }

// A number as a box shows what the chip holds: at most `decimals` places, no trailing zeros.
QString Rounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return QString::number(std::round(value * scale) / scale);
}

}  // namespace

AvcPage::AvcPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "AvcPage", parent) {}

void AvcPage::build() {
  auto* boxes = new QVBoxLayout;
  addCheck(boxes, kAvcEnable);
  auto* form = new QFormLayout;
  addChoice(form, kMaxGain);
  addChoice(form, kLbiResponse);
  auto* lists = new QHBoxLayout;
  lists->addLayout(form);
  lists->addStretch();

  // Left to right: threshold, decay rate, attack rate, a few letters apart.
  const int gap = fontMetrics().horizontalAdvance(QStringLiteral("MMM"));
  auto* numbers = new QHBoxLayout;
  numbers->addLayout(addNumber(kThreshold, "-12", m_threshold, &AvcPage::setThreshold));
  numbers->addSpacing(gap);
  numbers->addLayout(addNumber(kDecayRate, "4", m_decay, &AvcPage::setDecayRate));
  numbers->addSpacing(gap);
  numbers->addLayout(addNumber(kAttackRate, "32", m_attack, &AvcPage::setAttackRate));
  numbers->addStretch();

  // The boxes show what the chip's codes mean, unless what they hold already means the same.
  follow(field::WriteAvcThreshold, [this](int code) {
    const std::optional<double> dB = AvcThresholdDb(code);
    if (dB && AvcThresholdCode(Typed(m_threshold)) != code) m_threshold->setText(Rounded(*dB, 2));
  }, [this](bool unknown) { markUnknown(m_threshold, unknown); });
  follow(field::WriteAvcDecayRate, [this](int code) {
    const double fs = sampleRate();
    if (fs > 0.0 && AvcDecayCode(Typed(m_decay), fs) != code) m_decay->setText(Rounded(AvcDecayRate(code, fs), 1));
  }, [this](bool unknown) { markUnknown(m_decay, unknown); });
  follow(field::WriteAvcAttackRate, [this](int code) {
    const double fs = sampleRate();
    if (fs > 0.0 && AvcAttackCode(Typed(m_attack), fs) != code) m_attack->setText(Rounded(AvcAttackRate(code, fs), 1));
  }, [this](bool unknown) { markUnknown(m_attack, unknown); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(boxes);
  layout->addLayout(lists);
  layout->addSpacing(gap / 2);
  layout->addLayout(numbers);
  layout->addStretch();
}

QLayout* AvcPage::addNumber(const char* text, const char* initial, QLineEdit*& box, void (AvcPage::*set)()) {
  box = edit(QString(), tr(initial));
  box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000")));
  QPushButton* setButton = button("Set");
  // Three buttons read "Set": each is named after the box it writes.
  setButton->setAccessibleName(tr("Set %1").arg(tr(text)));
  connect(setButton, &QPushButton::clicked, this, set);
  auto* column = new QVBoxLayout;
  column->addWidget(caption(text, box));
  column->addWidget(box, 0, Qt::AlignLeft);
  column->addWidget(setButton, 0, Qt::AlignLeft);
  return column;
}

void AvcPage::setThreshold() {
  const std::optional<int> code = AvcThresholdCode(Typed(m_threshold));
  if (!code) {
    tell(tr("The %1 must be at most %2: the chip's threshold goes no higher.")
             .arg(tr(kThreshold), QString::number(AvcThresholdHighestDb(), 'f', 2)));
    return;
  }
  apply(field::WriteAvcThreshold, *code, " Set AVC Threshold Failed ");
}

double AvcPage::sampleRate() const {
  if (state().systemSampleRate > 0.0) return state().systemSampleRate;
  // Before Config Clock the chip's own rate, when known, tells what its rate codes mean.
  const std::optional<int> code = FieldInCache(link().cache(), FieldPlace::Of(field::ConfigureSampleRate)).code;
  return code ? choices::kSampleRateHz[*code] : 0.0;
}

std::optional<double> AvcPage::typedRate(const QLineEdit* box) {
  // Rates are per sample: without the sample rate there is nothing to work them out from.
  if (!(state().systemSampleRate > 0.0)) {
    tell(tr("Set the sample rate with Config Clock on the Initialization page first: the AVC attack and decay "
            "rates depend on it."));
    return std::nullopt;
  }
  return Typed(box);
}

void AvcPage::setDecayRate() {
  const std::optional<double> rate = typedRate(m_decay);
  if (!rate) return;
  const double fs = state().systemSampleRate;
  const std::optional<int> code = AvcDecayCode(*rate, fs);
  if (!code) {
    tell(tr("The %1 must be from 0 to %2 at a sample rate of %3 kHz.")
             .arg(tr(kDecayRate), QString::number(AvcDecayHighest(fs), 'f', 1), Kilohertz(fs)));
    return;
  }
  apply(field::WriteAvcDecayRate, *code, " Set AVC Decay Rate Failed ");
}

void AvcPage::setAttackRate() {
  const std::optional<double> rate = typedRate(m_attack);
  if (!rate) return;
  const double fs = state().systemSampleRate;
  const std::optional<int> code = AvcAttackCode(*rate, fs);
  if (!code) {
    tell(tr("The %1 must be from 0 to %2 at a sample rate of %3 kHz.")
             .arg(tr(kAttackRate), QString::number(AvcAttackHighest(fs), 'f', 1), Kilohertz(fs)));
    return;
  }
  apply(field::WriteAvcAttackRate, *code, " Set AVC Attack Rate Failed ");
}

}  // namespace tonvisor
