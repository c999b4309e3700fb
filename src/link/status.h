#pragma once

#include <cstdint>

namespace tonvisor {

// Result of every register access: 0 is success, anything else a failure code.
using Status = std::int32_t;

namespace status {
inline constexpr Status kOk = 0;
inline constexpr Status kNoValuePlace = 2;       // I2C read given nowhere to put the value
inline constexpr Status kBusBOpenFailed = 8;
inline constexpr Status kBusBSetModeFailed = 9;
inline constexpr Status kBusBWriteFailed = 10;
inline constexpr Status kBusBReadFailed = 11;
inline constexpr Status kI2cOpenFailed = 100;
inline constexpr Status kI2cReadFailed = 101;
inline constexpr Status kI2cWriteFailed = 102;
inline constexpr Status kSpiOpenFailed = 150;
inline constexpr Status kSpiWriteFailed = 152;
// An argument that names no register, field or pin value at all: nothing was logged or sent.
inline constexpr Status kInvalidArgument = 200;
}  // namespace status

// new = (old AND keep) OR (value AND NOT keep): the keep-mask holds the bits that keep their old value.
constexpr std::uint16_t MergeKeepMask(std::uint16_t oldValue, std::uint16_t keepMask, std::uint16_t value) {
  return static_cast<std::uint16_t>((oldValue & keepMask) | (value & ~keepMask));
}

}  // namespace tonvisor
