#include "panel/live_slider.h"

#include "panel/value_slider.h"

namespace tonvisor {

LiveSlider::LiveSlider(Qt::Orientation orientation, int maximum, int position, QWidget* parent)
    : QSlider(orientation, parent) {
  setRange(0, maximum);
  setValue(position);
  setTickPosition(orientation == Qt::Vertical ? QSlider::TicksRight : QSlider::TicksBelow);
  setTickInterval(ValueSlider::ReadableTickInterval(maximum + 1));
  setPageStep(tickInterval());
  // Every user action (drag, track, key, wheel) triggers an action; setValue by code does not.
  // The position is taken over as the value here, so that whoever hears of the move finds the
  // slider where it was moved to.
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
    const int position = sliderPosition();
    if (position == value()) return;
    setValue(position);
    emit moved(position);
  });
}

}  // namespace tonvisor
