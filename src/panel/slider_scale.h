#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QSlider;

namespace tonvisor {

// Texts under a horizontal slider at the positions they name: the digits under a short
// slider's positions, "0%" and "200%" at the ends of a long one, "Most Bass Boost" under the
// left end. Each line of a text is centred under its position and kept inside the scale's
// width, so a long text at an end reads from that end. Sits in the slider's column.
class SliderScale : public QWidget {
  Q_OBJECT

 public:
  struct Mark {
    int position;
    QString text;  // one line or several ("0\nMost Bass Boost")
  };

  SliderScale(QSlider* slider, QList<Mark> marks, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Where the handle's centre sits at position, in this widget's coordinates.
  int xOf(int position) const;
  int lineCount() const;

  QSlider* m_slider;
  QList<Mark> m_marks;
};

}  // namespace tonvisor
