#pragma once

#include <QSlider>

namespace tonvisor {

// A slider that acts on every move the user makes: each position a drag passes, a click on the
// track, a key, a turn of the wheel. A move that ends where the slider already was (a key at
// the end of the range) tells nothing, and neither does a position set by code.
class LiveSlider : public QSlider {
  Q_OBJECT

 public:
  LiveSlider(Qt::Orientation orientation, int maximum, int position, QWidget* parent = nullptr);

 signals:
  // The user moved the slider to position.
  void moved(int position);
};

}  // namespace tonvisor
