#include "link/device_link.h"

#include <algorithm>
#include <cassert>

#include "link/ascii_case.h"
#include "link/user_action.h"

namespace tonvisor {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

void ActionMessenger::show(const Message& message) {
  if (m_depth > 0 && !m_shown.emplace(message.caption, message.text).second) return;
  ++m_shownCount;
  if (m_capture != nullptr) {
    m_capture->push_back(message);
    return;
  }
  m_target.show(message);
}

void ActionMessenger::endAction() {
  if (m_depth > 0 && --m_depth == 0) m_shown.clear();
}

DeviceLink::DeviceLink(UsbBridge& bridge, Messenger& messenger, EthernetOptions ethernetOptions)
    : m_bridge(bridge),
      m_messenger(messenger),
      m_log(m_messenger),
      m_i2c(bridge.i2c(), m_settings),
      m_busB(bridge.busB(), m_messenger),
      m_spi(bridge.spi(), m_busB),
      m_ethernet(m_messenger, m_settings, std::move(ethernetOptions)) {}

LinkKind DeviceLink::selectedLink() const {
  const std::string& type = m_settings.connectionType;
  if (EqualsIgnoringCase(type, "I2C")) return LinkKind::I2c;
  if (EqualsIgnoringCase(type, "SPI")) return LinkKind::Spi;
  if (EqualsIgnoringCase(type, "Ethernet")) return LinkKind::Ethernet;
  return LinkKind::None;
}

AccessResult DeviceLink::finish(const AccessResult& access) {
  assert(onOwningThread());
  for (AccessTally* tally : m_tallies) tally->add(access);
  for (AccessWatch* watch : m_watches) watch->m_seen(access);
  return access;
}

void DeviceLink::boardExchange(AccessResult& access, const BoardExchange& exchange) {
  if (exchange.done) return;
  access.fault = AccessFault::BoardFailed;
  access.boardStep = exchange.failedStep;
  access.timedOut = exchange.timedOut;
  // Within one action a board that waited out a time-out is not asked again: every further
  // access would wait as long to learn the same thing.
  if (exchange.timedOut && m_actionDepth > 0) m_boardGone = true;
}

void DeviceLink::bridgeFailed(AccessResult& access, const BridgeResult& result, I2cByte unacknowledged) {
  access.fault = AccessFault::BridgeFailed;
  access.bridgeCode = result.code;
  access.bridgeDetail = result.detail;
  if (result.code == bridge::kNoAcknowledge) access.unacknowledged = unacknowledged;
}

AccessResult DeviceLink::notSupportedOverSpi(std::uint16_t address, AccessKind kind, const char* text) {
  m_messenger.show(text, kErrorCaption, Owner::none());
  AccessResult access = NewAccess(kind, LinkKind::Spi, address);
  access.fault = AccessFault::NotSupported;
  return access;
}

AccessResult DeviceLink::readOver(LinkKind link, std::uint16_t address, AccessKind kind) {
  AccessResult access = NewAccess(kind, link, address);
  switch (link) {
    case LinkKind::I2c: {
      access.i2cDevice = m_i2c.deviceAddress();
      std::uint16_t value = 0;
      const BridgeResult result = m_i2c.read(address, value);
      if (result.ok()) {
        access.value = value;
      } else {
        bridgeFailed(access, result, I2cTransport::ByteOfRead(result.unacknowledgedByte));
        access.status = status::kI2cReadFailed;
      }
      break;
    }
    case LinkKind::Spi:
      return notSupportedOverSpi(address, kind,
                                 kind == AccessKind::Read ? " Read Register Not Supported"
                                                          : " Modify Register Not Supported");
    case LinkKind::Ethernet: {
      if (m_boardGone) {
        access.fault = AccessFault::BoardUnreachable;
        break;
      }
      std::uint16_t value = 0;
      const BoardExchange exchange = m_ethernet.read(address, value);
      boardExchange(access, exchange);
      if (exchange.done) access.value = value;
      break;
    }
    case LinkKind::None:
      access.fault = AccessFault::NoLink;
      break;
  }
  return access;
}

AccessResult DeviceLink::writeOver(LinkKind link, std::uint16_t address, std::uint16_t value, AccessKind kind) {
  AccessResult access = NewAccess(kind, link, address);
  switch (link) {
    case LinkKind::I2c:
    {
      access.i2cDevice = m_i2c.deviceAddress();
      const BridgeResult result = m_i2c.write(address, value);
      // Every attempt is logged, also one that failed: the log shows what was sent. Only a
      // headphone ramp turns this off for its steps.
      if (m_settings.logRegisterWrites == 1) m_log.appendWrite(address, value);
      if (!result.ok()) {
        bridgeFailed(access, result, I2cTransport::ByteOfWrite(result.unacknowledgedByte));
        access.status = status::kI2cWriteFailed;
      }
      break;
    }
    case LinkKind::Spi: {
      const BridgeResult result = m_spi.write(address, value);
      if (result.ok()) {
        m_log.appendWrite(address, value);
      } else {
        bridgeFailed(access, result, I2cByte::None);
        access.status = status::kSpiWriteFailed;
      }
      break;
    }
    case LinkKind::Ethernet:
      if (m_boardGone) {
        access.fault = AccessFault::BoardUnreachable;
        break;
      }
      boardExchange(access, m_ethernet.write(address, value));
      if (access.ok()) m_log.appendWrite(address, value);
      break;
    case LinkKind::None:
      access.fault = AccessFault::NoLink;
      break;
  }
  return access;
}

namespace {

// A failed access that may have reached the chip: a write that may have changed the
// register, a read that should have told its value. The others sent nothing.
bool MayHaveReachedTheChip(const AccessResult& access) {
  return access.fault == AccessFault::BridgeFailed || access.fault == AccessFault::BoardFailed;
}

std::string Hex4(std::uint16_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x0000";
  for (int i = 0; i < 4; ++i) text[static_cast<std::size_t>(5 - i)] = kDigits[(value >> (4 * i)) & 0xF];
  return text;
}

// The registers named in one message; the rest are counted.
constexpr std::size_t kOutsideChangesNamed = 4;

}  // namespace

DeviceLink::LinkIdentity DeviceLink::identity() const {
  LinkIdentity id;
  id.link = selectedLink();
  if (id.link == LinkKind::I2c) id.i2cAddress = m_settings.i2cAddress;
  if (id.link == LinkKind::Ethernet) {
    id.ethernetAddress = m_settings.ethernetAddress;
    id.ethernetPort = m_settings.ethernetPort;
  }
  return id;
}

void DeviceLink::followLinkSettings() {
  LinkIdentity now = identity();
  if (now == m_cachedLink) return;
  m_cachedLink = std::move(now);
  m_cache.clear();
}

void DeviceLink::noteRead(const AccessResult& access) {
  if (access.value) {
    if (const std::optional<OutsideChange> outside = m_cache.readDone(access.address, *access.value)) {
      m_outsideChanges.push_back(*outside);
      if (m_actionDepth == 0) reportOutsideChanges();
    }
  } else if (MayHaveReachedTheChip(access)) {
    m_cache.readFailed(access.address);
  }
}

void DeviceLink::noteWrite(const AccessResult& access, std::uint16_t value) {
  if (access.ok()) {
    m_cache.written(access.address, value);
  } else if (MayHaveReachedTheChip(access)) {
    m_cache.writeFailed(access.address);
  }
}

void DeviceLink::reportOutsideChanges() {
  if (m_outsideChanges.empty()) return;
  std::string text = "Changed outside this program: ";
  for (std::size_t i = 0; i < m_outsideChanges.size() && i < kOutsideChangesNamed; ++i) {
    const OutsideChange& change = m_outsideChanges[i];
    if (i > 0) text += ", ";
    text += std::string(change.name) + " (written " + Hex4(change.written) + ", now " + Hex4(change.read) + ")";
  }
  if (m_outsideChanges.size() > kOutsideChangesNamed) {
    text += " and " + std::to_string(m_outsideChanges.size() - kOutsideChangesNamed) + " more";
  }
  text += ". The chip may have been reset or powered down, or another master wrote to it.";
  m_outsideChanges.clear();
  if (m_tellOutside) {
    m_tellOutside(text);
  } else {
    m_messenger.show(text, kApplicationTitle, Owner::mainWindow());
  }
}

AccessResult DeviceLink::Read(std::uint16_t address) {
  followLinkSettings();
  const AccessResult access = readOver(selectedLink(), address, AccessKind::Read);
  noteRead(access);
  return finish(access);
}

Status DeviceLink::ReadRegister(std::uint16_t address, std::uint16_t* value) {
  if (value == nullptr && selectedLink() == LinkKind::I2c) {
    AccessResult access = NewAccess(AccessKind::Read, LinkKind::I2c, address);
    access.fault = AccessFault::NoValuePlace;
    access.status = status::kNoValuePlace;
    return finish(access).status;
  }
  const AccessResult access = Read(address);
  if (access.value && value != nullptr) *value = *access.value;
  return access.status;
}

AccessResult DeviceLink::Write(std::uint16_t address, std::uint16_t value) {
  followLinkSettings();
  const AccessResult access = writeOver(selectedLink(), address, value, AccessKind::Write);
  noteWrite(access, value);
  return finish(access);
}

AccessResult DeviceLink::WriteOverSpi(std::uint16_t address, std::uint16_t value) {
  followLinkSettings();
  const AccessResult access = writeOver(LinkKind::Spi, address, value, AccessKind::Write);
  noteWrite(access, value);
  return finish(access);
}

AccessResult DeviceLink::Modify(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value) {
  followLinkSettings();
  const LinkKind link = selectedLink();
  AccessResult read = readOver(link, address, AccessKind::Modify);
  noteRead(read);
  // A read that brought nothing ends the modify: nothing is written and nothing logged.
  if (!read.ok()) return finish(read);
  const std::uint16_t merged = MergeKeepMask(*read.value, keepMask, value);
  AccessResult written = writeOver(link, address, merged, AccessKind::Modify);
  noteWrite(written, merged);
  written.value = read.value;
  return finish(written);
}

}  // namespace tonvisor
