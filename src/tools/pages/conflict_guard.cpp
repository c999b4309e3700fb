#include "tools/pages/conflict_guard.h"

#include "runner/link_runner.h"

namespace tonvisor {

ConflictGuard::ConflictGuard(const LinkRunner& runner, QObject* parent) : QObject(parent), m_runner(runner) {
  connect(&runner, &LinkRunner::exclusiveChanged, this, &ConflictGuard::apply);
}

void ConflictGuard::guard(QWidget* control) {
  m_guarded.append({control, control->isEnabled()});
  apply();
}

void ConflictGuard::setEnabled(QWidget* control, bool enabled) {
  for (Guarded& guarded : m_guarded) {
    if (guarded.control == control) guarded.wanted = enabled;
  }
  apply();
}

void ConflictGuard::apply() {
  const bool busy = m_runner.exclusiveBusy();
  for (const Guarded& guarded : m_guarded) {
    if (guarded.control) guarded.control->setEnabled(guarded.wanted && !busy);
  }
}

}  // namespace tonvisor
