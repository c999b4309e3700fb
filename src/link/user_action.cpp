#include "link/user_action.h"

#include <algorithm>
#include <utility>

namespace tonvisor {

ScopedTally::ScopedTally(DeviceLink& link) : m_link(link) { m_link.m_tallies.push_back(&m_tally); }

ScopedTally::~ScopedTally() {
  auto& tallies = m_link.m_tallies;
  tallies.erase(std::remove(tallies.begin(), tallies.end(), &m_tally), tallies.end());
}

AccessWatch::AccessWatch(DeviceLink& link, std::function<void(const AccessResult&)> seen)
    : m_link(link), m_seen(std::move(seen)) {
  m_link.m_watches.push_back(this);
}

AccessWatch::~AccessWatch() {
  auto& watches = m_link.m_watches;
  watches.erase(std::remove(watches.begin(), watches.end(), this), watches.end());
}

UserAction::UserAction(DeviceLink& link)
    : m_link(link), m_tally(link), m_shownBefore(link.m_messenger.shownCount()) {
  ++m_link.m_actionDepth;
  m_link.m_messenger.beginAction();
}

UserAction::~UserAction() {
  if (m_link.m_actionDepth == 1) m_link.reportOutsideChanges();
  m_link.m_messenger.endAction();
  if (--m_link.m_actionDepth == 0) m_link.m_boardGone = false;
}

bool UserAction::toldUser() const { return m_link.m_messenger.shownCount() != m_shownBefore; }

std::string UserAction::failureSummary() const { return DescribeTally(m_tally.tally(), m_link.settings()); }

}  // namespace tonvisor
