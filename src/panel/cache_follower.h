#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QObject>

#include "codec/cached_field.h"
#include "link/device_link.h"

class QWidget;

namespace tonvisor {

// Keeps a page's controls showing what the chip holds: after any access that changed the
// link's cache (a page, a script, Direct Register RW, the Register Map, a Read Chip), once, when
// the action is over, each control bound to a field is set from the field's cached value. Only
// a value that changed since it was last shown is set, so a box being typed into is not
// overwritten by the change of another field. Setting a control never writes: code-set values
// never reach an operation. A field whose register became unknown through a failed access
// leaves its control where it is and marks it.
class CacheFollower : public QObject {
  Q_OBJECT

 public:
  CacheFollower(DeviceLink& link, QObject* parent);

  // show sets the control to a code; mark (when given) marks it unknown or clears the mark.
  void follow(const FieldPlace& place, std::function<void(int code)> show, std::function<void(bool unknown)> mark = {});
  // Sets every control from the cache now (a page just built, a benchmark).
  void followNow();

  // The mark of the kit's controls: a greyed text and the tooltip "not read from the chip".
  static void markUnknown(QWidget* control, bool unknown);
  static const char* const kUnknownTip;

 private:
  struct Follower {
    FieldPlace place;
    std::function<void(int)> show;
    std::function<void(bool)> mark;
    std::optional<int> shown;
    bool marked = false;
  };

  DeviceLink& m_link;
  std::vector<Follower> m_followers;
  RegisterCache::Listening m_listening;
  bool m_pending = false;
};

}  // namespace tonvisor
