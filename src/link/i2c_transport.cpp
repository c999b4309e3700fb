#include "link/i2c_transport.h"

#include <array>

namespace tonvisor {

Status I2cTransport::I2cOpen(std::uint16_t deviceAddress) {
  I2cClose();
  m_handle = 0;
  if (m_library.open(&m_handle) != bridge::kOk) return status::kI2cOpenFailed;
  if (m_library.initDevice(m_handle, kClockDivisor) != bridge::kOk ||
      m_library.completeSetup(m_handle, 1) != bridge::kOk) {
    m_library.close(m_handle);
    return status::kI2cOpenFailed;
  }
  m_open = true;
  m_settings.i2cAddress = deviceAddress;
  return status::kOk;
}

void I2cTransport::I2cClose() {
  if (!m_open) return;
  m_library.close(m_handle);
  m_open = false;
}

std::int32_t I2cTransport::read(std::uint16_t address, std::uint16_t& value) {
  const std::array<std::uint8_t, 3> control = {static_cast<std::uint8_t>(deviceAddressByte() | 1),
                                               static_cast<std::uint8_t>(address >> 8),
                                               static_cast<std::uint8_t>(address & 0xFF)};
  std::array<std::uint8_t, 2> received = {0, 0};
  const std::int32_t result = m_library.read(m_handle, control.data(), 3, 1, kAckTimeout, 2, received.data(), 2);
  if (result == bridge::kOk) value = static_cast<std::uint16_t>(received[0] << 8 | received[1]);
  return result;
}

std::int32_t I2cTransport::write(std::uint16_t address, std::uint16_t value) {
  const std::array<std::uint8_t, 3> control = {deviceAddressByte(), static_cast<std::uint8_t>(address >> 8),
                                               static_cast<std::uint8_t>(address & 0xFF)};
  const std::array<std::uint8_t, 2> data = {static_cast<std::uint8_t>(value >> 8),
                                            static_cast<std::uint8_t>(value & 0xFF)};
  return m_library.write(m_handle, control.data(), 3, 1, kAckTimeout, 1, 2, data.data(), 2, 1, kAckTimeout,
                         I2cPageRecord{1, 2});
}

}  // namespace tonvisor
