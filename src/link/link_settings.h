#pragma once

#include <cstdint>
#include <string>

namespace tonvisor {

// The link's process-wide settings. The program keeps one (inside its DeviceLink); every
// test makes its own.
struct LinkSettings {
  std::string connectionType = "I2C";   // "I2C", "SPI" or "Ethernet", compared case-insensitively
  std::uint16_t i2cAddress = 0x000A;     // 7-bit device address of the codec, set by I2cOpen
  std::string ethernetAddress;           // dotted IPv4 address of the board, set by Connect
  std::uint32_t ethernetPort = 30;       // TCP port of the board, set by Connect
  std::uint16_t logRegisterWrites = 1;   // the I2C transport logs its writes only while this is 1
};

}  // namespace tonvisor
