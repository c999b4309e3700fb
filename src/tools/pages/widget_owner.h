#pragma once

#include <QWidget>

#include "link/messenger.h"

namespace tonvisor {

// A page hands itself to the messenger as an opaque owner; the panel's messenger turns it
// back into the widget the message box is centred on. Both directions go through QWidget so
// the pointer that comes back is the one that went in.
inline Owner OwnerOf(const QWidget* widget) { return Owner::of(static_cast<const void*>(widget)); }

inline QWidget* WidgetOf(const Owner& owner) {
  if (owner.kind != Owner::Kind::Window) return nullptr;
  return const_cast<QWidget*>(static_cast<const QWidget*>(owner.window));
}

}  // namespace tonvisor
