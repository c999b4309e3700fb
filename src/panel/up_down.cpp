#include "panel/up_down.h"

#include <algorithm>
#include <climits>

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "link/typed_text.h"

namespace tonvisor {

namespace {

QToolButton* arrow(Qt::ArrowType type, const QString& name) {
  auto* button = new QToolButton;
  button->setArrowType(type);
  button->setAccessibleName(name);
  // Held down, it keeps stepping, as an up-down control does.
  button->setAutoRepeat(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  return button;
}

bool isStepKey(const QKeyEvent* event) { return event->key() == Qt::Key_Up || event->key() == Qt::Key_Down; }

}  // namespace

UpDown::UpDown(const QString& name, int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_position(std::clamp(position, minimum, maximum)) {
  setAccessibleName(name);
  // Reached with Tab; a click on an arrow leaves the focus where it was (in the box beside).
  setFocusPolicy(Qt::TabFocus);
  m_up = arrow(Qt::UpArrow, tr("%1 up").arg(name));
  m_down = arrow(Qt::DownArrow, tr("%1 down").arg(name));
  connect(m_up, &QToolButton::clicked, this, [this] { step(+1); });
  connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_up);
  layout->addWidget(m_down);
  // As tall as the box beside it.
  const int height = QLineEdit().sizeHint().height();
  setFixedSize(height * 3 / 4, height);
}

void UpDown::attachTo(QLineEdit* box) {
  m_box = box;
  m_box->installEventFilter(this);
}

void UpDown::setPosition(int position) {
  m_position = std::clamp(position, m_minimum, m_maximum);
  if (m_box != nullptr) m_box->setText(QString::number(m_position));
}

long long UpDown::startingPoint() const {
  if (m_box == nullptr) return m_position;
  const std::string text = m_box->text().trimmed().toStdString();
  const NumberReading<int> number = ReadDecimalInt(text);
  if (number.value) return *number.value;
  // A whole number too large for an int is beyond either end.
  if (number.outOfRange) return text.starts_with('-') ? LLONG_MIN / 2 : LLONG_MAX / 2;
  return m_position;  // no number in the box: from where the control last was
}

void UpDown::step(int direction) {
  const long long from = startingPoint();
  const auto to = static_cast<int>(std::clamp<long long>(from + direction, m_minimum, m_maximum));
  if (to == from) return;
  setPosition(to);
  emit stepped(to);
}

void UpDown::keyPressEvent(QKeyEvent* event) {
  if (!isStepKey(event)) {
    QWidget::keyPressEvent(event);
    return;
  }
  step(event->key() == Qt::Key_Up ? +1 : -1);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_box && event->type() == QEvent::KeyPress && isStepKey(static_cast<QKeyEvent*>(event))) {
    step(static_cast<QKeyEvent*>(event)->key() == Qt::Key_Up ? +1 : -1);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tonvisor
