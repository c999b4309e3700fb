#include "link/i2c_transport.h"

#include <array>

namespace tonvisor {

Status I2cTransport::I2cOpen(std::uint16_t deviceAddress) {
  I2cClose();
  m_openResult = m_master.open(m_settings.i2cClockHz);
  if (!m_openResult.ok()) return status::kI2cOpenFailed;
  m_open = true;
  m_settings.i2cAddress = deviceAddress;
  return status::kOk;
}

void I2cTransport::I2cClose() {
  if (!m_open) return;
  m_master.close();
  m_open = false;
}

BridgeResult I2cTransport::read(std::uint16_t address, std::uint16_t& value) {
  const std::array<std::uint8_t, 2> registerBytes = {static_cast<std::uint8_t>(address >> 8),
                                                     static_cast<std::uint8_t>(address & 0xFF)};
  std::array<std::uint8_t, 2> received = {0, 0};
  BridgeResult result = m_master.transfer(device(), registerBytes, received);
  if (result.ok()) value = static_cast<std::uint16_t>(received[0] << 8 | received[1]);
  return result;
}

BridgeResult I2cTransport::write(std::uint16_t address, std::uint16_t value) {
  const std::array<std::uint8_t, 4> bytes = {static_cast<std::uint8_t>(address >> 8),
                                             static_cast<std::uint8_t>(address & 0xFF),
                                             static_cast<std::uint8_t>(value >> 8),
                                             static_cast<std::uint8_t>(value & 0xFF)};
  return m_master.transfer(device(), bytes, {});
}

namespace {

// The bytes of each transaction in the order they go on the wire.
constexpr I2cByte kReadBytes[] = {I2cByte::DeviceAddress, I2cByte::RegisterHigh, I2cByte::RegisterLow,
                                  I2cByte::ReadAddress};
constexpr I2cByte kWriteBytes[] = {I2cByte::DeviceAddress, I2cByte::RegisterHigh, I2cByte::RegisterLow,
                                   I2cByte::ValueHigh, I2cByte::ValueLow};

template <std::size_t N>
I2cByte byteAt(const I2cByte (&bytes)[N], int wireIndex) {
  return wireIndex >= 0 && wireIndex < static_cast<int>(N) ? bytes[wireIndex] : I2cByte::None;
}

}  // namespace

I2cByte I2cTransport::ByteOfRead(int wireIndex) { return byteAt(kReadBytes, wireIndex); }

I2cByte I2cTransport::ByteOfWrite(int wireIndex) { return byteAt(kWriteBytes, wireIndex); }

}  // namespace tonvisor
