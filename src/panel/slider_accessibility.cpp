#include "panel/slider_accessibility.h"

#include <utility>

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QSlider>

namespace tonvisor {

namespace {

const QString kValueTextName = QStringLiteral("tonvisor-accessible-value-text");

// Rides on the slider as a child, so it lives and dies with it.
class ValueTextHolder final : public QObject {
 public:
  ValueTextHolder(QSlider* slider, std::function<QString(int)> text) : QObject(slider), m_text(std::move(text)) {
    setObjectName(kValueTextName);
  }
  QString of(int position) const { return m_text(position); }

 private:
  std::function<QString(int)> m_text;
};

const ValueTextHolder* holderOf(const QObject* slider) {
  return static_cast<const ValueTextHolder*>(slider->findChild<QObject*>(kValueTextName, Qt::FindDirectChildrenOnly));
}

// A slider as a screen reader sees it: its position as a number for the value interface (so
// that it can still be set), and its value text in the slider's unit.
class ValueTextSlider final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ValueTextSlider(QSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) {
      const ValueTextHolder* holder = holderOf(slider());
      return holder != nullptr ? holder->of(slider()->value()) : QString::number(slider()->value());
    }
    return QAccessibleWidget::text(kind);
  }

  QVariant currentValue() const override { return slider()->value(); }
  void setCurrentValue(const QVariant& value) override { slider()->setValue(value.toInt()); }
  QVariant maximumValue() const override { return slider()->maximum(); }
  QVariant minimumValue() const override { return slider()->minimum(); }
  QVariant minimumStepSize() const override { return slider()->singleStep(); }

 private:
  QSlider* slider() const { return static_cast<QSlider*>(widget()); }
};

QAccessibleInterface* MakeValueTextSlider(const QString&, QObject* object) {
  auto* slider = qobject_cast<QSlider*>(object);
  if (slider == nullptr || holderOf(slider) == nullptr) return nullptr;
  return new ValueTextSlider(slider);
}

}  // namespace

void SetAccessibleValueText(QSlider* slider, std::function<QString(int position)> text) {
  // The factory is asked before Qt's own, for every object that gets an interface.
  static const bool installed = [] {
    QAccessible::installFactory(MakeValueTextSlider);
    return true;
  }();
  (void)installed;
  new ValueTextHolder(slider, std::move(text));
  // An interface made before (a slider announces its first setValue) is Qt's own: drop it,
  // so that the next query makes this one.
  if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(slider)) {
    if (dynamic_cast<ValueTextSlider*>(made) == nullptr) {
      QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
  }
}

}  // namespace tonvisor
