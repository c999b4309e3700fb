#pragma once

#include <QGuiApplication>

namespace tonvisor {

// Shows the wait cursor while a handler blocks on the chip (a handful of Ethernet accesses
// take a few hundred milliseconds), so a busy window never looks like a dead one.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace tonvisor
