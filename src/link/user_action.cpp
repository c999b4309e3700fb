#include "link/user_action.h"

#include <algorithm>

namespace tonvisor {

ScopedTally::ScopedTally(DeviceLink& link) : m_link(link) { m_link.m_tallies.push_back(&m_tally); }

ScopedTally::~ScopedTally() {
  auto& tallies = m_link.m_tallies;
  tallies.erase(std::remove(tallies.begin(), tallies.end(), &m_tally), tallies.end());
}

UserAction::UserAction(DeviceLink& link) : m_link(link), m_tally(link) {
  ++m_link.m_actionDepth;
  m_link.m_messenger.beginAction();
}

UserAction::~UserAction() {
  m_link.m_messenger.endAction();
  if (--m_link.m_actionDepth == 0) m_link.m_boardGone = false;
}

std::string UserAction::failureSummary() const { return DescribeTally(m_tally.tally(), m_link.settings()); }

}  // namespace tonvisor
