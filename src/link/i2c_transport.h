#pragma once

#include <cstdint>

#include "link/link_settings.h"
#include "link/status.h"
#include "link/usb_bridge.h"

namespace tonvisor {

// 16-bit registers over the bridge's I2C channel: address high byte first, value high byte
// first. A pure bus: what gets logged, and what a failure means to the caller, is the
// link's business.
class I2cTransport {
 public:
  static constexpr std::uint32_t kClockDivisor = 59;
  static constexpr std::uint32_t kAckTimeout = 150;

  I2cTransport(I2cLibrary& library, LinkSettings& settings) : m_library(library), m_settings(settings) {}
  ~I2cTransport() { I2cClose(); }
  I2cTransport(const I2cTransport&) = delete;
  I2cTransport& operator=(const I2cTransport&) = delete;

  // Opens the channel at a device address. A channel this transport opened before is closed
  // first: a second open of a claimed USB interface fails on real hardware.
  Status I2cOpen(std::uint16_t deviceAddress);
  // Closes the channel if this transport opened it.
  void I2cClose();

  // One register transfer each; the bridge library's result (bridge::kOk when it went
  // through). A read stores the value only when it went through.
  std::int32_t read(std::uint16_t address, std::uint16_t& value);
  std::int32_t write(std::uint16_t address, std::uint16_t value);

  // The device address the transfers go to (only its low 7 bits reach the bus).
  std::uint16_t deviceAddress() const { return m_settings.i2cAddress; }

 private:
  std::uint8_t deviceAddressByte() const { return static_cast<std::uint8_t>(m_settings.i2cAddress << 1); }

  I2cLibrary& m_library;
  LinkSettings& m_settings;
  BridgeHandle m_handle = 0;
  bool m_open = false;
};

}  // namespace tonvisor
