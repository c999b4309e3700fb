#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace tonvisor {

class LinkRunner;

// Keeps controls whose work must not overlap other long work (Connect, Chip Initialize, Run
// Script, Read All, presets...) disabled while such work waits or runs on the link. A control
// the page itself disables (Connect once connected) is enabled through setEnabled here, so
// that the end of the work does not enable it again.
class ConflictGuard final : public QObject {
  Q_OBJECT

 public:
  ConflictGuard(const LinkRunner& runner, QObject* parent);

  void guard(QWidget* control);
  void setEnabled(QWidget* control, bool enabled);

 private:
  struct Guarded {
    QPointer<QWidget> control;
    bool wanted = true;
  };
  void apply();

  const LinkRunner& m_runner;
  QList<Guarded> m_guarded;
};

}  // namespace tonvisor
