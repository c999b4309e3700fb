#pragma once

#include <QPointer>
#include <QWidget>

#include "link/messenger.h"

namespace tonvisor {

// Shows every message in a modal message box with one OK button: owned by nobody, by the
// main sheet, or by the page that names itself as owner, with the caption it is given.
class MessageBoxMessenger final : public Messenger {
 public:
  void show(const Message& message) override;
  using Messenger::show;

  // The window Owner::mainWindow() means; until it is set such messages have no owner.
  void setMainWindow(QWidget* window) { m_mainWindow = window; }

 private:
  QPointer<QWidget> m_mainWindow;
};

}  // namespace tonvisor
