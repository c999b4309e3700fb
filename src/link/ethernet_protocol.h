#pragma once

#include <array>
#include <cstdint>

namespace tonvisor::ethernet {

// The board's register protocol: one TCP connection per access, every number big-endian.
// A request starts with an 8-byte header: the magic "FPGA" and a 32-bit command.
inline constexpr std::array<std::uint8_t, 4> kMagic = {0x46, 0x50, 0x47, 0x41};
inline constexpr std::uint32_t kWriteCommand = 8000;
inline constexpr std::uint32_t kReadCommand = 8001;
inline constexpr std::uint32_t kAccepted = 0;
inline constexpr std::uint32_t kDefaultPort = 30;

inline std::array<std::uint8_t, 8> Header(std::uint32_t command) {
  return {kMagic[0], kMagic[1], kMagic[2], kMagic[3], static_cast<std::uint8_t>(command >> 24),
          static_cast<std::uint8_t>(command >> 16), static_cast<std::uint8_t>(command >> 8),
          static_cast<std::uint8_t>(command)};
}

inline std::array<std::uint8_t, 4> Be32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

inline std::array<std::uint8_t, 2> Be16(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

inline std::uint32_t FromBe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

inline std::uint16_t FromBe16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

}  // namespace tonvisor::ethernet
