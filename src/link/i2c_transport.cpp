#include "link/i2c_transport.h"

#include <array>

namespace tonvisor {

Status I2cTransport::I2cOpen(std::uint16_t deviceAddress) {
  // A channel opened earlier is not closed: the handle is simply replaced.
  m_handle = 0;
  if (m_library.open(&m_handle) != 0) return status::kI2cOpenFailed;
  if (m_library.initDevice(m_handle, kClockDivisor) != 0 || m_library.completeSetup(m_handle, 1) != 0) {
    m_library.close(m_handle);
    return status::kI2cOpenFailed;
  }
  m_settings.i2cAddress = deviceAddress;
  return status::kOk;
}

Status I2cTransport::I2cReadRegister(std::uint16_t address, std::uint16_t* value) {
  if (value == nullptr) return status::kNoValuePlace;
  const std::array<std::uint8_t, 3> control = {static_cast<std::uint8_t>(deviceAddressByte() | 1),
                                               static_cast<std::uint8_t>(address >> 8),
                                               static_cast<std::uint8_t>(address & 0xFF)};
  std::array<std::uint8_t, 2> received = {0, 0};
  if (m_library.read(m_handle, control.data(), 3, 1, kAckTimeout, 2, received.data(), 2) != 0) {
    return status::kI2cReadFailed;
  }
  *value = static_cast<std::uint16_t>(received[0] << 8 | received[1]);
  return status::kOk;
}

Status I2cTransport::I2cWriteRegister(std::uint16_t address, std::uint16_t value) {
  const std::array<std::uint8_t, 3> control = {deviceAddressByte(), static_cast<std::uint8_t>(address >> 8),
                                               static_cast<std::uint8_t>(address & 0xFF)};
  const std::array<std::uint8_t, 2> data = {static_cast<std::uint8_t>(value >> 8),
                                            static_cast<std::uint8_t>(value & 0xFF)};
  const std::int32_t result = m_library.write(m_handle, control.data(), 3, 1, kAckTimeout, 1, 2, data.data(), 2, 1,
                                              kAckTimeout, I2cPageRecord{1, 2});
  // The attempt is logged whether or not it went through: the log shows what was sent.
  if (m_settings.logRegisterWrites == 1) m_log.appendWrite(address, value);
  return result != 0 ? status::kI2cWriteFailed : status::kOk;
}

Status I2cTransport::I2cModifyRegister(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value) {
  std::uint16_t old = 0;
  if (const Status read = I2cReadRegister(address, &old); read != status::kOk) return read;
  return I2cWriteRegister(address, MergeKeepMask(old, keepMask, value));
}

}  // namespace tonvisor
