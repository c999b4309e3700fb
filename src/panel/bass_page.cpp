#include "panel/bass_page.h"

#include <algorithm>
#include <climits>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/typed_text.h"
#include "panel/dap_codes.h"
#include "panel/slider_scale.h"
#include "panel/up_down.h"

namespace tonvisor {

namespace {

// Any text but the seven frequencies is the high-pass filter's last code.
constexpr int kInitialCutoff = 4;  // "175"

constexpr CheckRow kBassEnable{"Enable Bass Enhance", &field::WriteBassEnhanceEnable,
                               "Setting Bass Enhance Enable failed"};
constexpr ChoiceRow kCutoff{"Cut-Off Frequency(Hz)", choices::kBassCutoff, &field::WriteBassCutoff,
                            "Setting Bass Cut Off Freq failed", kInitialCutoff};
constexpr ChoiceRow kHpfCutoff{"High Pass Filter Cut-Off Frequency(Hz)", choices::kBassHpfCutoff, &field::WriteBassHpfCutoff,
                               "Setting Bass HPF Cut Off Freq failed", 7};
constexpr CheckRow kHpfBypass{"Bypass High Pass Filter", &field::WriteBassHpfBypass,
                              "Setting Bass Enhance Bypass HPF failed"};
constexpr const char* kMultiplier = "Multiplier ";
constexpr const char* kMultFailed = " Set MULT Failed ";

constexpr ValueText kLevelText = ValueText::Number("%.0f", [](int level) { return double(level); });

// A whole number typed in a level's box, or nothing when the box holds none. A number too
// large for an int is beyond either end of the slider, which it is brought back to anyway.
std::optional<long long> TypedLevel(const QLineEdit* box) {
  const std::string text = box->text().trimmed().toStdString();
  const NumberReading<int> number = ReadDecimalInt(text);
  if (number.value) return *number.value;
  if (number.outOfRange) return text.starts_with('-') ? LLONG_MIN : LLONG_MAX;
  return std::nullopt;
}

}  // namespace

BassPage::BassPage(const PanelContext& context, QWidget* parent)
    : ChipPage(context, "BassPage", parent),
      m_bass{"Bass Level", &field::WriteBassLevel, "Setting Bass Level failed", 31},
      m_main{"Main Channel Mix Level", &field::WriteBassLrLevel, "Setting DAP LR Level failed", 5} {}

void BassPage::build() {
  auto* top = new QHBoxLayout;
  addCheck(top, kBassEnable);
  top->addStretch();
  m_multiplier = edit(QString(), QString());
  top->addWidget(caption(kMultiplier, m_multiplier));
  m_multiplier->setMaximumWidth(m_multiplier->fontMetrics().horizontalAdvance(QStringLiteral("000000000")));
  top->addWidget(m_multiplier);
  QPushButton* set = button("Set");
  set->setAccessibleName(tr("Set Multiplier"));
  top->addWidget(set);
  top->addStretch();
  connect(set, &QPushButton::clicked, this, [this] { setMultiplier(); });
  follow(field::WriteBassMult, [this](int code) { m_multiplier->setText(QString::number(code)); },
         [this](bool unknown) { markUnknown(m_multiplier, unknown); });

  auto* form = new QFormLayout;
  addChoice(form, kCutoff);
  addChoice(form, kHpfCutoff);
  auto* bypass = new QVBoxLayout;
  addCheck(bypass, kHpfBypass);

  auto* lists = new QHBoxLayout;  // the lists as wide as their items, not the page
  lists->addLayout(form);
  lists->addStretch();

  auto* levels = new QVBoxLayout;
  auto* bass = group(m_bass.name);
  bass->setLayout(addLevel(m_bass, "0\nMost Bass Boost", "127\nLeast Bass Boost"));
  auto* main = group(m_main.name);
  main->setLayout(addLevel(m_main, "0\nHighest Main Channel Level", "63\nLowest Main Channel Level"));
  levels->addWidget(bass);
  levels->addWidget(main);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(lists);
  layout->addLayout(bypass);
  layout->addLayout(levels);
  layout->addStretch();
}

QLayout* BassPage::addLevel(Level& level, const char* lowEnd, const char* highEnd) {
  const int largest = level.field->largestCode();
  level.slider = new ValueSlider(kLevelText, largest);
  level.slider->setValue(level.value);
  level.slider->setAccessibleName(tr(level.name));
  level.box = edit(tr("%1 value").arg(tr(level.name)), QString::number(level.value));
  level.box->setMaximumWidth(level.box->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
  // Beside the box, not attached to it: it steps its own position.
  level.steps = new UpDown(tr("%1 up-down").arg(tr(level.name)), 0, largest, level.value);

  auto* grid = new QGridLayout;
  grid->addWidget(level.slider, 0, 0);
  grid->addWidget(level.steps, 0, 1);
  grid->addWidget(level.box, 0, 2);
  grid->addWidget(new SliderScale(level.slider, {{0, tr(lowEnd)}, {largest, tr(highEnd)}}), 1, 0);
  grid->setColumnStretch(0, 1);

  follow(*level.field, [this, &level](int code) {
    level.value = code;
    showOnSlider(level.slider, code, QString::number(code));
    level.steps->setPosition(code);
    level.box->setText(QString::number(code));
  }, [&level](bool unknown) {
    markUnknown(level.box, unknown);
    markUnknown(level.slider, unknown);
  });

  connect(level.steps, &UpDown::stepped, this, [this, &level](int position) { levelStepped(level, position); });
  connect(level.slider, &ValueSlider::released, this, [this, &level](int position) { levelReleased(level, position); });
  return grid;
}

void BassPage::showEvent(QShowEvent* event) {
  ChipPage::showEvent(event);
  if (m_shownOnce) return;
  m_shownOnce = true;
  // The chip's cut-off is made to agree with the list the first time the user sees it; the
  // write says nothing of how it went. A cut-off known from the chip is already on the list:
  // writing "175" over it would change the chip behind the user's back.
  if (FieldInCache(link().cache(), FieldPlace::Of(field::WriteBassCutoff)).code) return;
  act([&] { codec().WriteBassCutoff(choices::kBassCutoff[kInitialCutoff].code); });
}

void BassPage::showLevels() {
  m_bass.box->setText(QString::number(m_bass.value));
  m_main.box->setText(QString::number(m_main.value));
}

void BassPage::levelStepped(Level& level, int position) {
  level.value = position;
  showLevels();
  level.slider->setValue(position);
  apply(*level.field, position, level.failure);
}

void BassPage::levelReleased(Level& level, int position) {
  level.steps->setPosition(position);
  apply(*level.field, position, level.failure);
  level.value = position;
  showLevels();
}

bool BassPage::enterPressed() {
  // Both levels are read before anything is written: a box without a whole number is named and
  // nothing is written, rather than writing the other level on its own.
  long long typed[2] = {};
  Level* levels[2] = {&m_bass, &m_main};
  for (int i = 0; i < 2; ++i) {
    const std::optional<long long> number = TypedLevel(levels[i]->box);
    if (!number) {
      tell(tr("The %1 must be a whole number.").arg(tr(levels[i]->name)));
      return true;
    }
    typed[i] = *number;
  }
  act([&] {
    for (int i = 0; i < 2; ++i) {
      Level& level = *levels[i];
      // A level beyond its slider's range is written as the nearer end, and its box says so.
      const auto written = static_cast<int>(std::clamp<long long>(typed[i], 0, level.field->largestCode()));
      level.value = written;
      if (written != typed[i]) level.box->setText(QString::number(written));
      level.slider->setValue(written);
      level.steps->setPosition(written);
      codec().apply(*level.field, written);
    }
  });
  return true;
}

void BassPage::setMultiplier() {
  // The number the box starts with, truncated; a box without one reads as 0.
  const double typed = ReadLeadingDecimal(m_multiplier->text().toStdString()).value_or(0.0);
  const std::optional<int> code = BassMultCode(typed);
  if (!code) {
    tell(tr("The Multiplier must be from 0 to %1.").arg(kBassMultLargest));
    return;
  }
  apply(field::WriteBassMult, *code, kMultFailed);
}

}  // namespace tonvisor
