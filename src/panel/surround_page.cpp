#include "panel/surround_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "link/typed_text.h"
#include "panel/slider_scale.h"
#include "panel/up_down.h"

namespace tonvisor {

namespace {

constexpr CheckRow kSurroundEnable{"Enable KRVL Surround", &field::WriteSurroundEnable,
                                   "Setting Surround Enable failed", 3};
constexpr const char* kWidth = "Surround Width";
constexpr const char* kWidthFailed = "Setting Surround Width failed";
constexpr int kWidest = field::WriteSurroundWidth.largestCode();
constexpr int kInitialWidth = 4;

}  // namespace

SurroundPage::SurroundPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "SurroundPage", parent) {}

void SurroundPage::build() {
  auto* boxes = new QVBoxLayout;
  addCheck(boxes, kSurroundEnable);

  m_slider = new ValueSlider(ValueText::Number("%.0f", [](int width) { return double(width); }), kWidest);
  m_slider->setValue(kInitialWidth);
  m_slider->setAccessibleName(tr(kWidth));
  QList<SliderScale::Mark> marks;
  for (int width = 0; width <= kWidest; ++width) marks.append({width, QString::number(width)});
  marks.front().text += tr("\nLeast Width");
  marks.back().text += tr("\nMost Width");

  m_box = edit(tr("%1 value").arg(tr(kWidth)), QString::number(kInitialWidth));
  m_box->setMaximumWidth(m_box->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
  m_steps = new UpDown(tr("%1 up-down").arg(tr(kWidth)), 0, kWidest, kInitialWidth);
  m_steps->attachTo(m_box);
  auto* typed = new QHBoxLayout;
  typed->addWidget(m_steps);
  typed->addWidget(m_box);
  typed->addStretch();

  auto* grid = new QGridLayout;
  grid->addWidget(m_slider, 0, 0);
  grid->addWidget(new SliderScale(m_slider, marks), 1, 0);
  grid->addLayout(typed, 2, 0);
  QGroupBox* width = group(kWidth);
  width->setLayout(grid);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(boxes);
  layout->addWidget(width);
  layout->addStretch();

  follow(field::WriteSurroundWidth, [this](int width) {
    showOnSlider(m_slider, width, QString::number(width));
    m_steps->setPosition(width);  // and its box
  }, [this](bool unknown) {
    markUnknown(m_box, unknown);
    markUnknown(m_slider, unknown);
  });

  connect(m_steps, &UpDown::stepped, this, [this](int position) {
    // The up-down has written the width into its box.
    m_slider->setValue(position);
    apply(field::WriteSurroundWidth, position, kWidthFailed);
  });
  connect(m_slider, &ValueSlider::released, this, [this](int position) {
    m_steps->setPosition(position);
    apply(field::WriteSurroundWidth, position, kWidthFailed);
  });
}

bool SurroundPage::enterPressed() {
  const NumberReading<int> width = ReadDecimalInt(m_box->text().trimmed().toStdString());
  if (!width.value || *width.value < 0 || *width.value > kWidest) {
    tell(tr("The Surround Width must be a whole number from 0 to %1.").arg(kWidest));
    return true;
  }
  // The up-down stays where it was; it steps from the box's number next time.
  m_slider->setValue(*width.value);
  act([&] { codec().WriteSurroundWidth(*width.value); });
  return true;
}

}  // namespace tonvisor
