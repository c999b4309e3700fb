#include "panel/slider_scale.h"

#include <algorithm>

#include <QEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

namespace tonvisor {

SliderScale::SliderScale(QSlider* slider, QList<Mark> marks, QWidget* parent)
    : QWidget(parent), m_slider(slider), m_marks(std::move(marks)) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  // Follows the slider wherever the layout puts it.
  m_slider->installEventFilter(this);
}

int SliderScale::lineCount() const {
  int lines = 1;
  for (const Mark& mark : m_marks) lines = std::max(lines, static_cast<int>(mark.text.count(QLatin1Char('\n'))) + 1);
  return lines;
}

QSize SliderScale::sizeHint() const { return minimumSizeHint(); }

QSize SliderScale::minimumSizeHint() const {
  // Wide enough for the texts of each line side by side, with a blank between them, so that
  // they do not run into each other.
  const QFontMetrics metrics = fontMetrics();
  const int gap = metrics.horizontalAdvance(QLatin1Char(' '));
  int widest = 0;
  for (int line = 0; line < lineCount(); ++line) {
    int width = 0;
    for (const Mark& mark : m_marks) {
      const QStringList lines = mark.text.split(QLatin1Char('\n'));
      if (line < lines.size()) width += metrics.horizontalAdvance(lines[line]) + gap;
    }
    widest = std::max(widest, width);
  }
  return {widest, metrics.lineSpacing() * lineCount()};
}

int SliderScale::xOf(int position) const {
  QStyleOptionSlider option;
  option.initFrom(m_slider);
  option.orientation = m_slider->orientation();
  option.minimum = m_slider->minimum();
  option.maximum = m_slider->maximum();
  option.sliderPosition = position;
  option.sliderValue = position;
  option.tickPosition = m_slider->tickPosition();
  option.tickInterval = m_slider->tickInterval();
  option.subControls = QStyle::SC_All;
  const QStyle* style = m_slider->style();
  const QRect groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, m_slider);
  const QRect handle = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, m_slider);
  const int span = groove.width() - handle.width();
  const int offset = QStyle::sliderPositionFromValue(option.minimum, option.maximum, position, span);
  const int onSlider = groove.x() + offset + handle.width() / 2;
  return mapFromGlobal(m_slider->mapToGlobal(QPoint(onSlider, 0))).x();
}

void SliderScale::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  for (const Mark& mark : m_marks) {
    const int centre = xOf(mark.position);
    int y = metrics.ascent();
    for (const QString& line : mark.text.split(QLatin1Char('\n'))) {
      const int width = metrics.horizontalAdvance(line);
      const int left = std::clamp(centre - width / 2, 0, std::max(0, this->width() - width));
      painter.drawText(left, y, line);
      y += metrics.lineSpacing();
    }
  }
}

bool SliderScale::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_slider && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) update();
  return QWidget::eventFilter(watched, event);
}

}  // namespace tonvisor
