#pragma once

#include <cstdint>

#include "link/access.h"
#include "link/link_settings.h"
#include "link/status.h"
#include "link/usb_bridge.h"

namespace tonvisor {

// 16-bit registers over the bridge's I2C channel: address high byte first, value high byte
// first. A pure bus: what gets logged, and what a failure means to the caller, is the
// link's business.
//
// On the wire a write is START, device-address byte (write form), register high, register
// low, value high, value low, STOP; a read is START, device-address byte (write form),
// register high, register low, repeated START, device-address byte (read form), value high,
// value low, STOP.
class I2cTransport {
 public:
  I2cTransport(I2cMaster& master, LinkSettings& settings) : m_master(master), m_settings(settings) {}
  ~I2cTransport() { I2cClose(); }
  I2cTransport(const I2cTransport&) = delete;
  I2cTransport& operator=(const I2cTransport&) = delete;

  // Opens the channel at the settings' I2C clock and keeps the device address. A channel
  // this transport opened before is closed first: a second open of a claimed USB interface
  // fails on real hardware. A failed open leaves the address as it was.
  Status I2cOpen(std::uint16_t deviceAddress);
  // Closes the channel if this transport opened it.
  void I2cClose();
  bool isOpen() const { return m_open; }
  // Why the last I2cOpen failed (ok after one that went through).
  const BridgeResult& openResult() const { return m_openResult; }

  // One register transfer each. A read stores the value only when it went through.
  BridgeResult read(std::uint16_t address, std::uint16_t& value);
  BridgeResult write(std::uint16_t address, std::uint16_t value);

  // The device address the transfers go to (only its low 7 bits reach the bus).
  std::uint16_t deviceAddress() const { return m_settings.i2cAddress; }

  // The byte a failed transfer names (BridgeResult::unacknowledgedByte) as the register
  // access knows it.
  static I2cByte ByteOfRead(int wireIndex);
  static I2cByte ByteOfWrite(int wireIndex);

 private:
  std::uint8_t device() const { return static_cast<std::uint8_t>(m_settings.i2cAddress & 0x7F); }

  I2cMaster& m_master;
  LinkSettings& m_settings;
  bool m_open = false;
  BridgeResult m_openResult;
};

}  // namespace tonvisor
