#pragma once

#include "link/link_settings.h"
#include "link/status.h"
#include "link/usb_bridge.h"
#include "link/write_log.h"

namespace tonvisor {

// 16-bit registers over the bridge's I2C channel: address high byte first, value high byte
// first.
class I2cTransport {
 public:
  static constexpr std::uint32_t kClockDivisor = 59;
  static constexpr std::uint32_t kAckTimeout = 150;

  I2cTransport(I2cLibrary& library, WriteLog& log, LinkSettings& settings)
      : m_library(library), m_log(log), m_settings(settings) {}

  Status I2cOpen(std::uint16_t deviceAddress);
  Status I2cReadRegister(std::uint16_t address, std::uint16_t* value);
  Status I2cWriteRegister(std::uint16_t address, std::uint16_t value);
  Status I2cModifyRegister(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value);


 private:
  std::uint8_t deviceAddressByte() const { return static_cast<std::uint8_t>(m_settings.i2cAddress << 1); }

  I2cLibrary& m_library;
  WriteLog& m_log;
  LinkSettings& m_settings;
  BridgeHandle m_handle = 0;
};

}  // namespace tonvisor
