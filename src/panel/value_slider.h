#pragma once

#include <QPointer>
#include <QSlider>

#include "panel/value_text.h"

class QLabel;

namespace tonvisor {

// A horizontal slider that acts when the user lets go of it with the mouse, with the label that
// shows its value. The chip's pages act on the release that ends a drag of the handle, a click
// on the handle or a click on the track (QSlider's sliderReleased comes only after a drag).
// Keyboard and wheel move the slider and do nothing else: the label and the chip follow at the
// next release with the mouse, at the position the slider has then.
class ValueSlider : public QSlider {
  Q_OBJECT

 public:
  ValueSlider(ValueText text, int maximum, QWidget* parent = nullptr);
  ~ValueSlider() override;

  // The label beside the slider, wide enough for every value so that the row does not jump. A
  // page that shows the value elsewhere (in an edit box) leaves it out of its layout.
  QLabel* valueLabel() const;
  const ValueText& text() const { return m_text; }

  // The label shows the value at the present position.
  void showValue();
  // The label shows a text of its own (the pages' texts before the first release).
  void showText(const QString& text);
  // Moves the slider by code and shows the value: nothing is released, so nothing acts.
  void moveTo(int position);

  // Ticks every few positions, so that a long slider's ticks stay apart: about 16 at most.
  static int ReadableTickInterval(int positions);

 signals:
  // The user let go of the mouse button after moving the slider with it or clicking it.
  void released(int position);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ValueText m_text;
  QPointer<QLabel> m_label;
};

}  // namespace tonvisor
