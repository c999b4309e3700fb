#include "panel/cache_follower.h"

#include <QPalette>
#include <QWidget>

namespace tonvisor {

const char* const CacheFollower::kUnknownTip = "not read from the chip";

CacheFollower::CacheFollower(DeviceLink& link, QObject* parent)
    : QObject(parent), m_link(link), m_listening(link.cache(), [this] {
        // An action of many accesses (a ramp, a script) is followed once, when it is over.
        if (m_pending) return;
        m_pending = true;
        QMetaObject::invokeMethod(this, &CacheFollower::followNow, Qt::QueuedConnection);
      }) {}

void CacheFollower::follow(const FieldPlace& place, std::function<void(int)> show, std::function<void(bool)> mark) {
  m_followers.push_back({place, std::move(show), std::move(mark), std::nullopt, false});
}

void CacheFollower::followNow() {
  m_pending = false;
  const RegisterCache& cache = m_link.cache();
  for (Follower& follower : m_followers) {
    const CachedField field = FieldInCache(cache, follower.place);
    if (field.code && field.code != follower.shown) follower.show(*field.code);
    follower.shown = field.code;
    const bool unknown = !field.code && field.lost;
    if (unknown != follower.marked && follower.mark) follower.mark(unknown);
    follower.marked = unknown;
  }
}

void CacheFollower::markUnknown(QWidget* control, bool unknown) {
  control->setToolTip(unknown ? tr(kUnknownTip) : QString());
  QPalette palette = control->palette();
  if (unknown) {
    const QPalette plain;
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
      palette.setColor(role, plain.color(QPalette::Disabled, role));
    }
    control->setPalette(palette);
  } else {
    control->setPalette(QPalette());
  }
}

}  // namespace tonvisor
