#pragma once

#include <cstdint>
#include <string>

namespace tonvisor {

// I2C clock rates: 100 kHz is what the bridge has always run (the divisor 59 on its 12 MHz
// base); 400 kHz is the chip's fast mode, for boards whose wiring allows it.
inline constexpr std::uint32_t kI2cStandardClockHz = 100000;
inline constexpr std::uint32_t kI2cFastClockHz = 400000;
// SPI clock rate: the divisor 14 on the bridge's 12 MHz base.
inline constexpr std::uint32_t kSpiClockHz = 400000;

// The link's process-wide settings. The program keeps one (inside its DeviceLink); every
// test makes its own.
struct LinkSettings {
  std::string connectionType = "I2C";   // "I2C", "SPI" or "Ethernet", compared case-insensitively
  std::uint16_t i2cAddress = 0x000A;     // 7-bit device address of the codec, set by I2cOpen
  std::string ethernetAddress;           // dotted IPv4 address of the board, set by Connect
  std::uint32_t ethernetPort = 30;       // TCP port of the board, set by Connect
  std::uint16_t logRegisterWrites = 1;   // the I2C transport logs its writes only while this is 1
  std::uint32_t i2cClockHz = kI2cStandardClockHz;  // SCL rate the I2C channel is opened at
};

}  // namespace tonvisor
