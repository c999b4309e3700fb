#include "panel/value_slider.h"

#include <algorithm>

#include <QLabel>
#include <QMouseEvent>

#include "panel/slider_accessibility.h"

namespace tonvisor {

namespace {

QString AsQString(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ValueSlider::ValueSlider(ValueText text, int maximum, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_text(text), m_label(new QLabel) {
  setRange(0, maximum);
  setTickPosition(QSlider::TicksBelow);
  setTickInterval(ReadableTickInterval(maximum + 1));
  // A click on the track moves one tick, as far as the ticks suggest.
  setPageStep(tickInterval());

  // Room for the widest value (a blank more), whichever position is shown.
  const QFontMetrics metrics = m_label->fontMetrics();
  int widest = 0;
  const int step = maximum > 512 ? maximum / 512 : 1;
  for (int position = 0; position <= maximum; position += step) {
    widest = std::max(widest, metrics.horizontalAdvance(AsQString(m_text.of(position))));
  }
  widest = std::max(widest, metrics.horizontalAdvance(AsQString(m_text.of(maximum))));
  m_label->setMinimumWidth(widest + metrics.horizontalAdvance(QLatin1Char(' ')));
  // A screen reader reads the value as the label writes it, not the position.
  SetAccessibleValueText(this, [this](int position) { return AsQString(m_text.of(position)).trimmed(); });
}

ValueSlider::~ValueSlider() {
  // A label that was never placed in a layout has no parent to delete it.
  if (m_label != nullptr && m_label->parent() == nullptr) delete m_label.data();
}

QLabel* ValueSlider::valueLabel() const { return m_label.data(); }

int ValueSlider::ReadableTickInterval(int positions) {
  constexpr int kMostTicks = 16;
  constexpr int kSteps[] = {1, 2, 4, 5, 8, 10, 12, 16, 20, 25, 32, 50, 64, 100, 128, 256, 512, 1024};
  for (int step : kSteps) {
    if ((positions - 1) / step <= kMostTicks) return step;
  }
  return std::max(1, (positions - 1) / kMostTicks);
}

void ValueSlider::showValue() { m_label->setText(AsQString(m_text.of(value()))); }

void ValueSlider::showText(const QString& text) {
  m_label->setMinimumWidth(std::max(m_label->minimumWidth(), m_label->fontMetrics().horizontalAdvance(text)));
  m_label->setText(text);
}

void ValueSlider::moveTo(int position) {
  setValue(position);
  showValue();
}

void ValueSlider::mouseReleaseEvent(QMouseEvent* event) {
  // QSlider accepts a release only when it took the press that started it (on the handle or
  // the track) and no other button is still down.
  QSlider::mouseReleaseEvent(event);
  if (event->isAccepted()) emit released(value());
}

}  // namespace tonvisor
