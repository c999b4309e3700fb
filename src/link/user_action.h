#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/access.h"
#include "link/device_link.h"

namespace tonvisor {

// Counts every access the link makes while it lives. Scopes nest: each counts all the
// accesses made while it is open.
class ScopedTally {
 public:
  explicit ScopedTally(DeviceLink& link);
  ~ScopedTally();
  ScopedTally(const ScopedTally&) = delete;
  ScopedTally& operator=(const ScopedTally&) = delete;

  const AccessTally& tally() const { return m_tally; }

 private:
  DeviceLink& m_link;
  AccessTally m_tally;
};

// Calls seen after every access the link makes while it lives: how a progress window counts
// the accesses of long work (a preset over Ethernet is 78 writes of at least 20 ms each).
class AccessWatch {
 public:
  AccessWatch(DeviceLink& link, std::function<void(const AccessResult&)> seen);
  ~AccessWatch();
  AccessWatch(const AccessWatch&) = delete;
  AccessWatch& operator=(const AccessWatch&) = delete;

 private:
  friend class DeviceLink;
  DeviceLink& m_link;
  std::function<void(const AccessResult&)> m_seen;
};

// One thing the user asked for: a button, a script run, a command of the command-line tool.
// While it lasts, a message already shown is not shown again, and once the board has waited
// out a time-out the action's further Ethernet accesses fail at once (counted, not sent)
// instead of each waiting as long to learn the same. Actions nest; the outermost one rules.
class UserAction {
 public:
  explicit UserAction(DeviceLink& link);
  ~UserAction();
  UserAction(const UserAction&) = delete;
  UserAction& operator=(const UserAction&) = delete;

  const AccessTally& tally() const { return m_tally.tally(); }
  // What failed, in words ("3 of 120 register accesses did not reach the chip. The first:
  // ..."); empty when every access went through.
  std::string failureSummary() const;
  // Whether the user has been told anything since the action began (the link's messages,
  // the page's own).
  bool toldUser() const;

 private:
  DeviceLink& m_link;
  ScopedTally m_tally;
  std::uint64_t m_shownBefore;
};

}  // namespace tonvisor
