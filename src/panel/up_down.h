#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace tonvisor {

// An up-down control: two arrow buttons that step a position within a range, beside the edit
// box that shows the value. Attached to a box, it steps from the number the box holds, typed
// or not, and writes its new position there; Up and Down typed in the box step it too. A number
// outside the range steps to the nearer end, so the box is not held back from showing a number
// out of range (a page says what is wrong with it when Return is pressed). Not attached, it
// steps from its own position. A step at the end of the range changes nothing and tells
// nothing; only the user's steps are told, never a position set by code.
class UpDown : public QWidget {
  Q_OBJECT

 public:
  UpDown(const QString& name, int minimum, int maximum, int position, QWidget* parent = nullptr);

  void attachTo(QLineEdit* box);

  int position() const { return m_position; }
  int minimum() const { return m_minimum; }
  int maximum() const { return m_maximum; }
  // By code: also shown in an attached box; nothing is told.
  void setPosition(int position);

  // One step up (+1) or down (-1), as the buttons and the keys make it.
  void step(int direction);

  QToolButton* upButton() const { return m_up; }
  QToolButton* downButton() const { return m_down; }

 signals:
  // The user stepped to position.
  void stepped(int position);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The position a step starts from: the attached box's number, or the control's own.
  long long startingPoint() const;

  int m_minimum;
  int m_maximum;
  int m_position;
  QLineEdit* m_box = nullptr;
  QToolButton* m_up = nullptr;
  QToolButton* m_down = nullptr;
};

}  // namespace tonvisor
